// The history drawn through DrawContext, one routine for the screen (pixels, y down) and
// for paper (0.1 mm, y up): per side a plot of the mean peak power of each test over time
// (dates on the axis, one line per load), the MDC95 band around the first test of each
// load, the changes beyond error ringed; below them the table and the lines of the error
// and of the changes.
#pragma once

#include <optional>

#include "canvas/draw_context.h"
#include "history/history.h"
#include "reports/page_header.h"

namespace vanta {

// `load`: only the loads equal to it within 0.005 kg; none: every load.
void drawHistory(DrawContext& dc, const Rect& area, const History& history, std::optional<double> load = std::nullopt);

// The page header of the printed history: the subject, the number of tests and their span.
PageHeaderTexts historyPageHeader(const History& history);

}  // namespace vanta
