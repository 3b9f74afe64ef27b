// The curve graph (ViewMode 1) with the curve bar (template 140): Report > "Curve graph"
// draws two quantities of one repetition; the bar chooses the repetition (list 1075) and
// the quantities (Y1 1069, Y2 1071), moves the cursors (32814 to 32817) and zooms (32813);
// the left and right mouse buttons set the cursors inside the plot.
#pragma once

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

private:
    void show();
    void chooseRepetition();
    void chooseQuantity(int boxId);
    void moveCursor(CursorButton button);
    void zoom();

    ScreenContext& context_;
    GraphViewState graph_;
};

}  // namespace vanta
