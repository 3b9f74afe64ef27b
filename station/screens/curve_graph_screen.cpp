#include "station/screens/curve_graph_screen.h"

#include "station/bar_contents.h"
#include "station/command_ids.h"

namespace vanta {

bool CurveGraphScreen::command(int id, Notification notification) {
    switch (id) {
        case cmd::kCurveGraph: show(); return true;
        // 1075 is the repetition list only on a selection change; a click is IGNORE.
        case cmd::kRepetitionSelector:
            if (notification != Notification::SelectionChanged) return false;
            chooseRepetition();
            return true;
        case cmd::kY1Box:
        case cmd::kY2Box: chooseQuantity(id); return true;
        case cmd::kZoom:
        case cmd::kCursorLeftLeft:
        case cmd::kCursorLeftRight:
        case cmd::kCursorRightLeft:
        case cmd::kCursorRightRight: return true;
        default: return false;
    }
}

// Report > "Curve graph": the curve bar with repetitions and both quantity boxes.
void CurveGraphScreen::show() {
    Station& s = context_.station;
    if (s.viewMode == kViewCurveGraph) return;
    s.currentRepetition = 0;
    context_.bars.showBar(kCurveBarTemplate);
    const ListContents reps = curveRepetitionContents(s.test.repetitionCount);
    context_.bars.fillBarList(cmd::kRepetitionSelector, reps.entries, reps.selected);
    const GraphSettings& g = s.settings.graph;
    context_.bars.fillBarList(cmd::kY1Box, curveQuantityTitles(), g.graphY1Quantity);
    context_.bars.fillBarList(cmd::kY2Box, curveQuantityTitles(), g.graphY2Quantity);
    s.viewMode = kViewCurveGraph;
    context_.view.update();
}

void CurveGraphScreen::chooseRepetition() {
    const int chosen = context_.bars.barSelection(cmd::kRepetitionSelector);
    if (chosen < 0) return;
    context_.station.currentRepetition = chosen;
    context_.view.update();
}

void CurveGraphScreen::chooseQuantity(int boxId) {
    const int chosen = context_.bars.barSelection(boxId);
    if (chosen < 0) return;
    // The choice is kept in the settings and so survives a restart.
    GraphSettings& g = context_.station.settings.graph;
    if (boxId == cmd::kY1Box)
        g.graphY1Quantity = chosen;
    else
        g.graphY2Quantity = chosen;
    context_.view.update();
}

}  // namespace vanta
