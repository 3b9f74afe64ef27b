// The measurement screen (ViewMode 3) with its bar (template 144): Exercise > "Perform"
// starts a new test here; START, IGNORE, BACK and EXIT run the attempts, and the live
// tick (command 32791, timer 3) follows the running one on the guidance screen.
#pragma once

#include "station/screen.h"

namespace vanta {

class MeasurementScreen : public Screen {
public:
    explicit MeasurementScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;

private:
    void perform();
    void start();
    void ignore();
    void back();
    void exit();
    void showMeasurementBar();

    ScreenContext& context_;
};

}  // namespace vanta
