// What the curve graph shows: the repetition, the two quantities, the time window and the
// two cursors, and the scales its latest drawing left for mouse picking. The operations of
// the cursor buttons, Zoom and the mouse keep
//
//     windowStart <= cursorLeft < cursorRight <= windowEnd
//
// whenever the window is proper (windowStart < windowEnd); in an empty or reversed window
// (a repetition of fewer than 251 samples read from a file) none of them changes anything.
#pragma once

#include <cstdint>
#include <optional>

#include "core/records.h"

namespace vanta {

struct GraphViewState {
    int32_t repetition = 0;  // the shown repetition
    int32_t y1 = 0;          // quantity code on the left axis
    int32_t y2 = 3;          // quantity code on the right axis
    int32_t windowStart = 0;  // sample at the left end of the time axis
    int32_t windowEnd = 0;    // sample at the right end
    int32_t cursorLeft = 0;   // XL
    int32_t cursorRight = 0;  // XR
    // Logical units per sample and per quantity unit of the left and right axis, written by
    // every drawing of the curve graph. 0 until the graph has been drawn once.
    double xScale = 0.0;
    double y1Scale = 0.0;
    double y2Scale = 0.0;

    bool properWindow() const { return windowStart < windowEnd; }
};

// Shows `repetition` over its stroke range: window and cursors from sample 100 to N - 150.
// The quantities stay.
void showRepetition(GraphViewState& view, const TestRecord& test, int repetition);

// While a second repetition (of this test or another) is drawn over the shown one: a
// window over the shown stroke's whole range reaches on to the end of the compared stroke
// when that is longer, so neither curve is cut. A zoomed window and the cursors stay.
void coverComparedStroke(GraphViewState& view, const TestRecord& test, const TestRecord& other, int otherRepetition);

// The comparison ended: a window that reaches past the shown stroke is its stroke range again.
void endComparedStroke(GraphViewState& view, const TestRecord& test);

// The graph a new test starts from (Perform, Calibration): repetition 0 over its stroke
// range and the station's default quantities, Y1 velocity (deg/s) and Y2 Force (N) (the
// selection a settings file starts with).
void showDefaultGraph(GraphViewState& view, const TestRecord& test);

// The four arrow buttons of the curve bar, one sample per press.
enum class CursorButton {
    LeftBack,      // XL "<<" (32816)
    LeftForward,   // XL ">>" (32817)
    RightBack,     // XR "<<" (32814)
    RightForward,  // XR ">>" (32815)
};

// Moves a cursor one sample when it stays inside the window and apart from the other
// cursor; returns whether it moved. The screen repaints either way.
bool moveCursor(GraphViewState& view, CursorButton button);

// "Zoom" (32813): the time window becomes the stretch between the cursors, which then lie
// on the frame's sides. Returns whether the window changed.
bool zoomToCursors(GraphViewState& view);

// The sample under the pointer at view pixel (x, y), when the pointer lies inside the
// screen's plot rectangle (left and top edges inside, right and bottom outside), the
// window is proper and the graph has been drawn. Always inside windowStart..windowEnd - 1.
std::optional<int> sampleAtPointer(const GraphViewState& view, int x, int y);

enum class PointerButton { Left, Right };

// A mouse press in the view: the left button sets XL, the right one XR, to the sample
// under the pointer when that keeps XL before XR and the cursor actually moves. Returns
// whether a cursor moved (only then does the screen repaint).
bool clickCursor(GraphViewState& view, PointerButton button, int x, int y);

}  // namespace vanta
