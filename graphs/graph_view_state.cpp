#include "graphs/graph_view_state.h"

#include <algorithm>
#include <cmath>

#include "core/analysis.h"
#include "graphs/graph_layout.h"

namespace vanta {

void showRepetition(GraphViewState& view, const TestRecord& test, int repetition) {
    view.repetition = repetition;
    const bool inRecord = repetition >= 0 && repetition < kMaxRepetitions;
    const int n = inRecord ? test.repetitions[static_cast<size_t>(repetition)].validSamples() : 0;
    view.windowStart = kStrokeFirstSample;
    view.windowEnd = n - kStrokeTailSamples;
    view.cursorLeft = view.windowStart;
    view.cursorRight = view.windowEnd;
}

namespace {
// The last sample of a repetition's stroke range: N - 150; 0 outside the record.
int strokeEnd(const TestRecord& test, int repetition) {
    if (repetition < 0 || repetition >= kMaxRepetitions) return 0;
    return test.repetitions[static_cast<size_t>(repetition)].validSamples() - kStrokeTailSamples;
}
}  // namespace

void coverComparedStroke(GraphViewState& view, const TestRecord& test, const TestRecord& other, int otherRepetition) {
    const int end = strokeEnd(test, view.repetition);
    if (view.windowStart != kStrokeFirstSample || view.windowEnd != end) return;
    view.windowEnd = std::max(end, strokeEnd(other, otherRepetition));
}

void endComparedStroke(GraphViewState& view, const TestRecord& test) {
    if (view.windowEnd > strokeEnd(test, view.repetition)) showRepetition(view, test, view.repetition);
}

void showDefaultGraph(GraphViewState& view, const TestRecord& test) {
    view = GraphViewState{};
    showRepetition(view, test, 0);
}

bool moveCursor(GraphViewState& view, CursorButton button) {
    if (!view.properWindow()) return false;
    switch (button) {
    case CursorButton::LeftBack:
        if (view.cursorLeft > view.windowStart) { --view.cursorLeft; return true; }
        return false;
    case CursorButton::LeftForward:
        if (view.cursorLeft < view.cursorRight - 1) { ++view.cursorLeft; return true; }
        return false;
    case CursorButton::RightBack:
        if (view.cursorRight > view.cursorLeft + 1) { --view.cursorRight; return true; }
        return false;
    case CursorButton::RightForward:
        if (view.cursorRight < view.windowEnd) { ++view.cursorRight; return true; }
        return false;
    }
    return false;
}

bool zoomToCursors(GraphViewState& view) {
    const bool changed = view.windowStart != view.cursorLeft || view.windowEnd != view.cursorRight;
    view.windowStart = view.cursorLeft;
    view.windowEnd = view.cursorRight;
    return changed;
}

std::optional<int> sampleAtPointer(const GraphViewState& view, int x, int y) {
    const Rect& plot = kPlotRect;
    if (x < plot.left || x >= plot.right || y < plot.top || y >= plot.bottom) return std::nullopt;
    // Without a drawn, proper window there is no sample under the pointer: a reversed
    // window has a negative scale, one never drawn has none at all.
    if (!view.properWindow() || !(view.xScale > 0.0) || !std::isfinite(view.xScale)) return std::nullopt;
    const double offset = std::trunc((x - plot.left) / view.xScale);
    // The scale of the latest drawing always maps the plot onto the window; the clamp only
    // matters when a window was changed and not yet drawn again.
    const double span = static_cast<double>(view.windowEnd) - view.windowStart;
    const double clamped = offset < 0.0 ? 0.0 : (offset > span - 1.0 ? span - 1.0 : offset);
    return view.windowStart + static_cast<int>(clamped);
}

bool clickCursor(GraphViewState& view, PointerButton button, int x, int y) {
    const std::optional<int> s = sampleAtPointer(view, x, y);
    if (!s) return false;
    if (button == PointerButton::Left) {
        if (*s == view.cursorLeft || *s >= view.cursorRight) return false;
        view.cursorLeft = *s;
        return true;
    }
    if (*s == view.cursorRight || *s <= view.cursorLeft) return false;
    view.cursorRight = *s;
    return true;
}

}  // namespace vanta
