// The measurement and calibration screens: what Perform, START, IGNORE, BACK, EXIT and
// Calibration do to the station's state and to the bar.
#include <clocale>
#include <limits>

#include "measure/live_detection.h"
#include "station/command_table.h"
#include "tests/support/recording_draw_context.h"
#include "tests/station/screens/screen_fixture.h"

namespace vanta::testing {
namespace {

using Log = std::vector<std::string>;

class MeasurementScreenTest : public ScreenTest {
protected:
    void SetUp() override { std::setlocale(LC_NUMERIC, "C"); }
};

TEST_F(MeasurementScreenTest, PerformStartsANewTestOnTheMeasurementBar) {
    station.settings.currentLoad = 7.5f;
    station.test.repetitionCount = 2;
    station.resultsAvailable = 1;
    station.lastFilePath = "/data/old.kvq";
    run(cmd::kDigitalReport);
    ASSERT_TRUE(run(cmd::kPerform));

    EXPECT_EQ(station.viewMode, kViewMeasurement);
    EXPECT_EQ(&screens.current(), &screens.measurement());
    EXPECT_EQ(station.test.repetitionCount, 0);
    EXPECT_EQ(station.resultsAvailable, 0);
    EXPECT_TRUE(station.lastFilePath.empty());
    EXPECT_TRUE(dialogs.log.empty());  // saved data: no question
    // The report bar goes first (the return to idle), then the measurement bar comes.
    EXPECT_EQ(bars.log.at(2), "hide");
    EXPECT_EQ(bars.shownTemplate, kMeasurementBarTemplate);
    ASSERT_EQ(bars.lists[cmd::kLoadList].size(), 31u);
    EXPECT_EQ(bars.lists[cmd::kLoadList][size_t(bars.selection[cmd::kLoadList])], " 7.50");
    EXPECT_EQ(bars.texts[cmd::kRadiusBox], "25.00");
    EXPECT_EQ(bars.hiddenControls, (std::set<int>{cmd::kBack, cmd::kIgnore}));
}

// "Data not saved. Save?" has three answers; only No gives the test up. Cancel (also Esc
// and the box's close button) and a save that did not happen leave the test as it was.
TEST_F(MeasurementScreenTest, PerformStartsOnlyWhenTheUnsavedTestIsSavedOrGivenUp) {
    station.test.repetitionCount = 3;
    station.test.saved = 0;
    station.resultsAvailable = 1;
    station.paths.dataDirectory = "/data";
    dialogs.yesNoCancelAnswers = {Answer::Cancel, Answer::Yes};  // Yes: the save dialog is then cancelled
    run(cmd::kPerform);
    run(cmd::kPerform);
    EXPECT_EQ(dialogs.log, (Log{"ask yes/no/cancel: Data not saved. Save?", "ask yes/no/cancel: Data not saved. Save?",
                                "save: |/data"}));
    EXPECT_EQ(station.test.repetitionCount, 3);
    EXPECT_EQ(station.test.saved, 0);
    EXPECT_EQ(station.resultsAvailable, 1);
    EXPECT_EQ(station.viewMode, kViewIdle);

    dialogs.yesNoCancelAnswers = {Answer::No};
    run(cmd::kPerform);
    EXPECT_EQ(station.test.repetitionCount, 0);
    EXPECT_EQ(station.viewMode, kViewMeasurement);
}

// EXIT before any attempt: nothing may be reported, and no header of an empty test.
TEST_F(MeasurementScreenTest, ExitWithoutAnAttemptLeavesNothingToReport) {
    run(cmd::kPerform);
    run(cmd::kExit);
    EXPECT_EQ(station.resultsAvailable, 0);
    for (int id : {cmd::kDigitalReport, cmd::kCurveGraph})
        EXPECT_FALSE(ruleAllows(findCommand(id)->rule, station)) << id;
    // The header is drawn only where a test may be reported.
    RecordingDrawContext dc;
    screens.draw(dc);
    for (const std::string& text : dc.texts()) EXPECT_EQ(text.find("1970"), std::string::npos) << text;
}

// After a restart the register remembers its current subject while the test's subject
// is empty: a new test (Perform or Calibration) in Extended mode takes the current
// subject's data, so the saved file names the subject whose folder it goes into.
TEST_F(MeasurementScreenTest, ANewTestTakesTheRegistersCurrentSubject) {
    library.librarySubject.name = "Ann Lee";
    library.librarySubject.sex = 0;
    library.hasSubject = true;

    run(cmd::kPerform);  // Abbreviated: the register is not asked
    EXPECT_EQ(station.test.subject.name, "");
    EXPECT_TRUE(library.calls.empty());

    station.settings.subjectLibraryMode = 1;
    run(cmd::kPerform);
    EXPECT_EQ(station.test.subject, library.librarySubject);

    // (Calibration: attempt_screens_test, where a calibration really starts.)
    // Without a current subject the test keeps what it has.
    library.hasSubject = false;
    library.librarySubject.name = "Nobody";
    run(cmd::kPerform);
    EXPECT_EQ(station.test.subject.name, "Ann Lee");
}

TEST_F(MeasurementScreenTest, StartTakesLoadAndRadiusFromTheBarUpToAHundredAttempts) {
    run(cmd::kPerform);
    station.test.repetitionCount = 4;
    bars.numbers[cmd::kLoadList] = 12.5f;
    bars.numbers[cmd::kRadiusBox] = 31.0f;
    run(cmd::kStart);
    EXPECT_EQ(station.currentRepetition, 4);
    EXPECT_EQ(station.settings.currentLoad, 12.5f);
    EXPECT_EQ(station.settings.currentRadius, 31.0f);
    EXPECT_EQ(station.test.repetitions[4].loadMass, 12.5f);
    EXPECT_EQ(station.test.repetitions[4].radius, 31.0f);

    // No link to a box here: the operator hears why, and the screen returns to idle.
    EXPECT_EQ(dialogs.messages, Log{"Error in communication"});
    EXPECT_EQ(bars.shownTemplate, 0);
    EXPECT_EQ(station.viewMode, kViewIdle);

    station.test.repetitionCount = kMaxRepetitions;
    bars.numbers[cmd::kLoadList] = 3.0f;
    run(cmd::kStart);
    EXPECT_EQ(dialogs.messages, (Log{"Error in communication", "Max 100 attempts allowed"}));
    EXPECT_EQ(station.settings.currentLoad, 12.5f);
    EXPECT_EQ(station.currentRepetition, 4);
}

// A load or radius of no use (no digits read as 0, negative, beyond a float) is asked for
// before anything is recorded or remembered.
TEST_F(MeasurementScreenTest, StartAsksForAPositiveLoadAndRadiusFirst) {
    station.settings.currentLoad = 5.0f;
    station.settings.currentRadius = 25.0f;
    run(cmd::kPerform);
    const std::string load(kMsgEnterLoad), radius(kMsgEnterRadius);
    struct Case {
        float load, radius;
        std::string message;
    } cases[] = {
        {0.0f, 25.0f, load},  {-30.0f, 25.0f, load}, {std::numeric_limits<float>::infinity(), 25.0f, load},
        {std::numeric_limits<float>::quiet_NaN(), 25.0f, load}, {7.0f, 0.0f, radius}, {7.0f, -2.5f, radius},
        {0.0f, 0.0f, load},
    };
    for (const Case& c : cases) {
        dialogs.messages.clear();
        bars.numbers[cmd::kLoadList] = c.load;
        bars.numbers[cmd::kRadiusBox] = c.radius;
        run(cmd::kStart);
        EXPECT_EQ(dialogs.messages, Log{c.message}) << c.load << " kg, " << c.radius << " cm";
        EXPECT_EQ(station.viewMode, kViewMeasurement);
        EXPECT_EQ(bars.shownTemplate, kMeasurementBarTemplate);
        EXPECT_EQ(bars.hiddenControls, (std::set<int>{cmd::kBack, cmd::kIgnore})) << "START stays offered";
        EXPECT_EQ(station.settings.currentLoad, 5.0f);
        EXPECT_EQ(station.settings.currentRadius, 25.0f);
        EXPECT_EQ(station.test.repetitions[0].loadMass, 0.0f);
    }
}

// A new test starts the result view's graph afresh: repetition 0 over its stroke range
// with the default quantities, whatever an earlier graph showed.
TEST_F(MeasurementScreenTest, PerformAndCalibrationStartTheResultGraphAtItsDefaults) {
    station.settings.graph.graphY1Quantity = 2;
    station.settings.graph.graphY2Quantity = 4;
    station.test.repetitions[0].sampleCount = 1000;
    GraphViewState& graph = screens.curveGraph().graphState();
    auto scramble = [&] { graph = GraphViewState{3, 4, 1, 200, 300, 210, 290, 2.0, 1.0, 1.0}; };
    auto expectDefaults = [&](const char* after) {
        EXPECT_EQ(graph.repetition, 0) << after;
        EXPECT_EQ(graph.y1, 0) << after;
        EXPECT_EQ(graph.y2, 3) << after;
        EXPECT_EQ(graph.windowStart, 100) << after;
        EXPECT_EQ(graph.cursorLeft, 100) << after;
        EXPECT_EQ(graph.windowEnd, 850) << after;
        EXPECT_EQ(graph.cursorRight, 850) << after;
    };
    scramble();
    run(cmd::kPerform);
    expectDefaults("Perform");
    run(cmd::kExit);

    scramble();
    dialogs.yesNoAnswers = {true};
    run(cmd::kCalibration);  // no box here: it goes no further than its start
    expectDefaults("Calibration");
}

TEST_F(MeasurementScreenTest, IgnoreDropsTheLastAttemptAndStepsBackTheAttemptIndex) {
    run(cmd::kPerform);
    station.test.repetitionCount = 3;
    station.currentRepetition = 2;
    station.test.saved = 0;
    station.resultsAvailable = 1;

    ASSERT_TRUE(run(cmd::kIgnore, Notification::Clicked));
    EXPECT_EQ(station.test.repetitionCount, 2);
    EXPECT_EQ(station.currentRepetition, 1);
    EXPECT_EQ(station.test.saved, 0);
    EXPECT_EQ(station.resultsAvailable, 1);
    // The screen says which attempt went and how many stay, for whom.
    station.test.subject.name = "Ann Lee";
    RecordingDrawContext dc;
    screens.draw(dc);
    EXPECT_EQ(dc.texts().back(), "Subject: Ann Lee    Attempt 3 removed \u2013 2 stored");

    run(cmd::kIgnore);
    run(cmd::kIgnore);
    EXPECT_EQ(station.test.repetitionCount, 0);
    EXPECT_EQ(station.currentRepetition, 0);
    // Nothing left: nothing to report and nothing to save.
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_EQ(station.resultsAvailable, 0);
    // At zero with nothing to drop, and the flags as a test without any IGNORE left them:
    // still nothing to report and nothing to save.
    station.test.saved = 0;
    station.resultsAvailable = 1;
    run(cmd::kIgnore);
    EXPECT_EQ(station.test.repetitionCount, 0);
    EXPECT_EQ(station.currentRepetition, 0);
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_EQ(station.resultsAvailable, 0);
}

TEST_F(MeasurementScreenTest, BackStopsTheTickAndRebuildsTheBar) {
    run(cmd::kPerform);
    view.startTickTimer(kLiveTimerId);
    view.showGuidance(true);
    station.livePhase = PhaseReady;
    bars.log.clear();
    run(cmd::kBack);
    // The abandoned attempt's guidance goes: nothing tells the subject to rotate now.
    EXPECT_FALSE(view.guidanceOn);
    EXPECT_EQ(station.livePhase, PhaseNone);
    RecordingDrawContext dc;
    screens.draw(dc);
    EXPECT_EQ(dc.texts(), (std::vector<std::string>{"Subject: none chosen"}));
    EXPECT_FALSE(view.tickTimerActive(kLiveTimerId));
    EXPECT_EQ(bars.log, (Log{"hide", "show 144", "fill 1072", "text 1039 25.00", "control 1074 on",
                             "control 1075 on", "control 1076 on", "control 1047 off", "control 1072 on",
                             "text 1078 Subject: none chosen", "control 1075 off"}));
    // START and EXIT shown; IGNORE only when a stored repetition is there to remove.
    EXPECT_EQ(bars.hiddenControls, (std::set<int>{cmd::kBack, cmd::kIgnore}));
    EXPECT_EQ(station.viewMode, kViewMeasurement);
    station.test.repetitionCount = 1;
    run(cmd::kBack);
    EXPECT_EQ(bars.hiddenControls, std::set<int>{cmd::kBack});
    run(cmd::kIgnore);  // removes it, and IGNORE goes with it
    EXPECT_EQ(bars.hiddenControls, (std::set<int>{cmd::kBack, cmd::kIgnore}));
}

TEST_F(MeasurementScreenTest, ExitMakesTheTestReportableAndReturnsToIdle) {
    run(cmd::kPerform);
    station.test.repetitionCount = 2;
    station.currentRepetition = 1;
    const int repaints = view.repaints;
    run(cmd::kExit);
    EXPECT_EQ(station.resultsAvailable, 1);
    EXPECT_EQ(station.viewMode, kViewIdle);
    EXPECT_EQ(station.currentRepetition, 0);
    EXPECT_EQ(bars.shownTemplate, 0);
    EXPECT_EQ(view.repaints, repaints + 1);
    EXPECT_EQ(station.test.repetitionCount, 2);
}

// Until the calibration really starts, the test in memory stays as it was and reportable
// (header, Digital, Curve graph), on the idle screen.
TEST_F(MeasurementScreenTest, CalibrationThatDoesNotStartKeepsTheTest) {
    station.resultsAvailable = 1;
    station.test.repetitionCount = 4;
    station.currentRepetition = 3;
    auto expectKept = [&](const char* after, int repetitions) {
        EXPECT_EQ(station.viewMode, kViewIdle) << after;
        EXPECT_EQ(station.resultsAvailable, 1) << after;
        EXPECT_EQ(station.test.repetitionCount, repetitions) << after;
        EXPECT_EQ(bars.shownTemplate, 0) << after;
        EXPECT_FALSE(view.tickTimerActive(kCalibrationTimerId)) << after;
    };
    dialogs.yesNoAnswers = {false};  // not ready
    ASSERT_TRUE(run(cmd::kCalibration));
    EXPECT_EQ(dialogs.log, Log{"ask: Press YES and STAND STILL FOR 1 SECOND"});
    expectKept("No", 4);

    // Yes, but there is no box: the operator hears why, and the view is idle again.
    dialogs.yesNoAnswers = {true};
    run(cmd::kCalibration);
    EXPECT_EQ(dialogs.messages, Log{"Error in communication"});
    expectKept("no box", 4);

    // A full test cannot take the calibration's repetition: the message, nothing asked.
    station.test.repetitionCount = kMaxRepetitions;
    dialogs.log.clear();
    run(cmd::kCalibration);
    EXPECT_EQ(dialogs.log, Log{"message: Max 100 attempts allowed"});
    expectKept("100 repetitions", kMaxRepetitions);
}

}  // namespace
}  // namespace vanta::testing
