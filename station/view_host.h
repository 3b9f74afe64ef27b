// What the screens ask of the main view itself: painting and the two tick timers.
#pragma once

namespace vanta {

// The view's timer ids: 3 runs during an attempt, 5 during calibration. Every tick only
// posts its command (32791 or 154); the command does the work.
inline constexpr int kLiveTimerId = 3;
inline constexpr int kCalibrationTimerId = 5;
inline constexpr int kTickPeriodMs = 100;

class ViewHost {
public:
    virtual ~ViewHost() = default;

    // Paints the whole view at once, before returning.
    virtual void repaint() = 0;
    // Paints the view when the event loop comes to it.
    virtual void update() = 0;

    virtual void startTickTimer(int timerId) = 0;
    virtual void stopTickTimer(int timerId) = 0;
    virtual bool tickTimerActive(int timerId) const = 0;
};

}  // namespace vanta
