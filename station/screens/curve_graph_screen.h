// The curve graph (ViewMode 1) with the curve bar (template 140): Report > "Curve graph"
// draws two quantities of one repetition; the bar chooses the repetition (list 1075) and
// the quantities (Y1 1069, Y2 1071), moves the cursors (32814 to 32817) and zooms (32813);
// the left and right mouse buttons set the cursors inside the plot. Report > "Compare"
// draws a second repetition, of this test or of another test file, over the shown one.
#pragma once

#include <memory>
#include <string>

#include "graphs/curve_graph_renderer.h"
#include "graphs/graph_view_state.h"
#include "station/screen.h"

namespace vanta {

class CurveGraphScreen : public Screen {
public:
    explicit CurveGraphScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;
    // The readout panel, then the curve graph, which leaves its scales for the mouse.
    void draw(DrawContext& dc) override;
    void mousePress(Point at, MouseButton button) override;
    // The graph as it is on screen (repetition, quantities, window, cursors), on paper.
    void fillPrintJob(PrintJob& job) const override;

    // What the screen shows: window, cursors and the scales of its latest drawing.
    const GraphViewState& graph() const { return graph_; }
    GraphViewState& graphState() { return graph_; }
    // The repetition compared with the shown one; overlay().test is null when none is.
    const CurveOverlay& overlay() const { return overlay_; }

private:
    void show();
    void chooseRepetition();
    void chooseQuantity(int boxId);
    void moveCursor(CursorButton button);
    void zoom();
    void compare();

    ScreenContext& context_;
    GraphViewState graph_;
    CurveOverlay overlay_;
    std::unique_ptr<TestRecord> otherTest_;  // the compared test file, when not this test
    std::string otherName_;                  // its file name, for the legend
    std::string curveLabel(const TestRecord& test, int repetition, const std::string& file) const;
    CurveOverlay labelledOverlay() const;
};

}  // namespace vanta
