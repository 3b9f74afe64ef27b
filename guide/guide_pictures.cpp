// vantacheck-guide-pictures DIR: the pictures of the technician's guide, drawn by the
// station itself. It starts real stations offscreen (the simulated box where the guide
// shows one), opens demo tests with fixed seeds and fixed test times, and goes through the
// menus and the bars as an operator would: every command through the station's own
// routing. Each picture the guide uses is written to DIR as PNG.
//
// vantacheck-guide-pictures --check DIR draws the same pictures and compares them with
// DIR's: a screen that draws differently from its picture fails, with the command that
// makes the pictures again.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>

#include "app/dialog_bar.h"
#include "app/main_window.h"
#include "app/screens/axes_dialog.h"
#include "app/station_app.h"
#include "app/station_view.h"
#include "app/subjects/subject_chooser_dialog.h"
#include "app/subjects/subject_dialog.h"
#include "archive/archive_url.h"
#include "archive/local_index.h"
#include "core/analysis.h"
#include "core/demo_test.h"
#include "station/command_ids.h"
#include "storage/settings_file.h"
#include "storage/test_file.h"
#include "tests/support/station_doubles.h"

using namespace vanta;

namespace {

using Pictures = std::map<QString, QImage>;

// 2026-03-02 09:30 UTC, and the subject's earlier tests a fortnight apart before it.
constexpr int64_t kTestTime = 1772443800;
constexpr int64_t kFortnight = 14 * 24 * 3600;
const char* const kSubject = "Ana Kovac";

void settle() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
}

QImage picture(QWidget& w) {
    settle();
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// A station of its own in `root`: a program folder two levels down, as on a lab's disk,
// with the settings of the mode the picture needs.
struct GuideStation {
    QString root;
    testing::ScriptedDialogs dialogs;
    testing::RecordingLibrary library;
    std::unique_ptr<StationApp> app;

    GuideStation(const QString& folder, uint8_t subjectMode, bool simulate) : root(folder) {
        const QString program = QDir(root).filePath(QStringLiteral("a/b/prog"));
        QDir().mkpath(program);
        StationSettings settings;
        settings.subjectLibraryMode = subjectMode;
        saveSettings(QDir(program).filePath(QStringLiteral("vantacheck.cfg")).toStdString(), settings);
        StartOptions options;
        options.programFile = QDir(program).filePath(QStringLiteral("vantacheck"));
        options.userDataDirectory = QDir(root).filePath(QStringLiteral("user"));
        app = std::make_unique<StationApp>(dialogs, &library, options);
        QStringList arguments;
        if (simulate) arguments << QStringLiteral("--simulate");
        if (!app->initInstance(arguments)) {
            std::fprintf(stderr, "vantacheck-guide-pictures: the station did not start\n");
            std::exit(2);
        }
        settle();
    }
    MainWindow& frame() { return *app->frame(); }
    void run(int id) {
        frame().action(id)->trigger();
        settle();
    }
    void open(const std::string& path) {
        dialogs.openAnswers.push_back(path);
        run(cmd::kFileOpen);
    }
    template <typename T>
    T* control(int id) {
        return frame().currentBar() ? qobject_cast<T*>(frame().currentBar()->control(id)) : nullptr;
    }
};

std::string writeTest(const QString& folder, const char* name, TestRecord& test) {
    const std::string path = QDir(folder).filePath(QString::fromLatin1(name)).toStdString();
    std::string error;
    if (!writeTestFile(path, test, &error)) {
        std::fprintf(stderr, "vantacheck-guide-pictures: %s: %s\n", path.c_str(), error.c_str());
        std::exit(2);
    }
    return path;
}

// A session at one load: `count` strokes, the sides in turn.
std::unique_ptr<TestRecord> demoSession(uint64_t seed, float load, int count, int64_t testTime) {
    auto test = std::make_unique<TestRecord>();
    DemoOptions options;
    options.repetitions = count;
    options.seed = seed;
    options.load = load;
    fillDemoTest(*test, options);
    test->subject.name = kSubject;
    test->subject.sex = 0;
    test->subject.weight = 64;
    test->subject.height = 171;
    test->testTime = testTime;
    return test;
}

// Starting, the digital report, the curve graph with its cursors, Compare, the measurement
// screen, and the two dialogs the guide shows: one station on the simulated box.
void sessionPictures(const QString& folder, Pictures& out) {
    GuideStation st(folder, 0, true);
    out[QStringLiteral("start")] = picture(st.frame());

    auto test = demoSession(7, 10.0f, 3, kTestTime);
    const std::string path = writeTest(folder, "ana-10kg.kvq", *test);
    st.open(path);
    st.run(cmd::kDigitalReport);
    out[QStringLiteral("digital-report")] = picture(st.frame());

    st.run(cmd::kCurveGraph);
    StationView& view = st.frame().view();
    view.grab();  // the first paint leaves the scales the mouse picks with
    QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(220, 400));
    QTest::mouseClick(&view, Qt::RightButton, {}, QPoint(470, 400));
    out[QStringLiteral("curve-graph")] = picture(st.frame());

    // No: the shown repetition stays as the lighter curve, the second one is chosen over it.
    st.dialogs.yesNoAnswers.push_back(false);
    st.run(cmd::kCompare);
    if (auto* list = st.control<QComboBox>(cmd::kRepetitionSelector)) {
        list->setCurrentIndex(2);
        emit list->activated(2);
    }
    out[QStringLiteral("compare")] = picture(st.frame());
    st.run(cmd::kCompare);

    AxesDialog axes(st.app->station().settings.graph);
    axes.show();
    out[QStringLiteral("axes-dialog")] = picture(axes);
    axes.close();

    SubjectInfo entered = test->subject;
    entered.age = 24;  // kept in memory only: the file has no age to give
    SubjectDialog subject(entered);
    subject.show();
    out[QStringLiteral("subject-dialog")] = picture(subject);
    subject.close();

    st.run(cmd::kPerform);
    if (auto* load = st.control<QComboBox>(cmd::kLoadList)) load->setEditText(QStringLiteral("10"));
    if (auto* radius = st.control<QLineEdit>(cmd::kRadiusBox)) radius->setText(QStringLiteral("30"));
    st.frame().setFocus();
    // Before START the screen below the bar is blank: the menus and the bar are the picture.
    const QImage measurement = picture(st.frame());
    out[QStringLiteral("measurement")] = measurement.copy(0, 0, measurement.width(), 140);
    st.app->station().test.saved = 1;  // the demo needs no save question at the end
}

// A folder the pictures need that cannot be used ends the run: no picture is written.
[[noreturn]] void giveUp(const char* what, const std::string& folder, const std::string& why) {
    std::fprintf(stderr, "vantacheck-guide-pictures: the %s in %s: %s\n", what, folder.c_str(), why.c_str());
    std::exit(2);
}

// The subject register with one athlete entered twice, both rows selected for "Merge...".
void registerPicture(const QString& folder, Pictures& out) {
    SubjectRegister subjects;
    if (!subjects.open(folder.toStdString())) giveUp("register", folder.toStdString(), subjects.lastMessage());
    const struct {
        const char* name;
        int sex, age, weight, height;
    } entered[] = {{"Jan Novak", 1, 27, 82, 183}, {"Ana Kova\xc4\x8d", 0, 24, 64, 171}, {"Jan Nov\xc3\xa1k", 1, 27, 82, 183}};
    for (const auto& e : entered) {
        SubjectInfo info;
        info.name = e.name;
        info.sex = e.sex;
        info.age = e.age;
        info.weight = e.weight;
        info.height = e.height;
        subjects.add(info);
    }
    SubjectChooserDialog dialog(subjects, 0);
    dialog.show();
    if (auto* table = dialog.findChild<QTableWidget*>(QStringLiteral("subjects"))) {
        table->clearSelection();
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, 0) && table->item(row, 0)->text().startsWith(QStringLiteral("Jan")))
                table->selectionModel()->select(table->model()->index(row, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    out[QStringLiteral("subject-register")] = picture(dialog);
    dialog.close();
}

// The profile: a session recorded one file per load, both sides at each, the files in the
// station's index; the last one opened, then Report > Profile takes the day's files.
void profilePictures(const QString& folder, Pictures& out) {
    std::string latest;
    {
        GuideStation probe(folder, 0, false);  // makes the folders where the index lies
        const std::string data = probe.app->station().paths.subjectLibraryDirectory;
        probe.app.reset();
        archive::LocalIndex index;
        if (!index.open(data)) giveUp("index", data, index.lastMessage());
        // One athlete in one session: the same demo session at each load, so her speed
        // falls with the load as one athlete's does and the power rises to a top.
        constexpr uint64_t kProfileSession = 7;
        const float loads[4] = {5.0f, 10.0f, 15.0f, 20.0f};
        int minute = 0;
        for (float load : loads) {
            auto test = std::make_unique<TestRecord>();
            for (int attempt = 0; attempt < 4; ++attempt)
                recordDemoRepetition(test->repetitions[attempt], kProfileSession, attempt, 0, load, 0);
            test->repetitionCount = 4;
            for (int r = 0; r < 4; ++r) analyseRepetition(*test, r);  // the index takes the file's results
            test->subject.name = kSubject;
            test->testTime = static_cast<int32_t>(kTestTime + 60 * minute);
            minute += 10;
            const std::string name = "ana-profile-" + std::to_string(int(load)) + "kg.kvq";
            latest = writeTest(QString::fromStdString(data), name.c_str(), *test);
            index.indexFile(latest);
        }
    }
    GuideStation st(folder, 0, false);
    st.open(latest);
    st.run(cmd::kProfile);
    out[QStringLiteral("profile")] = picture(st.frame());
    st.app->station().test.saved = 1;
}

// The history: Extended mode, four tests of the subject in the station's index, the latest
// opened, then Subject > History.
void historyPictures(const QString& folder, Pictures& out) {
    std::string latest;
    {
        GuideStation probe(folder, 1, false);  // makes the folders where the index lies
        const std::string data = probe.app->station().paths.subjectLibraryDirectory;
        probe.app.reset();
        archive::LocalIndex index;
        if (!index.open(data)) giveUp("index", data, index.lastMessage());
        // The same subject getting faster over six weeks (the demo's bar moves as a lighter
        // one would), at 10 kg every fortnight and at 15 kg twice.
        struct Session { int week; float load; };
        const Session sessions[] = {{0, 10.0f}, {2, 10.0f}, {2, 15.0f}, {4, 10.0f}, {6, 15.0f}, {6, 10.0f}};
        int k = 0;
        for (const Session& s : sessions) {
            auto test = demoSession(21, s.load - 2.0f * float(s.week), 4, kTestTime - (6 - s.week) / 2 * kFortnight);
            for (int r = 0; r < test->repetitionCount; ++r) test->repetitions[r].loadMass = s.load;
            const std::string name = "ana-" + std::to_string(k++) + ".kvq";
            latest = writeTest(QString::fromStdString(data), name.c_str(), *test);
            index.indexFile(latest);
        }
    }
    GuideStation st(folder, 1, false);
    st.open(latest);
    st.run(cmd::kHistory);
    out[QStringLiteral("history")] = picture(st.frame());
    st.app->station().test.saved = 1;
}

bool writePictures(const Pictures& pictures, const QString& dir) {
    QDir().mkpath(dir);
    // A picture the program no longer makes goes, so the folder holds what the guide uses.
    for (const QString& old : QDir(dir).entryList({QStringLiteral("*.png")}, QDir::Files))
        if (!pictures.count(QFileInfo(old).completeBaseName()) && !old.startsWith(QStringLiteral("web-")))
            QFile::remove(QDir(dir).filePath(old));
    bool ok = true;
    for (const auto& [name, image] : pictures) {
        QImageWriter writer(QDir(dir).filePath(name + QStringLiteral(".png")), "png");
        writer.setQuality(0);  // the smallest file: PNG is lossless whatever the setting
        if (!writer.write(image)) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(writer.fileName()), qPrintable(writer.errorString()));
            ok = false;
        }
    }
    return ok;
}

// Font rendering may move a glyph's edge pixel by a shade; a changed text, line or colour
// moves many pixels by much more. A pixel counts when a channel moved by more than
// kShade, and a picture differs when more than kPixels of them did.
constexpr int kShade = 40;
constexpr int kPixels = 24;

bool checkPictures(const Pictures& pictures, const QString& dir) {
    int failures = 0;
    auto fail = [&](const QString& what) {
        std::fprintf(stderr, "%s\n", qPrintable(what));
        ++failures;
    };
    for (const auto& [name, drawn] : pictures) {
        const QString file = QDir(dir).filePath(name + QStringLiteral(".png"));
        QImage stored(file);
        if (stored.isNull()) {
            fail(file + QStringLiteral(": missing"));
            continue;
        }
        stored = stored.convertToFormat(QImage::Format_RGB32);
        if (stored.size() != drawn.size()) {
            fail(QStringLiteral("%1: %2 x %3 pixels, the station draws %4 x %5")
                     .arg(file).arg(stored.width()).arg(stored.height()).arg(drawn.width()).arg(drawn.height()));
            continue;
        }
        int differ = 0;
        QRect where;
        for (int y = 0; y < drawn.height(); ++y) {
            const auto* a = reinterpret_cast<const QRgb*>(stored.constScanLine(y));
            const auto* b = reinterpret_cast<const QRgb*>(drawn.constScanLine(y));
            for (int x = 0; x < drawn.width(); ++x) {
                if (std::abs(qRed(a[x]) - qRed(b[x])) > kShade || std::abs(qGreen(a[x]) - qGreen(b[x])) > kShade ||
                    std::abs(qBlue(a[x]) - qBlue(b[x])) > kShade) {
                    ++differ;
                    where |= QRect(x, y, 1, 1);
                }
            }
        }
        if (differ > kPixels)
            fail(QStringLiteral("%1: %2 pixels differ from what the station draws now, within x %3..%4, y %5..%6")
                     .arg(file).arg(differ).arg(where.left()).arg(where.right()).arg(where.top()).arg(where.bottom()));
    }
    // "web-*.png" are the report site's pages as Chromium shows them (tests/site), no screen's.
    for (const QString& stored : QDir(dir).entryList({QStringLiteral("*.png")}, QDir::Files))
        if (!pictures.count(QFileInfo(stored).completeBaseName()) && !stored.startsWith(QStringLiteral("web-")))
            fail(QDir(dir).filePath(stored) + QStringLiteral(": no screen makes this picture any more"));
    if (failures)
        std::fprintf(stderr,
                     "The guide's pictures no longer show the station. Run `bash scripts/guide.sh` to draw them "
                     "again, look at them, and commit docs/guide/pictures with the change.\n");
    return failures == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    const bool check = argc == 3 && std::string(argv[1]) == "--check";
    if (!(argc == 2 && argv[1][0] != '-') && !check) {
        std::fprintf(stderr, "usage: vantacheck-guide-pictures DIR | --check DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[argc - 1]);
    // The same pictures on every machine of the lab's Debian: no display, UTC for the test
    // times in the page header, the C locale's decimal point, a text cursor that does not
    // blink, and the user's folders out of the way.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("TZ", "UTC");
    tzset();
    qputenv("LC_ALL", "C.UTF-8");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QDir(home.path()).filePath(QStringLiteral("config")).toUtf8());
    qputenv("XDG_DATA_HOME", QDir(home.path()).filePath(QStringLiteral("data")).toUtf8());
    qunsetenv(archive::kArchiveUrlVariable);
    QApplication app(argc, argv);
    QApplication::setCursorFlashTime(0);

    Pictures pictures;
    {
        QTemporaryDir a, b, c, d;
        sessionPictures(a.path(), pictures);
        registerPicture(d.path(), pictures);
        profilePictures(b.path(), pictures);
        historyPictures(c.path(), pictures);
    }
    return (check ? checkPictures(pictures, dir) : writePictures(pictures, dir)) ? 0 : 2;
}
