// The history drawn through DrawContext, one routine for the screen (pixels, y down) and
// for paper (0.1 mm, y up): the heading, then per side a plot of the mean peak power of
// each test over time (dated ticks, one line per load named at its end, the test error's
// band around the first test of each load, the real changes ringed); below them the
// error lines, the table and the change lines.
//
// Below the plots everything is a list of blocks (a line, a table row, a change line
// wrapped to the width), drawn whole or not at all: the screen scrolls and paper pages by
// blocks, so no line is ever cut at the edge of the view or of a page.
#pragma once

#include <optional>
#include <vector>

#include "canvas/draw_context.h"
#include "history/history.h"
#include "reports/page_header.h"
#include "reports/printed_report.h"

namespace vanta {

struct HistoryPart {
    int next = 0;   // the first block not drawn; `count` when the drawing went to the end
    int count = 0;  // the blocks of the whole drawing at this width (block 0: the plots)
};

// Draws the heading and then the blocks from `first` on, as many as fit into `area` (its
// top edge first). `load`: only the loads equal to it within 0.005 kg; none: every load.
// On screen, when blocks are left, the last line says how to see them.
HistoryPart drawHistory(DrawContext& dc, const Rect& area, const History& history,
                        std::optional<double> load = std::nullopt, int first = 0);
// Where End takes the screen: the first block from which every block to the end fits into
// `area` on a screen, with its footer line; the last full view of the history.
int historyLastViewStart(const Rect& area, const History& history, std::optional<double> load = std::nullopt);

// The page header of a printed history: the subject, the number of tests and their span.
PageHeaderTexts historyPageHeader(const History& history, std::optional<double> load = std::nullopt);

// The history on paper, from its own copy: page 1 holds the plots and the first blocks
// below the page header, each further page the next blocks, until every row is printed.
class HistoryOnPaper : public PaperDrawing {
public:
    HistoryOnPaper(History history, std::optional<double> load);
    int pageCount() override;
    void drawPage(DrawContext& dc, const Rect& area, int page) override;
    void draw(DrawContext& dc, const Rect& area) override { drawPage(dc, area, 1); }

private:
    const std::vector<int>& pageStarts();

    History history_;
    std::optional<double> load_;
    std::vector<int> starts_;  // the first block of each page, worked out once
};

}  // namespace vanta
