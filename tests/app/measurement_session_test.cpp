// A session in the window, offscreen, on the simulated sensor box in real time: Perform,
// START, the stroke stored and shown in phase 5, IGNORE, START again, EXIT, Save; the file
// read back holds the same numbers.
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/dialog_bar.h"
#include "app/station_view.h"
#include "measure/guidance_screen.h"
#include "station/command_ids.h"
#include "storage/test_file.h"
#include "tests/app/station_fixture.h"

using namespace vanta;
using namespace vanta::testing;

namespace {

template <typename T>
T* barControl(MainWindow& frame, int id) {
    return frame.currentBar() ? qobject_cast<T*>(frame.currentBar()->control(id)) : nullptr;
}

// Types over the load list's text as the operator does (key by key).
void typeLoad(MainWindow& frame, const QString& text) {
    QLineEdit* edit = barControl<QComboBox>(frame, cmd::kLoadList)->lineEdit();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, text);
}

}  // namespace

class MeasurementSessionTest : public QObject {
    Q_OBJECT
    QTemporaryDir home_;

private slots:
    void initTestCase() { redirectUserFolders(home_); }

    void performTwoAttemptsIgnoreOneAndSave() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start({QStringLiteral("--simulate")}));
        MainWindow& frame = f.frame();
        StationView& view = frame.view();
        view.resize(1280, 800);
        Station& s = f.station();

        frame.action(cmd::kPerform)->trigger();
        typeLoad(frame, QStringLiteral("12.50"));
        auto start = [&] {
            auto* button = barControl<QPushButton>(frame, cmd::kStart);
            QVERIFY(button && !button->isHidden());
            button->click();
            QVERIFY2(f.dialogs.messages.empty(), f.dialogs.details.empty() ? "" : f.dialogs.details.back().c_str());
            QVERIFY(view.tickTimerActive(kLiveTimerId));
            QVERIFY(barControl<QPushButton>(frame, cmd::kStart)->isHidden());
            QVERIFY(!barControl<QPushButton>(frame, cmd::kBack)->isHidden());
        };

        start();
        QVERIFY(QTest::qWaitFor([&] { return s.test.repetitionCount == 1; }, 60000));
        QCOMPARE(s.livePhase, int(PhaseStored));
        QVERIFY(!view.tickTimerActive(kLiveTimerId));
        QVERIFY(view.reportTableShown());
        QVERIFY(!barControl<QPushButton>(frame, cmd::kIgnore)->isHidden());
        // The stroke dial on the guidance picture: green, with the blue sector.
        const GuidanceLayout g = guidanceLayout(view.clientRect());
        const QImage picture = view.guidancePicture().image();
        bool green = false, blue = false;
        for (int dy = -g.radius + 2; dy < g.radius - 2; dy += 3) {
            const QColor c = picture.pixelColor(g.cx, g.cy + dy);
            green |= c == QColor(0, 255, 0);
            blue |= c == QColor(0, 0, 255);
        }
        QVERIFY(green && blue);
        QCOMPARE(s.test.repetitions[0].loadMass, 12.5f);

        barControl<QPushButton>(frame, cmd::kIgnore)->click();
        QCOMPARE(s.test.repetitionCount, 0);

        start();
        QVERIFY(QTest::qWaitFor([&] { return s.test.repetitionCount == 1; }, 60000));
        barControl<QPushButton>(frame, cmd::kExit)->click();
        QCOMPARE(s.viewMode, int(kViewIdle));
        QCOMPARE(s.resultsAvailable, 1);
        QCOMPARE(s.test.saved, 0);

        const std::string path = f.filePath("session.kvq");
        f.dialogs.saveAnswers.push_back(path);
        QVERIFY(f.router().execute(cmd::kFileSave));
        QCOMPARE(s.test.saved, 1);

        auto back = std::make_unique<TestRecord>();
        std::string error;
        QVERIFY2(readTestFile(path, *back, &error), error.c_str());
        QCOMPARE(back->repetitionCount, 1);
        const RepetitionRecord& a = s.test.repetitions[0];
        const RepetitionRecord& b = back->repetitions[0];
        QCOMPARE(b.sampleCount, a.sampleCount);
        QCOMPARE(b.direction, a.direction);
        QCOMPARE(b.loadMass, 12.5f);
        for (int ch = 0; ch < kChannelCount; ++ch) {
            QCOMPARE(b.channelOffset[ch], a.channelOffset[ch]);
            QVERIFY(std::equal(a.raw.row(ch), a.raw.row(ch) + a.sampleCount, b.raw.row(ch)));
        }
        for (int r = 0; r < kResultRowCount; ++r)
            for (int c = 0; c < kResultColumnCount; ++c) QCOMPARE(back->results[0].value[r][c], s.test.results[0].value[r][c]);
        QVERIFY(s.test.results[0].at(PeakAll, ResultColumn::Velocity) > 100.0f);
    }

    // The load is the selected entry's unless the operator typed over it; START asks for a
    // positive load and radius before anything is recorded.
    void startReadsTheSelectedLoadFirstAndAsksForValidValues() {
        StationFixture f;
        f.writeSettings(0);
        QVERIFY(f.start({QStringLiteral("--simulate")}));
        MainWindow& frame = f.frame();
        Station& s = f.station();
        frame.action(cmd::kPerform)->trigger();
        // START, then BACK if it started; the load the attempt took.
        auto startAndBack = [&]() -> float {
            barControl<QPushButton>(frame, cmd::kStart)->click();
            if (frame.view().tickTimerActive(kLiveTimerId)) barControl<QPushButton>(frame, cmd::kBack)->click();
            return s.test.repetitions[0].loadMass;
        };

        // Shown but not typed (a text put there by the program): the selection counts.
        barControl<QComboBox>(frame, cmd::kLoadList)->setEditText(QStringLiteral("9.00"));
        QCOMPARE(startAndBack(), 5.0f);
        // Typed: no entry is selected any more; a decimal comma is a decimal separator.
        typeLoad(frame, QStringLiteral("12,5"));
        QCOMPARE(startAndBack(), 12.5f);
        QVERIFY(f.dialogs.messages.empty());
        // Typed, then an entry chosen again: the entry.
        typeLoad(frame, QStringLiteral("17"));
        barControl<QComboBox>(frame, cmd::kLoadList)->setCurrentIndex(2);
        QCOMPARE(startAndBack(), 3.0f);

        for (const QString& bad : {QStringLiteral("abc"), QStringLiteral("0"), QStringLiteral("-30")}) {
            f.dialogs.messages.clear();
            typeLoad(frame, bad);
            QCOMPARE(startAndBack(), 3.0f);
            QCOMPARE(f.dialogs.messages, std::vector<std::string>{"Please enter a load in kg."});
            QVERIFY(!barControl<QPushButton>(frame, cmd::kStart)->isHidden());
        }
        f.dialogs.messages.clear();
        typeLoad(frame, QStringLiteral("8"));
        barControl<QLineEdit>(frame, cmd::kRadiusBox)->setText(QStringLiteral("-30"));
        QCOMPARE(startAndBack(), 3.0f);
        QCOMPARE(f.dialogs.messages, std::vector<std::string>{"Please enter a radius in cm."});
        QCOMPARE(s.settings.currentRadius, 25.0f);
    }
};

QTEST_MAIN(MeasurementSessionTest)
#include "measurement_session_test.moc"
