#include "station/screens/calibration_screen.h"

#include "station/command_ids.h"

namespace vanta {

bool CalibrationScreen::command(int id, Notification) {
    switch (id) {
        case cmd::kCalibration: calibrate(); return true;
        case cmd::kCalibrationTick: return true;
        default: return false;
    }
}

// Setup > "Calibration": the calibration screen.
void CalibrationScreen::calibrate() {
    Station& s = context_.station;
    context_.resetToIdle();
    context_.files.offerToSave();
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
    context_.view.update();
}

}  // namespace vanta
