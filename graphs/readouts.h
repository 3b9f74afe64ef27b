// The readout panel above the curve graph: the two cursors and their distance, and for
// each quantity its values at the cursors, its integral and its mean between them.
#pragma once

#include <array>
#include <string>

#include "canvas/draw_context.h"
#include "core/records.h"
#include "graphs/graph_view_state.h"

namespace vanta {

inline constexpr int kReadoutCount = 11;

// The eleven texts in the order they are drawn: "XL: %d", "XR: %d", "diff X: %d"; then
// for Y1 "left", "int", "avr", "right"; then the same for Y2. The sums run over every
// sample from XL to XR, both included, in float32 as the station has always summed; "int"
// counts each sample as 1 ms. Numbers follow the C numeric locale. When the cursors
// enclose no sample (XR before XL, in a reversed window) or the window itself is empty or
// reversed, the "avr" cells show a dash: there is no mean to show.
std::array<std::string, kReadoutCount> readoutTexts(const TestRecord& test, const GraphViewState& view);

// Draws the panel into the rectangle (screen: the view's 10, 40, 740, 120; paper:
// 0, -320, 1800, -380 in 0.1 mm with y up). On screen the rectangle is outlined with the
// current pen and filled with the current brush first; on paper the rows are drawn four
// times as high as a third of the rectangle (8 mm). Changes nothing in `view`; the text
// colour and font are put back.
void drawReadouts(DrawContext& dc, const Rect& rect, const TestRecord& test, const GraphViewState& view);

}  // namespace vanta
