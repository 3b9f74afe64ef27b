// The curve graph: quantity y1 of the shown repetition against a blue left axis, y2 against
// a red right axis, over the time window, with the cursor lines XL and XR. One routine for
// the screen (the view's plot rectangle 60, 280, 690, 540; pixels, y down) and for paper
// (200, -750, 1600, -1350; 0.1 mm, y up): the context says which, and only the tick
// lengths, label rectangles and fonts differ. Nothing is clipped to the plot rectangle.
#pragma once

#include <string>

#include "canvas/draw_context.h"
#include "core/records.h"
#include "graphs/graph_view_state.h"
#include "storage/settings_file.h"

namespace vanta {

// Colours of the graph.
inline constexpr Color kLeftCurveColor{0, 128, 200};

// A second repetition drawn over the shown one for comparison, in lighter colours of the
// same two quantities against the same axes. Every repetition reverses at sample 100, so
// the two are aligned there by drawing sample for sample; the second is drawn where it has
// samples inside the window.
struct CurveOverlay {
    const TestRecord* test = nullptr;  // this test or another; none: no overlay
    int repetition = 0;
    // The legend's two lines: what the full curves show and what the lighter dashed ones
    // do ("test of 2026-12-07 09:30, repetition 2, 10.00 kg, right").
    std::string shownLabel, overlayLabel;
};
inline constexpr Color kLeftOverlayColor{150, 205, 235};
inline constexpr Color kRightOverlayColor{255, 160, 160};

enum class CurveDrawing {
    // Segment by segment while the window has at most twice as many samples as the plot is
    // wide in device pixels; beyond that, per column of the plot: the line into the column
    // and the span of each curve from its lowest to its highest value there, coloured where
    // the two overlap as the segments would leave it. The pictures are the same, and a
    // 60000-sample window repaints in a few milliseconds instead of tens.
    Auto,
    // Always one line per pair of neighbouring samples: the reference the thinned drawing is
    // compared and timed against.
    SegmentBySegment,
};

class CurveGraphRenderer {
public:
    explicit CurveGraphRenderer(CurveDrawing drawing = CurveDrawing::Auto) : drawing_(drawing) {}

    // Draws the graph into `plot` from the records (read only) and the settings, and leaves
    // the scales of this drawing in view.xScale, y1Scale and y2Scale. Mouse picking reads
    // them, so a caller drawing on paper passes its own copy of the screen's state.
    // The pen, font and text colour are put back.
    void draw(DrawContext& dc, const Rect& plot, const TestRecord& test, const GraphSettings& settings,
              GraphViewState& view) const;

    // The repetition drawn over the curves by the next draw() calls.
    void setOverlay(CurveOverlay overlay) { overlay_ = overlay; }

private:
    CurveDrawing drawing_;
    CurveOverlay overlay_;
};

}  // namespace vanta
