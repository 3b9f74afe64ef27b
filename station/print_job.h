// What Print and Print Preview read from the view when they start: the screen's title, the
// page header's texts, the report table's rows and the curve graph's state. The pages are
// drawn from this copy alone, so printing changes nothing on the screen and nothing on the
// screen changes a page half printed.
#pragma once

#include <memory>

#include "core/records.h"
#include "graphs/curve_graph_renderer.h"
#include "graphs/graph_view_state.h"
#include "reports/printed_report.h"
#include "storage/settings_file.h"

namespace vanta {

// The curve graph and its readout panel on paper, drawn from a copy of the graph's state:
// the paper drawing's scales stay with the copy, so a mouse click on the screen after
// printing still picks the sample under the pointer.
class GraphOnPaper : public PaperGraph {
public:
    GraphOnPaper(const TestRecord& test, const GraphSettings& settings, const GraphViewState& view,
                 CurveOverlay overlay = {})
        : test_(test), settings_(settings), view_(view), overlay_(std::move(overlay)) {}
    void drawReadouts(DrawContext& dc, const Rect& rect) override;
    void drawCurveGraph(DrawContext& dc, const Rect& plot) override;

private:
    const TestRecord& test_;
    GraphSettings settings_;
    GraphViewState view_;
    CurveOverlay overlay_;  // the compared repetition; its test lives as long as the screen's
};

struct PrintJob {
    PrintedReport report;
    // The graph report's drawing; report.graph points to it.
    std::unique_ptr<PaperGraph> graph;
    // The profile's drawing; report.drawing points to it.
    std::unique_ptr<PaperDrawing> drawing;

    void setGraph(std::unique_ptr<PaperGraph> g) {
        graph = std::move(g);
        report.graph = graph.get();
    }
    void setDrawing(std::unique_ptr<PaperDrawing> d) {
        drawing = std::move(d);
        report.drawing = drawing.get();
    }
};

}  // namespace vanta
