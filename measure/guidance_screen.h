// The guidance screen of a running attempt: what the subject sees while standing still,
// while the station waits for the stroke, and during the stroke (the stroke dial). Drawn
// through DrawContext with the station's integer layout, tick by tick: each tick draws
// only its own bands and discs over what is already on the screen, so the screen keeps
// its erase-and-redraw look and a tick costs a few dozen drawing calls.
#pragma once

#include <string_view>
#include <vector>

#include "canvas/draw_context.h"

namespace vanta {

inline constexpr std::string_view kTextStandStill = "STAND STILL FOR AT LEAST 1 SECOND";
inline constexpr std::string_view kTextMoveBarbel = "MOVE BARBEL UNTIL RED CIRCLE COVERS THE BLUE ONE";
// The trailing blanks belong to the texts: they wipe what a longer line left behind.
inline constexpr std::string_view kTextsReady[4] = {
    "START AN ATTEMPT ROTATING TO THE LEFT OR RIGHT         ",
    "FROM NEUTRAL POSITION AT LEAST FOR 40 DEG. AND         ",
    "PERFORME FULL STROKE TO THE OPPOSITE DIRECTION.        ",
    "MEASURMENT STARTS IN MOMENT OF CHANGING DIRECTION.     ",
};

// Where everything goes, from the view's client rectangle (integer arithmetic, truncating).
struct GuidanceLayout {
    int left = 0, top = 0, right = 0, bottom = 0;
    int x1 = 0;          // the dial's right edge, a third across
    int y1 = 0, y3 = 0;  // a quarter and three quarters down
    int largeFont = 24;  // character heights in pixels: the report table
    int smallFont = 24;  //   and the guidance texts
    int lineHeight = 40; // b: one line of guidance text
    Rect resultList;     // the report table of the stored attempt
    Rect dial;           // the discs and the stroke dial
    int cx = 0, cy = 0, radius = 0;
    // The report table's column widths are divided by this (24 / the large font's height).
    float columnWidthScale = 1.0f;
};

GuidanceLayout guidanceLayout(const Rect& client);

// What the guidance screen needs to know about one tick.
struct GuidanceFrame {
    int phaseBefore = 0;        // the phase whose texts this tick shows
    int stillCountBefore = 0;
    int phaseNow = 0;           // the phase whose discs or dial this tick shows
    int sampleCount = 0;        // samples stored
    double unit[3] = {};        // the acceleration's direction at the last sample
    double angle = 0.0;         // current angle (the end angle once stored)
    double startAngle = 0.0;
    double peakAngle = 0.0;
    int direction = 1;
};

struct DiscPosition {
    int x = 0, y = 0;
    bool shown = false;
};

class GuidanceScreen {
public:
    // A new attempt: there is no red disc on the screen to erase.
    void reset() { redDisc_ = {}; }
    // Draws one tick: the texts of the phase before the tick's samples, then the discs or
    // the dial of the phase now current. Returns the rectangles it drew into, for a view
    // that repaints only those.
    std::vector<Rect> drawTick(DrawContext& dc, const GuidanceLayout& layout, const GuidanceFrame& frame);
    // The stroke dial: a green disc with the blue sector from the start angle to `angle`,
    // once the angle has passed the peak angle in the stroke's direction.
    static void drawStrokeDial(DrawContext& dc, const GuidanceLayout& layout, double startAngle, double angle,
                               double peakAngle, int direction);
    const DiscPosition& redDisc() const { return redDisc_; }
    // "STAND STILL FOR AT LEAST 1 SECOND" where the stand-still screen writes it, in its
    // font and colour (the calibration screen shows it too).
    static void drawStandStillLine(DrawContext& dc, const GuidanceLayout& layout);

private:
    DiscPosition redDisc_;
};

}  // namespace vanta
