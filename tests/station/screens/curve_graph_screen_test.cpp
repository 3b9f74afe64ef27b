// The curve graph screen: its window and cursors through the bar's buttons, Zoom, the mouse
// and the choice boxes, and when it paints.
#include "graphs/curve_graph_renderer.h"
#include "graphs/graph_layout.h"
#include "tests/station/screens/screen_fixture.h"
#include "tests/support/recording_draw_context.h"

namespace vanta::testing {
namespace {

class CurveGraphScreenTest : public ScreenTest {
protected:
    CurveGraphScreenTest() {
        station.test.repetitionCount = 2;
        station.test.repetitions[0].sampleCount = 1510;  // window 100..1360: half a pixel a sample
        station.test.repetitions[1].sampleCount = 2000;
        station.resultsAvailable = 1;
        run(cmd::kCurveGraph);
        RecordingDrawContext dc;
        screens.draw(dc);  // the scales the mouse picks with
    }
    const GraphViewState& graph() { return screens.curveGraph().graph(); }
    void expectWindow(int start, int end, int xl, int xr) {
        EXPECT_EQ(graph().windowStart, start);
        EXPECT_EQ(graph().windowEnd, end);
        EXPECT_EQ(graph().cursorLeft, xl);
        EXPECT_EQ(graph().cursorRight, xr);
    }
};

TEST_F(CurveGraphScreenTest, ButtonsAndClicksMoveTheCursorsAndPaintAtOnce) {
    expectWindow(100, 1360, 100, 1360);
    EXPECT_DOUBLE_EQ(graph().xScale, 0.5);

    // XL "<<" at the window's start moves nothing, yet panel and plot are painted again.
    int repaints = view.repaints;
    run(cmd::kCursorLeftLeft);
    EXPECT_EQ(view.repaints, ++repaints);
    run(cmd::kCursorLeftRight);
    run(cmd::kCursorRightLeft);
    EXPECT_EQ(view.repaints, repaints += 2);
    expectWindow(100, 1360, 101, 1359);

    // The right button sets XR, the left XL; a click outside the plot does nothing and
    // paints nothing.
    screens.mousePress(Point{359, 400}, MouseButton::Right);  // sample 698
    screens.mousePress(Point{160, 300}, MouseButton::Left);   // sample 300
    EXPECT_EQ(view.repaints, repaints += 2);
    screens.mousePress(Point{690, 300}, MouseButton::Left);
    screens.mousePress(Point{400, 279}, MouseButton::Right);
    EXPECT_EQ(view.repaints, repaints);
    expectWindow(100, 1360, 300, 698);

    // Zoom: the window is the stretch between the cursors, painted at once.
    run(cmd::kZoom);
    EXPECT_EQ(view.repaints, ++repaints);
    expectWindow(300, 698, 300, 698);

    // Another quantity keeps window and cursors and is kept in the settings.
    bars.selection[cmd::kY2Box] = 4;
    run(cmd::kY2Box, Notification::SelectionChanged);
    EXPECT_EQ(graph().y2, 4);
    EXPECT_EQ(station.settings.graph.graphY2Quantity, 4);
    expectWindow(300, 698, 300, 698);
    // "Curve graph" again changes nothing either.
    run(cmd::kCurveGraph);
    expectWindow(300, 698, 300, 698);

    // Another repetition comes back over its whole stroke range.
    bars.selection[cmd::kRepetitionSelector] = 1;
    run(cmd::kRepetitionSelector, Notification::SelectionChanged);
    EXPECT_EQ(graph().repetition, 1);
    expectWindow(100, 1850, 100, 1850);

    // On another screen the mouse and the buttons leave the graph alone.
    station.viewMode = kViewIdle;
    screens.curveGraph().mousePress(Point{160, 300}, MouseButton::Left);
    run(cmd::kCursorRightLeft);
    run(cmd::kZoom);
    expectWindow(100, 1850, 100, 1850);
}

// A quantity code beyond the five from a damaged settings file shows the default choice.
// "Compare", answered No: the shown repetition stays as the lighter curves while another is
// chosen; sample for sample from the window's start (sample 100, the reversal) as far as
// the compared repetition has samples. "Compare" again ends it.
TEST_F(CurveGraphScreenTest, CompareDrawsASecondRepetitionAlignedAtTheReversal) {
    auto overlayCurves = [&] {
        RecordingDrawContext dc;
        screens.draw(dc);
        std::vector<DrawCall> curves;
        for (const DrawCall& call : dc.calls())
            if (call.op == DrawOp::Polyline &&
                (call.state.pen.color == kLeftOverlayColor || call.state.pen.color == kRightOverlayColor))
                curves.push_back(call);
        return curves;
    };
    EXPECT_TRUE(overlayCurves().empty());
    run(cmd::kCompare);
    EXPECT_EQ(screens.curveGraph().overlay().test, &station.test);
    bars.selection[cmd::kRepetitionSelector] = 1;
    run(cmd::kRepetitionSelector, Notification::SelectionChanged);
    EXPECT_EQ(graph().repetition, 1);
    expectWindow(100, 1850, 100, 1850);
    const std::vector<DrawCall> curves = overlayCurves();
    ASSERT_EQ(curves.size(), 2u);
    for (const DrawCall& c : curves) {
        ASSERT_EQ(c.numbers.size(), 2u * (1510 - 100));  // repetition 0 ends at sample 1509
        EXPECT_EQ(c.numbers[0], kPlotRect.left);
        EXPECT_EQ(c.numbers[2 * 875], kPlotRect.left + 875 * (kPlotRect.right - kPlotRect.left) / 1750);
    }
    // The legend names both curves; the dashes tell the compared one apart without colour;
    // the graph report prints the comparison.
    RecordingDrawContext dc;
    screens.draw(dc);
    const std::vector<std::string> texts = dc.texts();
    EXPECT_EQ(std::count_if(texts.begin(), texts.end(),
                            [](const std::string& t) { return t.starts_with("test of ") && t.find(", repetition ") != std::string::npos; }),
              2);
    for (const DrawCall& c : curves) EXPECT_EQ(c.state.pen.style, PenStyle::Dash);
    // The legend stands above the plot, clear of the curves it names and of the readouts.
    for (const DrawCall& c : dc.calls())
        if (c.op == DrawOp::Text && c.text.starts_with("test of ")) {
            EXPECT_LE(c.rect().bottom, kPlotRect.top) << c.text;
            EXPECT_GE(c.rect().top, kReadoutRect.bottom) << c.text;
        }
    RecordingDrawContext paper(true);
    const PrintJob job = screens.printJob();
    printReportPage(paper, job.report, 1, 1);
    EXPECT_TRUE(std::any_of(paper.calls().begin(), paper.calls().end(), [](const DrawCall& c) {
        return c.op == DrawOp::Polyline && c.state.pen.color == kLeftOverlayColor;
    }));
    // On paper too the legend covers neither the plot nor any other text or frame of the page.
    const auto span = [](int a, int b) { return std::pair{std::min(a, b), std::max(a, b)}; };
    for (const DrawCall& c : paper.calls()) {
        if (c.op != DrawOp::Text || !c.text.starts_with("test of ")) continue;
        const auto [low, high] = span(c.rect().top, c.rect().bottom);
        EXPECT_GE(low, kPaperPlotRect.top) << c.text;
        for (const DrawCall& other : paper.calls()) {
            const bool text = other.op == DrawOp::Text && !other.text.starts_with("test of ") && !other.text.empty();
            if (!text && other.op != DrawOp::Rectangle) continue;
            const auto [otherLow, otherHigh] = span(other.rect().top, other.rect().bottom);
            const bool crosses = low < otherHigh && otherLow < high && c.rect().left < other.rect().right &&
                                 other.rect().left < c.rect().right;
            EXPECT_FALSE(crosses) << c.text << " over " << other.text;
        }
    }
    run(cmd::kCompare);
    EXPECT_TRUE(overlayCurves().empty());
    // Esc on the question: no comparison.
    dialogs.yesNoCancelAnswers = {Answer::Cancel};
    run(cmd::kCompare);
    EXPECT_FALSE(screens.curveGraph().overlay().test);

    // The compared stroke (repetition 1, to sample 1850) longer than the shown one (to
    // 1360): the time axis covers both and the compared curves are drawn whole; the cursors
    // stay on the shown stroke, and the end of the comparison gives it back its own range.
    run(cmd::kCompare);
    bars.selection[cmd::kRepetitionSelector] = 0;
    run(cmd::kRepetitionSelector, Notification::SelectionChanged);
    expectWindow(100, 1850, 100, 1360);
    for (const DrawCall& c : overlayCurves()) EXPECT_EQ(c.numbers.size(), 2u * (1850 - 100));
    // The shown curves end with its samples (at 1509), not at the axis's end.
    RecordingDrawContext longer;
    screens.draw(longer);
    const int lastShown = kPlotRect.left + (1509 - 100) * (kPlotRect.right - kPlotRect.left) / 1750;
    int shownRight = 0;
    for (const DrawCall& c : longer.calls())
        if (c.op == DrawOp::Line && c.state.pen.color == kLeftCurveColor) shownRight = std::max({shownRight, c.numbers[0], c.numbers[2]});
    EXPECT_EQ(shownRight, lastShown);
    run(cmd::kCompare);
    expectWindow(100, 1360, 100, 1360);
}

TEST_F(ScreenTest, CurveGraphFallsBackFromAnUnknownQuantityCode) {
    station.settings.graph.graphY1Quantity = 9;
    station.settings.graph.graphY2Quantity = -1;
    run(cmd::kCurveGraph);
    EXPECT_EQ(screens.curveGraph().graph().y1, 0);
    EXPECT_EQ(screens.curveGraph().graph().y2, 3);
    EXPECT_EQ(bars.selection[cmd::kY1Box], 0);
    EXPECT_EQ(bars.selection[cmd::kY2Box], 3);
}

}  // namespace
}  // namespace vanta::testing
