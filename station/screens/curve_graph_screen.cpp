#include "station/screens/curve_graph_screen.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "graphs/curve_graph_renderer.h"
#include "graphs/graph_layout.h"
#include "graphs/readouts.h"
#include "profile/profile.h"
#include "reports/page_header.h"
#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "storage/test_file.h"

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
        case cmd::kZoom: zoom(); return true;
        case cmd::kCompare: compare(); return true;
        case cmd::kCursorLeftLeft: moveCursor(CursorButton::LeftBack); return true;
        case cmd::kCursorLeftRight: moveCursor(CursorButton::LeftForward); return true;
        case cmd::kCursorRightLeft: moveCursor(CursorButton::RightBack); return true;
        case cmd::kCursorRightRight: moveCursor(CursorButton::RightForward); return true;
        default: return false;
    }
}

// Report > "Curve graph": repetition 0 over its stroke range, the curve bar with
// repetitions and both quantity boxes. While the graph is shown it changes nothing.
void CurveGraphScreen::show() {
    Station& s = context_.station;
    if (s.viewMode == kViewCurveGraph) return;
    // A comparison ends with the graph: the next test may have other repetitions.
    overlay_ = {};
    otherTest_.reset();
    const GraphSettings& g = s.settings.graph;
    // A code outside 0..4 from a settings file falls back to the defaults.
    graph_.y1 = graphQuantity(g.graphY1Quantity, GraphSettings{}.graphY1Quantity);
    graph_.y2 = graphQuantity(g.graphY2Quantity, GraphSettings{}.graphY2Quantity);
    s.currentRepetition = 0;
    showRepetition(graph_, s.test, 0);
    context_.bars.showBar(kCurveBarTemplate);
    const ListContents reps = curveRepetitionContents(s.test.repetitionCount);
    context_.bars.fillBarList(cmd::kRepetitionSelector, reps.entries, reps.selected);
    context_.bars.fillBarList(cmd::kY1Box, curveQuantityTitles(), graph_.y1);
    context_.bars.fillBarList(cmd::kY2Box, curveQuantityTitles(), graph_.y2);
    s.viewMode = kViewCurveGraph;
    context_.view.update();
}

// The paper drawing gets a copy of the graph's state, so the scales it leaves stay on
// paper and the mouse keeps picking with the screen's.
void CurveGraphScreen::fillPrintJob(PrintJob& job) const {
    const Station& s = context_.station;
    // The comparison goes on paper with the graph, legend and all.
    job.setGraph(std::make_unique<GraphOnPaper>(s.test, s.settings.graph, graph_, labelledOverlay()));
}

// Another repetition: its stroke range again (on to the end of a longer compared stroke);
// the quantities stay.
void CurveGraphScreen::chooseRepetition() {
    const int chosen = context_.bars.barSelection(cmd::kRepetitionSelector);
    if (chosen < 0) return;
    context_.station.currentRepetition = chosen;
    showRepetition(graph_, context_.station.test, chosen);
    if (overlay_.test) coverComparedStroke(graph_, context_.station.test, *overlay_.test, overlay_.repetition);
    context_.view.update();
}

// Window and cursors stay; the choice is kept in the settings and so survives a restart.
void CurveGraphScreen::chooseQuantity(int boxId) {
    const int chosen = context_.bars.barSelection(boxId);
    if (chosen < 0 || chosen >= kGraphQuantities) return;
    GraphSettings& g = context_.station.settings.graph;
    if (boxId == cmd::kY1Box) {
        g.graphY1Quantity = chosen;
        graph_.y1 = chosen;
    } else {
        g.graphY2Quantity = chosen;
        graph_.y2 = chosen;
    }
    context_.view.update();
}

// The panel and the plot are painted at once whether the cursor moved or not, so the next
// click picks with the scales of what is on the screen.
void CurveGraphScreen::moveCursor(CursorButton button) {
    if (context_.station.viewMode != kViewCurveGraph) return;
    vanta::moveCursor(graph_, button);
    context_.view.repaint();
}

void CurveGraphScreen::zoom() {
    if (context_.station.viewMode != kViewCurveGraph) return;
    zoomToCursors(graph_);
    context_.view.repaint();
}

void CurveGraphScreen::mousePress(Point at, MouseButton button) {
    if (context_.station.viewMode != kViewCurveGraph) return;
    const PointerButton pointer = button == MouseButton::Left ? PointerButton::Left : PointerButton::Right;
    if (clickCursor(graph_, pointer, at.x, at.y)) context_.view.repaint();
}

// "Compare": a second time ends the comparison. Otherwise, Yes compares with the same
// repetition of another test file; No keeps the shown repetition of this test as the
// lighter curve, and the operator chooses in the list the repetition to draw over it.
void CurveGraphScreen::compare() {
    Station& s = context_.station;
    if (s.viewMode != kViewCurveGraph) show();
    if (overlay_.test) {
        overlay_ = {};
        otherTest_.reset();
        endComparedStroke(graph_, s.test);
        context_.view.update();
        return;
    }
    // Esc or Cancel: no comparison.
    const Answer answer = context_.dialogs.askYesNoCancel(
        "Compare with a repetition of another test file?\n"
        "(No: with this repetition of this test; then choose another one in the list.)");
    if (answer == Answer::Cancel) return;
    if (answer == Answer::Yes) {
        const std::string folder = std::filesystem::path(s.lastFilePath).parent_path().string();
        const auto chosen = context_.dialogs.chooseFileToOpen(folder);
        if (!chosen) return;
        auto other = std::make_unique<TestRecord>();
        std::string error;
        if (!readTestFile(*chosen, *other, &error, SampleStorage::Keep, 0)) {
            context_.dialogs.message(error, *chosen);
            return;
        }
        const int count = std::min(other->repetitionCount, kMaxRepetitions);
        if (count <= 0) {
            context_.dialogs.message("The test file holds no repetition.", *chosen);
            return;
        }
        otherTest_ = std::move(other);
        overlay_ = {otherTest_.get(), std::min(graph_.repetition, count - 1), {}, {}};
        otherName_ = std::filesystem::path(*chosen).filename().string();
    } else {
        overlay_ = {&s.test, graph_.repetition, {}, {}};
        otherName_.clear();
    }
    coverComparedStroke(graph_, s.test, *overlay_.test, overlay_.repetition);
    context_.view.update();
}

// "test of 2026-12-07 09:30, repetition 2, 10.00 kg, right", or the other file's name.
std::string CurveGraphScreen::curveLabel(const TestRecord& test, int repetition, const std::string& file) const {
    if (repetition < 0 || repetition >= std::min(test.repetitionCount, kMaxRepetitions)) return {};
    const RepetitionRecord& r = test.repetitions[static_cast<size_t>(repetition)];
    char load[32];
    std::snprintf(load, sizeof load, "%.2f kg", r.loadMass);
    const std::optional<Side> side = sideOfDirection(r.direction, context_.station.settings.sidesSwapped != 0);
    return (file.empty() ? "test of " + formatTime(test.testTime, "%Y-%m-%d %H:%M") : file) + ", repetition " +
           std::to_string(repetition + 1) + ", " + load + ", " + (side ? sideName(*side) : "no side");
}

CurveOverlay CurveGraphScreen::labelledOverlay() const {
    CurveOverlay o = overlay_;
    if (!o.test) return o;
    o.shownLabel = curveLabel(context_.station.test, graph_.repetition, {});
    o.overlayLabel = curveLabel(*o.test, o.repetition, otherName_);
    return o;
}

void CurveGraphScreen::draw(DrawContext& dc) {
    const Station& s = context_.station;
    drawReadouts(dc, kReadoutRect, s.test, graph_);
    CurveGraphRenderer renderer;
    renderer.setOverlay(labelledOverlay());
    renderer.draw(dc, kPlotRect, s.test, s.settings.graph, graph_);
}

}  // namespace vanta
