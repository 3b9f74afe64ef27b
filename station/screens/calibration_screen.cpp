#include "station/screens/calibration_screen.h"

#include "graphs/graph_layout.h"
#include "measure/guidance_screen.h"
#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "station/screens/idle_screen.h"
#include "station/screens/measurement_screen.h"
#include "station/session_recovery.h"

namespace vanta {

bool CalibrationScreen::command(int id, Notification) {
    switch (id) {
        case cmd::kCalibration: calibrate(); return true;
        case cmd::kCalibrationTick: calibrationTick(); return true;
        case cmd::kBack:
            if (context_.station.viewMode != kViewCalibration) return false;
            abandon();
            return true;
        default: return false;
    }
}

// Setup > "Calibration": the calibration screen.
//
// The test in memory is given up only once the calibration really starts: with 100
// repetitions stored, on No to the question, or without the box, the station stays on the
// idle screen with the test as it was (still reportable, header and all), since nothing
// has been calibrated.
void CalibrationScreen::calibrate() {
    Station& s = context_.station;
    context_.resetToIdle();
    if (!mayLeaveTest(context_.files.askToSave())) return;
    if (s.test.repetitionCount >= kMaxRepetitions) {
        context_.dialogs.message(kMsgMaxAttempts);
        return;
    }
    if (!context_.dialogs.askYesNo(kMsgStandStill)) return;
    const int heldRepetitions = s.test.repetitionCount;
    const int heldResults = s.resultsAvailable;
    s.livePhase = 0;
    s.viewMode = kViewCalibration;
    s.resultsAvailable = 0;
    s.currentRepetition = 0;
    s.test.repetitionCount = 0;
    if (context_.resultGraph) showDefaultGraph(*context_.resultGraph, s.test);
    AttemptSession* attempts = context_.attempts;
    if (attempts) attempts->prepareCalibration();
    const StartResult started = attempts ? attempts->startCalibration(context_.now()) : StartResult::CommunicationError;
    if (started != StartResult::Started) {
        // Nothing was recorded over repetition 0: the test is kept.
        s.test.repetitionCount = heldRepetitions;
        s.resultsAvailable = heldResults;
        s.viewMode = kViewIdle;
        context_.dialogs.message(kMsgErrorInCommunication,
                                 attempts ? attempts->failureReason() : std::string("no acquisition link"));
        context_.view.update();
        return;
    }
    s.livePhase = attempts->livePhase();
    // The new test has begun: in Extended mode it is the register's current subject's.
    context_.files.takeCurrentSubjectForNewTest();
    context_.view.startTickTimer(kCalibrationTimerId);
    // A calibration that never becomes still can be abandoned: a bar with BACK alone.
    context_.bars.showBar(kCalibrationBarTemplate);
    context_.view.takeFocus();
    context_.view.update();
}

// While the second of stillness is being measured the subject reads what to do, in the
// live screen's place and font.
void CalibrationScreen::draw(DrawContext& dc) {
    const AttemptSession* attempts = context_.attempts;
    // Once calibrated (or abandoned) the screen is the idle one's: whose test comes next.
    if (!attempts || attempts->activity() != AttemptSession::Activity::Calibration) {
        drawNextSubjectLine(dc, context_);
        return;
    }
    GuidanceScreen::drawStandStillLine(dc, guidanceLayout(context_.view.clientRect()));
}

void CalibrationScreen::calibrationTick() {
    AttemptSession* attempts = context_.attempts;
    // A tick posted before the calibration ended does nothing.
    if (!attempts || attempts->activity() != AttemptSession::Activity::Calibration) return;
    const TickReport report = attempts->tick();
    context_.station.livePhase = attempts->livePhase();
    switch (report.event) {
        case TickEvent::Running: return;
        case TickEvent::CalibrationDone: {
            finish();
            // The results a later test shows are drawn with the operator's own choice.
            const GraphSettings& g = context_.station.settings.graph;
            if (GraphViewState* graph = context_.resultGraph) {
                graph->y1 = graphQuantity(g.graphY1Quantity, GraphSettings{}.graphY1Quantity);
                graph->y2 = graphQuantity(g.graphY2Quantity, GraphSettings{}.graphY2Quantity);
            }
            if (!context_.station.journal.calibrated(context_.station.test))
                tellJournalFailure(context_.station, context_.dialogs);
            context_.dialogs.notice(kMsgCalibrationDone);
            return;
        }
        case TickEvent::TooLong:
            finish();
            context_.dialogs.message(kMsgCalibrationTooLong);
            return;
        case TickEvent::CommunicationLost:
            finish();
            context_.dialogs.message(kMsgErrorInCommunication, report.reason);
            return;
        default: finish(); return;
    }
}

void CalibrationScreen::finish() {
    context_.view.stopTickTimer(kCalibrationTimerId);
    if (context_.attempts) context_.attempts->back();
    context_.bars.hideBar();
    context_.view.update();
}

// BACK or Esc: the calibration is abandoned; the offsets keep their values.
void CalibrationScreen::abandon() {
    finish();
    context_.station.livePhase = 0;
    context_.resetToIdle();
}

void CalibrationScreen::leave() {
    if (context_.attempts && context_.attempts->activity() == AttemptSession::Activity::Calibration)
        context_.attempts->back();
    context_.view.stopTickTimer(kCalibrationTimerId);
}

}  // namespace vanta
