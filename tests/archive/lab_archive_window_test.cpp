// The window asks the lab's archive (the test cluster): File > "Open from archive..." lists
// another station's test with that station's name, finds it by a folded part of the
// subject's name, fetches it into the data folder beside a file of the same name and opens
// it; History shows the lab's tests and this station's own not yet sent, and says so, and
// this station's alone where the server cannot be reached.
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <pqxx/pqxx>

#include <fstream>
#include <sstream>

#include "app/open_from_archive_dialog.h"
#include "app/qt_lab_archive.h"
#include "app/station_view.h"
#include "app/subjects/subject_chooser_dialog.h"
#include "archive/local_index.h"
#include "archive/server_archive.h"
#include "archive/sha256.h"
#include "storage/subject_register.h"
#include "storage/test_file.h"
#include "station/command_ids.h"
#include "station/lab_archive.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string firstLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

class LabArchiveWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;
    std::string dir_, port_, db_;

    std::string url() const { return "postgresql://postgres@/" + db_ + "?host=" + dir_ + "&port=" + port_; }

    // A test file stored on the server as station "station-b" sent it.
    static bool sendAsStationB(StationFixture& f, const std::string& url, int repetitions, const char* name,
                               const char* subject, archive::IndexedTest& sent) {
        const std::string path = f.writeTestFileWith(repetitions, name, subject);
        if (!archive::readIndexedTest(path, sent)) return false;
        sent.path = "/stations/b/DATA/" + std::string(name);
        sent.sidesSwapped = false;  // station B names the sides as they are
        archive::ServerArchive server;
        server.setStation("station-b");
        if (!server.open(url)) return false;
        const std::string bytes = readAll(path);
        return server.store(sent, bytes) == archive::StoreResult::Added;
    }

    // The operator adds a subject of this name in the register's dialog, with the lab set.
    static void addInDialog(SubjectRegister& reg, LabArchive& lab, const char* typed, RegisteredSubject& added) {
        SubjectChooserDialog dlg(reg, 0);
        dlg.setLabArchive(&lab);
        dlg.setEditHook([typed](SubjectInfo& s, QWidget*) {
            s.name = typed;
            s.height = 170;
            return true;
        });
        QStringList messages;
        dlg.setMessageHook([&messages](QWidget*, const QString& text) { messages << text; });
        dlg.show();
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("add")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.waitingForLab(), 10000);
        QCOMPARE(messages, QStringList());
        QVERIFY(reg.get(dlg.selectedId(), added));
    }

private slots:
    void initTestCase() {
        redirectUserFolders(home_);
        const char* dir = std::getenv("VANTA_TEST_PG_DIR");
        QVERIFY2(dir && *dir, "VANTA_TEST_PG_DIR names the test cluster's folder");
        dir_ = dir;
        port_ = firstLine(dir_ + "/port");
        QVERIFY2(!port_.empty(), "no test cluster runs");
    }

    void init() {
        static int serial = 0;
        db_ = "labwin" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
        pqxx::connection admin("postgresql://postgres@/postgres?host=" + dir_ + "&port=" + port_);
        pqxx::nontransaction(admin).exec("CREATE DATABASE " + db_);
        qputenv("VANTA_ARCHIVE_URL", QByteArray::fromStdString(url()));
    }

    void cleanup() {
        qunsetenv("VANTA_ARCHIVE_URL");
        pqxx::connection admin("postgresql://postgres@/postgres?host=" + dir_ + "&port=" + port_);
        pqxx::nontransaction(admin).exec("DROP DATABASE IF EXISTS " + db_ + " WITH (FORCE)");
    }

    void anotherStationsTestIsFetchedBesideAFileOfItsNameAndOpened() {
        StationFixture f;
        f.writeSettings(0);
        archive::IndexedTest ann, bob;
        QVERIFY(sendAsStationB(f, url(), 3, "ann.kvq", "Ann Nov\xc3\xa1k", ann));
        QVERIFY(sendAsStationB(f, url(), 2, "bob.kvq", "Bob Lee", bob));
        QVERIFY(f.start());
        // A file of that name is already in the data folder: it must stay as it is.
        const std::string taken = f.dataDirectory() + "/ann.kvq";
        std::ofstream(taken) << "not a test";

        bool listed = false, searched = false;
        QString stationShown;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<OpenFromArchiveDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            auto* list = dialog->findChild<QTreeWidget*>(QStringLiteral("archiveTests"));
            auto* source = dialog->findChild<QLabel*>(QStringLiteral("archiveSource"));
            listed = QTest::qWaitFor([&] { return source->text().endsWith(QString::fromUtf8(kFromLabArchive)); }, 10000) &&
                     list->topLevelItemCount() == 2;
            dialog->findChild<QLineEdit*>(QStringLiteral("subjectSearch"))->setText(QStringLiteral("novak"));
            searched = list->topLevelItemCount() == 1;
            if (!searched) return dialog->reject();
            stationShown = list->topLevelItem(0)->text(4);
            list->setCurrentItem(list->topLevelItem(0));
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("openButton")), Qt::LeftButton);
        });
        // This station has left and right swapped; the fetched test keeps station B's setting.
        f.station().settings.sidesSwapped = 1;
        QVERIFY(f.frame().openFromArchive());
        QVERIFY(listed);
        QVERIFY(searched);
        QCOMPARE(stationShown, QStringLiteral("station-b"));
        const std::string fetched = f.dataDirectory() + "/ann_2.kvq";
        QCOMPARE(f.station().lastFilePath, fetched);
        QCOMPARE(readAll(taken), std::string("not a test"));
        QCOMPARE(archive::sha256Hex(readAll(fetched)), ann.sha256);
        QCOMPARE(f.station().test.subject.name, std::string("Ann Nov\xc3\xa1k"));
        QCOMPARE(f.station().resultsAvailable, 1);
        QVERIFY(f.dialogs.messages.empty());
        // Indexed here as its own station named the sides, not as this one does.
        const auto indexedSides = [&]() -> std::optional<bool> {
            archive::LocalIndex index;
            archive::IndexedTest t;
            if (!index.open(f.station().paths.subjectLibraryDirectory, archive::Access::ReadOnly) ||
                !index.testAt(fetched, t))
                return std::nullopt;
            return t.sidesSwapped;
        };
        QTRY_VERIFY_WITH_TIMEOUT(indexedSides().has_value(), 10000);
        QCOMPARE(indexedSides(), std::optional<bool>(false));
        f.frame().close();
    }

    void historyShowsTheLabsTestsAndThisStationsUnsent() {
        StationFixture f;
        f.writeSettings(0);
        archive::IndexedTest fromB;
        QVERIFY(sendAsStationB(f, url(), 3, "ann.kvq", "Ann Lee", fromB));
        QVERIFY(f.start());
        // One test of hers that this station indexed and has not sent yet (another day).
        auto own = std::make_unique<TestRecord>();
        DemoOptions options;
        options.repetitions = 2;
        fillDemoTest(*own, options);
        own->subject.name = "Ann Lee";
        own->testTime = 1700000000 + 86400;
        std::string error;
        const std::string ownPath = f.dataDirectory() + "/own.kvq";
        QVERIFY(writeTestFile(ownPath, *own, &error));
        {
            archive::LocalIndex index;
            QVERIFY2(index.open(f.station().paths.subjectLibraryDirectory), index.lastMessage().c_str());
            QVERIFY(index.indexFile(ownPath));
        }
        f.station().test.subject.name = "Ann Lee";
        HistoryScreen& history = f.frame().view().screens().history();
        QVERIFY(history.command(cmd::kHistory, Notification::Clicked));
        QCOMPARE(history.source(), std::string(kReadingLabArchive));
        QCOMPARE(history.history()->tests.size(), size_t(1));
        QTRY_COMPARE_WITH_TIMEOUT(history.source(), std::string(kFromLabArchive), 10000);
        QCOMPARE(history.history()->tests.size(), size_t(2));
        f.frame().close();
    }

    // A test the window opens (or saves) goes to the lab as soon as the indexer has it,
    // not at the archive worker's next look half a minute later.
    void aTestTheWindowOpensReachesTheLabAtOnce() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start());
        QLabel* pane = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((pane = f.frame().statusBar()->findChild<QLabel*>(QStringLiteral("archiveStatus"))) &&
                                     pane->text().startsWith(QStringLiteral("Archive: up to date")),
                                 10000);
        f.dialogs.openAnswers.push_back(f.writeTestFileWith(2, "ann.kvq", "Ann Lee"));
        QVERIFY(f.frame().openTest());
        archive::ServerArchive server;
        QVERIFY2(server.open(url()), server.reason().c_str());
        std::vector<archive::IndexedTest> onServer;
        QTRY_VERIFY_WITH_TIMEOUT(server.list({}, onServer) && onServer.size() == 1, 10000);
        QCOMPARE(onServer.front().subject, std::string("Ann Lee"));
        f.frame().close();
    }

    // Two stations add one athlete in their register's dialog, each typing her name its
    // own way: the second (a whole station window, Extended) takes the id the first gave
    // her, so the lab has one subject.
    void twoStationsAddingOneAthleteInTheWindowShareHerId() {
        QTemporaryDir stationA;
        SubjectRegister regA;
        QVERIFY(regA.open(stationA.path().toStdString()));
        QtLabArchive labA(url());
        RegisteredSubject onA;
        addInDialog(regA, labA, "Ana Kova\xc4\x8d", onA);
        if (QTest::currentTestFailed()) return;
        QCOMPARE(onA.info.name, std::string("Ana Kova\xc4\x8d"));
        // Station A told the lab about her on its reader's thread.
        archive::ServerArchive server;
        QVERIFY(server.open(url()));
        std::vector<archive::ArchivedSubject> there;
        QTRY_VERIFY_WITH_TIMEOUT(server.findSubjects("ana kovac", there) && there.size() == 1, 10000);
        QCOMPARE(there.front().id, onA.uuid);

        StationFixture b;
        b.injectLibrary = false;
        b.writeSettings(1);
        QVERIFY(b.start());
        bool added = false, asked = false;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<SubjectChooserDialog*>(QApplication::activeModalWidget());
            if (!dlg) return;
            dlg->setEditHook([](SubjectInfo& s, QWidget*) {
                s.name = "ANA KOVAC";
                return true;
            });
            // Without her accent she may be someone else: the operator is asked, and says so.
            dlg->setPickHook([&](const std::string& typed, const std::vector<archive::ArchivedSubject>& candidates,
                                 QWidget*) -> std::optional<int> {
                asked = typed == "ANA KOVAC" && candidates.size() == 1 && candidates[0].id == onA.uuid;
                return 0;
            });
            QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("add")), Qt::LeftButton);
            added = QTest::qWaitFor([&] { return !dlg->waitingForLab(); }, 10000) && dlg->selectedId() != 0;
            if (!added) return dlg->reject();
            QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("choose")), Qt::LeftButton);
        });
        QVERIFY(b.app->subjectLibrary().chooseSubject());
        QVERIFY(added);
        QVERIFY(asked);
        SubjectInfo onB;
        b.app->subjectLibrary().copyCurrentSubject(onB);
        QCOMPARE(onB.name, std::string("Ana Kova\xc4\x8d"));  // the lab's spelling
        QCOMPARE(b.app->subjectLibrary().currentSubjectKey(), onA.uuid);
        QVERIFY(server.findSubjects("Ana Kova\xc4\x8d", there));
        QCOMPARE(there.size(), size_t{1});
        QVERIFY(b.dialogs.messages.empty());
        b.frame().close();
    }

    // Two subjects this station added while the lab was away, merged in the dialog: the
    // lab learns both and merges them, and the dialog lists one.
    void aMergeInTheWindowReachesTheLabWithSubjectsItHadNotSeen() {
        QTemporaryDir station;
        SubjectRegister reg;
        QVERIFY(reg.open(station.path().toStdString()));
        SubjectInfo jan;
        jan.name = "Jan Novak";
        int64_t first = 0, second = 0;
        QVERIFY(reg.add(jan, &first));
        jan.name = "Jan Nov\xc3\xa1k";
        QVERIFY(reg.add(jan, &second));
        QtLabArchive lab(url());
        SubjectChooserDialog dlg(reg, 0);
        dlg.setLabArchive(&lab);
        dlg.setConfirmHook([](const QString&, QWidget*) { return true; });
        QStringList messages;
        dlg.setMessageHook([&messages](QWidget*, const QString& text) { messages << text; });
        dlg.show();
        auto* table = dlg.findChild<QTableWidget*>(QStringLiteral("subjects"));
        table->selectAll();
        QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("merge")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.waitingForLab(), 10000);
        QCOMPARE(messages, QStringList());
        QCOMPARE(table->rowCount(), 1);
        QCOMPARE(dlg.selectedId(), first);

        RegisteredSubject keep, gone;
        QVERIFY(reg.get(first, keep) && reg.get(second, gone));
        archive::ServerArchive server;
        QVERIFY(server.open(url()));
        std::vector<archive::ServerArchive::SubjectCount> lab_subjects;
        QVERIFY(server.listSubjects(lab_subjects));
        QCOMPARE(lab_subjects.size(), size_t{1});
        QCOMPARE(lab_subjects.front().id, keep.uuid);
    }

    // The server dropped the window's connection (it restarted) between two questions: the
    // second question is asked again on a new connection, not answered "cannot be reached".
    void aQuestionAfterTheServerDroppedTheConnectionIsAskedAgain() {
        QtLabArchive lab(url());
        auto ask = [&lab] {
            std::optional<LabArchiveAnswer> answer;
            lab.listTests([&answer](LabArchiveAnswer a) { answer = std::move(a); });
            QTest::qWaitFor([&answer] { return answer.has_value(); }, 10000);
            return answer.value_or(LabArchiveAnswer{false, {}, {}, {}, "no answer in 10 s"});
        };
        const LabArchiveAnswer first = ask();
        QVERIFY2(first.ok, first.reason.c_str());
        pqxx::connection admin("postgresql://postgres@/postgres?host=" + dir_ + "&port=" + port_);
        const pqxx::result ended = pqxx::nontransaction(admin).exec(
            "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = '" + db_ + "'");
        QVERIFY(!ended.empty());
        const LabArchiveAnswer second = ask();
        QVERIFY2(second.ok, second.reason.c_str());
    }

    // Nothing listens on port 1: History keeps this station's tests and says why.
    void aServerThatCannotBeReachedLeavesThisStationsTests() {
        qputenv("VANTA_ARCHIVE_URL", "postgresql://station@127.0.0.1:1/lab");
        StationFixture f;
        f.writeSettings(0);
        const std::string own = f.writeTestFileWith(2, "own.kvq", "Ann Lee");
        QVERIFY(f.start());
        {
            archive::LocalIndex index;
            QVERIFY2(index.open(f.station().paths.subjectLibraryDirectory), index.lastMessage().c_str());
            QVERIFY(index.indexFile(own));
        }
        f.station().test.subject.name = "Ann Lee";
        HistoryScreen& history = f.frame().view().screens().history();
        QVERIFY(history.command(cmd::kHistory, Notification::Clicked));
        QTRY_COMPARE_WITH_TIMEOUT(history.source(), std::string(kFromThisStationOnly), 10000);
        QCOMPARE(history.history()->tests.size(), size_t(1));
        f.frame().close();
    }
};

QTEST_MAIN(LabArchiveWindowTest)
#include "lab_archive_window_test.moc"
