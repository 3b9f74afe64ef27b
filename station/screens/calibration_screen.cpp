#include "station/screens/calibration_screen.h"

#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "station/screens/measurement_screen.h"

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
void CalibrationScreen::calibrate() {
    Station& s = context_.station;
    context_.resetToIdle();
    context_.files.askToSave();
    context_.files.takeCurrentSubjectForNewTest();
    s.livePhase = 0;
    s.viewMode = kViewCalibration;
    context_.bars.hideBar();
    s.resultsAvailable = 0;
    if (s.test.repetitionCount >= kMaxRepetitions) {
        context_.dialogs.message(kMsgMaxAttempts);
        return;
    }
    s.currentRepetition = 0;
    s.test.repetitionCount = 0;
    if (!context_.dialogs.askYesNo(kMsgStandStill)) {
        s.viewMode = kViewIdle;
        return;
    }
    AttemptSession* attempts = context_.attempts;
    if (attempts) attempts->prepareCalibration();
    const StartResult started = attempts ? attempts->startCalibration(context_.now()) : StartResult::CommunicationError;
    if (started != StartResult::Started) {
        context_.dialogs.message(kMsgErrorInCommunication,
                                 attempts ? attempts->failureReason() : std::string("no acquisition link"));
        s.viewMode = kViewIdle;
        return;
    }
    s.livePhase = attempts->livePhase();
    context_.view.startTickTimer(kCalibrationTimerId);
    // A calibration that never becomes still can be abandoned: the measurement bar with
    // BACK alone.
    BarHost& bars = context_.bars;
    bars.showBar(kMeasurementBarTemplate);
    bars.showBarControl(cmd::kStart, false);
    bars.showBarControl(cmd::kIgnore, false);
    bars.showBarControl(cmd::kExit, false);
    bars.showBarControl(cmd::kBack, true);
    bars.showBarControl(cmd::kLoadList, false);
    context_.view.takeFocus();
    context_.view.update();
}

void CalibrationScreen::calibrationTick() {
    AttemptSession* attempts = context_.attempts;
    // A tick posted before the calibration ended does nothing.
    if (!attempts || attempts->activity() != AttemptSession::Activity::Calibration) return;
    const TickReport report = attempts->tick();
    context_.station.livePhase = attempts->livePhase();
    switch (report.event) {
        case TickEvent::Running: return;
        case TickEvent::CalibrationDone:
            finish();
            context_.dialogs.message(kMsgCalibrationDone);
            return;
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
