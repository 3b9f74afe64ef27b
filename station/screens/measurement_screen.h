// The measurement screen (ViewMode 3) with its bar (template 144): Exercise > "Perform"
// starts a new test here; START, IGNORE, BACK and EXIT run the attempts, and the live
// tick (command 32791, timer 3) follows the running one on the guidance screen. The
// attempt itself (the link, the detection, the stored stroke) is the AttemptSession's.
#pragma once

#include "measure/guidance_screen.h"
#include "station/screen.h"

namespace vanta {

// Messages of the measurement and calibration screens.
inline constexpr std::string_view kMsgErrorInCommunication = "Error in communication";
inline constexpr std::string_view kMsgCalibrationDone = "Calibration is done";
// START with a load or radius that is not a positive number.
inline constexpr std::string_view kMsgEnterLoad = "Please enter a load in kg.";
inline constexpr std::string_view kMsgEnterRadius = "Please enter a radius in cm.";

class MeasurementScreen : public Screen {
public:
    explicit MeasurementScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;
    void leave() override;
    // A stored attempt's table is placed and sized anew.
    void resized() override;
    // The stored attempt (phase 5): the stroke dial at its end angle beside the report
    // table, at the view's present size. The running phases are the guidance picture's.
    void draw(DrawContext& dc) override;
    // "Attempt 3 removed – 2 stored" after IGNORE, "Attempt 2 stored: right" after an
    // attempt; empty on a new test.
    const std::string& notice() const { return notice_; }

private:
    void perform();
    void start();
    void ignore();
    void back();
    void exit();
    void liveTick();
    void showMeasurementBar();
    void showStoredAttempt();

    static std::string storedText(const Station& s);

    ScreenContext& context_;
    GuidanceScreen guidance_;
    std::string notice_;  // what the last stored attempt or IGNORE did
};

}  // namespace vanta
