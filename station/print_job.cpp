#include "station/print_job.h"

#include "graphs/curve_graph_renderer.h"
#include "graphs/readouts.h"

namespace vanta {

void GraphOnPaper::drawReadouts(DrawContext& dc, const Rect& rect) { vanta::drawReadouts(dc, rect, test_, view_); }

void GraphOnPaper::drawCurveGraph(DrawContext& dc, const Rect& plot) {
    CurveGraphRenderer renderer;
    renderer.setOverlay(overlay_);
    renderer.draw(dc, plot, test_, settings_, view_);
}

}  // namespace vanta
