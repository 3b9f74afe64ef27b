// The calibration screen (ViewMode 9): Setup > "Calibration" measures the sensor box's
// offsets over one second of stillness; the calibration tick (command 154, timer 5)
// follows it. BACK on its bar (or Esc) abandons it with the offsets as they were.
#pragma once

#include "station/screen.h"

namespace vanta {

class CalibrationScreen : public Screen {
public:
    explicit CalibrationScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;
    void leave() override;
    // "STAND STILL FOR AT LEAST 1 SECOND" while the calibration runs.
    void draw(DrawContext& dc) override;

private:
    void calibrate();
    void calibrationTick();
    void abandon();
    // The calibration has ended, done or not: timer, link and bar go, the view repaints.
    void finish();

    ScreenContext& context_;
};

}  // namespace vanta
