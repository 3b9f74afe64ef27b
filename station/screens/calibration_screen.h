// The calibration screen (ViewMode 9, no bar): Setup > "Calibration" measures the sensor
// box's offsets over one second of stillness; the calibration tick (command 154, timer 5)
// follows it.
#pragma once

#include "station/screen.h"

namespace vanta {

class CalibrationScreen : public Screen {
public:
    explicit CalibrationScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;

private:
    void calibrate();

    ScreenContext& context_;
};

}  // namespace vanta
