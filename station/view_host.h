// What the screens ask of the main view itself: painting, the two tick timers, the
// guidance picture and the report table.
#pragma once

#include <functional>
#include <vector>

#include "canvas/draw_context.h"
#include "core/records.h"

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

    // The view's client rectangle in pixels.
    virtual Rect clientRect() const = 0;
    // The keyboard goes to the view (Esc abandons a running attempt or calibration).
    virtual void takeFocus() = 0;

    // The guidance picture: an off-screen picture of the whole view that the measurement
    // screen draws into tick by tick, each tick over what the earlier ones left, as the
    // station has always drawn its guidance. While it is on, the view's paint shows it
    // under the screen's own painting. On: a white picture of the view's size.
    virtual void showGuidance(bool on) = 0;
    // Draws on the picture and repaints only the rectangles the drawing returns.
    virtual void drawGuidance(const std::function<std::vector<Rect>(DrawContext&)>& draw) = 0;

    // The digital report table of one repetition at `where`, in a bold Arial of
    // `fontHeight` pixels, its column widths divided by `columnWidthScale`.
    virtual void showReportTable(const Rect& where, const RepetitionResults& results, int fontHeight,
                                 float columnWidthScale) = 0;
    virtual void hideReportTable() = 0;
};

}  // namespace vanta
