#include "graphs/curve_graph_renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/support/recording_draw_context.h"
#include "graph_test_support.h"
#include "graphs/axis_parameters.h"
#include "graphs/graph_layout.h"

namespace vanta {
namespace {

const Pen kBlackPen{kBlack, 1, PenStyle::Solid};
const Pen kBluePen{kBlue, 1, PenStyle::Solid};
const Pen kRedPen{kRed, 1, PenStyle::Solid};

RecordingDrawContext draw(GraphTest& g, bool paper = false, CurveDrawing how = CurveDrawing::Auto) {
    RecordingDrawContext dc(paper);
    CurveGraphRenderer(how).draw(dc, paper ? kPaperPlotRect : kPlotRect, *g.test, g.settings, g.view);
    return dc;
}

// The texts drawn into rectangles with the given top and bottom, in order.
std::vector<std::string> textsIn(const RecordingDrawContext& dc, int top, int bottom) {
    std::vector<std::string> out;
    for (const DrawCall& c : dc.callsOf(DrawOp::Text))
        if (c.rect().top == top && c.rect().bottom == bottom) out.push_back(c.text);
    return out;
}

// The texts drawn with the given alignment and text colour: the tick labels of one axis.
std::vector<std::string> labels(const RecordingDrawContext& dc, TextAlign align, Color color) {
    std::vector<std::string> out;
    for (const DrawCall& c : dc.callsOf(DrawOp::Text))
        if (c.align == align && c.state.textColor == color) out.push_back(c.text);
    return out;
}

std::vector<DrawCall> linesWith(const RecordingDrawContext& dc, const Pen& pen) {
    std::vector<DrawCall> out;
    for (const DrawCall& c : dc.callsOf(DrawOp::Line))
        if (c.state.pen == pen) out.push_back(c);
    return out;
}

// Horizontal lines across the whole plot: the zero lines.
std::vector<DrawCall> zeroLines(const RecordingDrawContext& dc, const Pen& pen) {
    std::vector<DrawCall> out;
    for (const DrawCall& c : linesWith(dc, pen))
        if (c.numbers[0] == 60 && c.numbers[2] == 690 && c.numbers[1] == c.numbers[3]) out.push_back(c);
    return out;
}

std::vector<std::string> sequence(int from, int to, int step) {
    std::vector<std::string> out;
    for (int v = from; v <= to; v += step) out.push_back(std::to_string(v));
    return out;
}

TEST(CurveGraph, TimeTicksEveryTenthOfTheWindowAtLeastOneSample) {
    GraphTest g(2000);
    g.window(100, 119);  // span 19: a step of 1
    EXPECT_EQ(textsIn(draw(g), 550, 565), sequence(100, 119, 1));
    g.window(100, 125);  // span 25: a step of 2
    EXPECT_EQ(textsIn(draw(g), 550, 565), sequence(100, 124, 2));

    g.window(100, 1100);  // span 1000: every 100 samples, 63 pixels apart
    RecordingDrawContext dc = draw(g);
    EXPECT_EQ(textsIn(dc, 550, 565), sequence(100, 1100, 100));
    std::vector<int> tickX;
    for (const DrawCall& c : linesWith(dc, kBluePen))
        if (c.numbers[1] == 540 && c.numbers[3] == 543) tickX.push_back(c.numbers[0]);
    EXPECT_EQ(tickX, (std::vector<int>{60, 123, 186, 249, 312, 375, 438, 501, 564, 627, 690}));
    // The labels are the sample numbers centred under their ticks.
    EXPECT_EQ(dc.callsOf(DrawOp::Text)[1].rect(), (Rect{103, 550, 143, 565}));
}

TEST(CurveGraph, AutoscaleKeepsTheStationsHabits) {
    GraphTest g(1000);  // window 100..850
    for (int i = 100; i < 850; ++i) {
        g.set(0, i, static_cast<float>((i - 100) % 300));   // 0 .. 299
        g.set(3, i, static_cast<float>(-100 + (i % 181)));  // -100 .. 80
    }
    // The last two samples of the window are not examined.
    g.set(0, 849, 5000.0f);
    g.set(0, 850, 5000.0f);
    AutoscaleRanges r = autoscaleRange(*g.test, g.view);
    EXPECT_EQ(r.left, (AxisRange{0, 396, 49}));
    EXPECT_EQ(r.right, (AxisRange{-132, 132, 33}));  // symmetric about 0
    g.set(0, 848, 600.0f);
    EXPECT_EQ(autoscaleRange(*g.test, g.view).left, (AxisRange{0, 800, 100}));
    g.set(0, 848, 0.0f);

    RecordingDrawContext dc = draw(g);
    EXPECT_EQ(labels(dc, TextAlign::Right, kBlue), sequence(0, 392, 49));
    EXPECT_EQ(labels(dc, TextAlign::Left, kRed), sequence(-132, 132, 33));
    EXPECT_TRUE(zeroLines(dc, kBlackPen).empty());
    const std::vector<DrawCall> red = zeroLines(dc, kRedPen);
    ASSERT_EQ(red.size(), 1u);
    EXPECT_EQ(red[0].numbers[1], 410);  // half way up the 260-pixel plot

    // All values positive: the lower end is 4/3 of the smallest, truncated, so the lowest
    // part of the curve lies below the frame. The minimum starts at 9999, the maximum at 0.
    GraphTest pos(1000);
    for (int i = 100; i < 850; ++i) pos.set(0, i, 50.0f + static_cast<float>((i - 100) % 250));
    EXPECT_EQ(autoscaleRange(*pos.test, pos.view).left, (AxisRange{64, 396, 41}));
    for (int i = 100; i < 850; ++i) pos.set(0, i, -5.0f);
    EXPECT_EQ(autoscaleRange(*pos.test, pos.view).left, (AxisRange{-4, 4, 1}));
    for (int i = 100; i < 850; ++i) pos.set(0, i, 12000.0f);
    EXPECT_EQ(autoscaleRange(*pos.test, pos.view).left, (AxisRange{13332, 16000, 333}));
}

TEST(CurveGraph, SettingsStepsBelowOneStillAdvance) {
    GraphTest g(1000);
    g.settings.autoscale = 1;
    g.settings.axisStep[0] = 0;  // velocity: -100 .. 300, a tenth of the range
    EXPECT_EQ(labels(draw(g), TextAlign::Right, kBlue), sequence(-100, 300, 40));

    g.settings.axisMin[0] = 0;
    g.settings.axisMax[0] = 5;  // a tenth of 5 is 0: the ticks advance by 1
    EXPECT_EQ(labels(draw(g), TextAlign::Right, kBlue), sequence(0, 5, 1));

    // MIN above MAX draws no ticks and a scale that turns the axis upside down.
    g.settings.axisMin[0] = 300;
    g.settings.axisMax[0] = -100;
    g.settings.axisStep[0] = 50;
    RecordingDrawContext dc = draw(g);
    EXPECT_TRUE(labels(dc, TextAlign::Right, kBlue).empty());
    EXPECT_LT(g.view.y1Scale, 0.0);

    // A step of 1 over the whole 32-bit range: ticks closer than a pixel fall on one
    // another, so no more than the axis has pixels are drawn.
    g.settings.axisMin[3] = -2000000000;
    g.settings.axisMax[3] = 2000000000;
    g.settings.axisStep[3] = 1;
    const std::vector<std::string> many = labels(draw(g), TextAlign::Left, kRed);
    ASSERT_FALSE(many.empty());
    EXPECT_LE(many.size(), 261u);
    EXPECT_EQ(many.front(), "-2000000000");
}

// A vertical range of 0 (force with no load) or a window of no span is drawn with a range
// or span of 1, so every coordinate stays a plain number.
TEST(CurveGraph, ZeroRangeAndZeroSpanGiveFiniteCoordinates) {
    GraphTest g(1000);  // every value 0
    RecordingDrawContext dc = draw(g);
    EXPECT_EQ(autoscaleRange(*g.test, g.view).right, (AxisRange{0, 0, 1}));
    EXPECT_DOUBLE_EQ(g.view.y2Scale, 260.0);
    for (const DrawCall& c : dc.callsOf(DrawOp::Line)) {
        if (c.state.pen == kRedPen && c.numbers[0] != 690) {
            EXPECT_EQ(c.numbers[3], 540) << dc.describe();
        }
    }

    GraphTest zero(250);  // window 100..100
    dc = draw(zero);
    EXPECT_DOUBLE_EQ(zero.view.xScale, 630.0);
    EXPECT_EQ(textsIn(dc, 550, 565), (std::vector<std::string>{"100"}));
    for (const DrawCall& c : dc.calls())
        for (int v : c.numbers) EXPECT_LT(std::abs(v), 100000) << dc.describe();

    // A load that is not a number (a damaged file) gives no undefined coordinates either.
    g.test->repetitions[0].loadMass = std::nanf("");
    g.set(3, 300, 1.0f);
    dc = draw(g);
    for (const DrawCall& c : dc.calls())
        for (int v : c.numbers) EXPECT_LT(std::abs(v), 2000000);
}

TEST(CurveGraph, PaintingOrderColoursAndFonts) {
    GraphTest g(400);  // window 100..250
    for (int i = 0; i < 400; ++i) {
        g.set(0, i, static_cast<float>(i - 200));
        g.set(3, i, static_cast<float>(i % 50));
    }
    g.view.cursorLeft = 130;
    g.view.cursorRight = 200;
    RecordingDrawContext dc;
    dc.selectPen(Pen{kGreen, 3, PenStyle::Dash});
    dc.selectFont(Font{"Courier", 9, 700});
    dc.setTextColor(kGreen);
    dc.clear();
    CurveGraphRenderer().draw(dc, kPlotRect, *g.test, g.settings, g.view);
    const std::vector<DrawCall>& calls = dc.calls();

    auto firstIndex = [&](auto pred) {
        return static_cast<int>(std::find_if(calls.begin(), calls.end(), pred) - calls.begin());
    };
    auto lastIndex = [&](auto pred) {
        return static_cast<int>(calls.rend() - std::find_if(calls.rbegin(), calls.rend(), pred)) - 1;
    };
    auto text = [](const char* t) { return [t](const DrawCall& c) { return c.op == DrawOp::Text && c.text == t; }; };
    auto drawnWith = [](DrawOp op, Color pen) {
        return [op, pen](const DrawCall& c) { return c.op == op && c.state.pen.color == pen; };
    };

    // The frame: left side, bottom and right side, black, no top line.
    const int frame = firstIndex([](const DrawCall& c) { return c.op == DrawOp::Polyline; });
    EXPECT_EQ(calls[frame].numbers, (std::vector<int>{60, 280, 60, 540, 690, 540, 690, 280}));
    EXPECT_EQ(calls[frame].state.pen, kBlackPen);
    EXPECT_EQ(calls[frame].state.font, (Font{"Arial", 16, 400}));
    // The black zero line of the left axis (-132 .. 132 here).
    const std::vector<DrawCall> leftZero = zeroLines(dc, kBlackPen);
    ASSERT_EQ(leftZero.size(), 1u);
    const int timeTick = firstIndex(drawnWith(DrawOp::Line, kBlue));
    const int timeTitle = firstIndex(text("TIME (ms)"));
    const int leftLabel = firstIndex([](const DrawCall& c) { return c.op == DrawOp::Text && c.align == TextAlign::Right; });
    const int leftTitle = firstIndex(text("velocity (deg/s)"));
    const int rightLabel = firstIndex([](const DrawCall& c) { return c.op == DrawOp::Text && c.align == TextAlign::Left; });
    const int rightTitle = firstIndex(text("Force (N)"));
    const int leftCurve = firstIndex(drawnWith(DrawOp::Line, kLeftCurveColor));
    const int lastCurve = lastIndex(drawnWith(DrawOp::Line, kRed));
    const int lastBlack = lastIndex(drawnWith(DrawOp::Line, kBlack));
    EXPECT_LT(frame, timeTick);
    EXPECT_LT(timeTick, timeTitle);
    EXPECT_LT(timeTitle, leftLabel);
    EXPECT_LT(leftLabel, leftTitle);
    EXPECT_LT(leftTitle, rightLabel);
    EXPECT_LT(rightLabel, rightTitle);
    EXPECT_LT(rightTitle, leftCurve);
    EXPECT_LT(leftCurve, lastCurve);
    EXPECT_LT(lastCurve, lastBlack - 1);

    // Time labels and title in the text colour the graph was given; left axis blue, right red.
    EXPECT_EQ(calls[timeTitle].state.textColor, kGreen);
    EXPECT_EQ(calls[timeTitle].rect(), (Rect{60, 575, 690, 590}));
    EXPECT_EQ(calls[leftLabel].state.textColor, kBlue);
    EXPECT_EQ(calls[leftTitle].state.textColor, kBlue);
    EXPECT_EQ(calls[leftTitle].rect(), (Rect{20, 245, 120, 265}));
    EXPECT_EQ(calls[rightLabel].state.textColor, kRed);
    EXPECT_EQ(calls[rightTitle].rect(), (Rect{630, 245, 730, 265}));
    // The cursor lines come last, black, from the top to the bottom of the plot.
    const int xl = 60 + static_cast<int>(30 * 630.0 / 150.0), xr = 60 + static_cast<int>(100 * 630.0 / 150.0);
    EXPECT_EQ(calls[lastBlack - 1].numbers, (std::vector<int>{xl, 280, xl, 540}));
    EXPECT_EQ(calls[lastBlack].numbers, (std::vector<int>{xr, 280, xr, 540}));
    // What the graph selected is put back.
    EXPECT_EQ(dc.pen(), (Pen{kGreen, 3, PenStyle::Dash}));
    EXPECT_EQ(dc.font(), (Font{"Courier", 9, 700}));
    EXPECT_EQ(dc.textColor(), kGreen);
}

// With fixed axes narrower than the data the curves leave the axis range: they are
// drawn clipped to the plot (on screen and paper, segment by segment and per column),
// while the frame, the ticks, the labels and the cursor lines are drawn unclipped, and
// the clip the caller had is given back.
TEST(CurveGraph, CurvesAreClippedToThePlotAndNothingElseIs) {
    GraphTest g(3000);
    for (int i = 0; i < 3000; ++i) {
        g.set(1, i, static_cast<float>(i % 40));  // position 0..39 against an axis of 0..5
        g.set(3, i, static_cast<float>(-(i % 700)));
    }
    g.view.y1 = 1;
    g.settings.autoscale = 1;  // Off
    g.settings.axisMin[1] = 0;
    g.settings.axisMax[1] = 5;
    for (bool paper : {false, true}) {
        for (CurveDrawing how : {CurveDrawing::Auto, CurveDrawing::SegmentBySegment}) {
            const Rect plot = paper ? kPaperPlotRect : kPlotRect;
            const RecordingDrawContext dc = draw(g, paper, how);
            int curves = 0, others = 0, wrong = 0;
            for (const DrawCall& c : dc.calls()) {
                if (c.op != DrawOp::Line && c.op != DrawOp::Polyline && c.op != DrawOp::Text) continue;
                const bool curve = c.op == DrawOp::Line && (c.state.pen.color == kLeftCurveColor ||
                                                            (c.state.pen.color == kRed && c.numbers[0] != plot.right));
                // The red zero line runs across the plot from its left side.
                if (curve && c.numbers[1] == c.numbers[3] && c.numbers[0] == plot.left) continue;
                ++(curve ? curves : others);
                if (c.state.clip != (curve ? std::optional<Rect>(plot) : std::nullopt)) ++wrong;
            }
            EXPECT_GT(curves, 100);
            EXPECT_GT(others, 20);
            EXPECT_EQ(wrong, 0) << (paper ? "paper" : "screen");
            EXPECT_EQ(dc.clip(), std::nullopt);
        }
    }
    RecordingDrawContext framed;
    framed.clipTo(Rect{0, 0, 700, 600});
    CurveGraphRenderer().draw(framed, kPlotRect, *g.test, g.settings, g.view);
    EXPECT_EQ(framed.clip(), std::optional<Rect>(Rect{0, 0, 700, 600}));
}

// Short windows are drawn as the station always drew them: one line per sample from the
// previous one, left curve then right, the first of zero length, the last ending at
// windowEnd - 1; Y(v) = d - trunc((v - min) x scale).
TEST(CurveGraph, ShortWindowsLineBySample) {
    GraphTest g(1000);
    g.settings.autoscale = 1;  // velocity -100..300: 0.65 px per deg/s; force -200..1000
    g.window(100, 104);
    const float v[] = {0.0f, 100.0f, 99.9f, -100.0f};
    for (int i = 0; i < 4; ++i) g.set(0, 100 + i, v[i]);
    RecordingDrawContext dc = draw(g);
    std::vector<std::vector<int>> left;
    for (const DrawCall& c : linesWith(dc, Pen{kLeftCurveColor, 1, PenStyle::Solid})) left.push_back(c.numbers);
    const std::vector<std::vector<int>> expected = {
        {60, 475, 60, 475}, {60, 475, 217, 410}, {217, 410, 375, 411}, {375, 411, 532, 540}};
    EXPECT_EQ(left, expected);
    // Force 0 throughout: the right curve runs along y = 540 - trunc(200 x 260 / 1200) = 497.
    const std::vector<DrawCall> right = linesWith(dc, kRedPen);
    ASSERT_GE(right.size(), 4u);
    EXPECT_EQ(right[right.size() - 4].numbers, (std::vector<int>{60, 497, 60, 497}));
    EXPECT_EQ(right.back().numbers, (std::vector<int>{375, 497, 532, 497}));
}

// A window of more samples than twice the plot's width in device pixels is drawn per
// column, a few lines each: every column keeps its lowest and highest value, so a
// one-sample spike survives.
TEST(CurveGraph, LongWindowsDrawnPerColumnKeepEveryExtreme) {
    const Pen leftPen{kLeftCurveColor, 1, PenStyle::Solid};
    GraphTest g(60000);
    g.settings.autoscale = 1;
    g.window(100, 1360);  // 1260 samples, twice the 630-pixel plot: still line by line
    EXPECT_EQ(linesWith(draw(g), leftPen).size(), 1260u);

    g.window(100, 59850);
    g.set(0, 31234, 300.0f);   // one sample at the top of the axis
    g.set(0, 41234, -100.0f);  // one at the bottom
    const std::vector<DrawCall> left = linesWith(draw(g), leftPen);
    EXPECT_GE(left.size(), 630u);
    EXPECT_LE(left.size(), 3u * 630u);
    int top = 540, bottom = 280;
    for (const DrawCall& l : left) {
        for (int k : {0, 2}) {
            EXPECT_GE(l.numbers[k], 60);
            EXPECT_LT(l.numbers[k], 690);
            top = std::min(top, l.numbers[k + 1]);
            bottom = std::max(bottom, l.numbers[k + 1]);
        }
    }
    EXPECT_EQ(top, 280);
    EXPECT_EQ(bottom, 540);

    // On paper the plot is 1400 units wide; at 600 dpi a unit is 2.4 printer pixels, so
    // 6000 samples are still drawn line by line, and per 0.1 mm column on a coarser device.
    struct Printer : RecordingDrawContext {
        double ppu;
        explicit Printer(double p) : RecordingDrawContext(true), ppu(p) {}
        double devicePixelsPerUnit() const override { return ppu; }
    };
    g.window(100, 6100);
    Printer fine(600 / 254.0), coarse(1.0);
    CurveGraphRenderer().draw(fine, kPaperPlotRect, *g.test, g.settings, g.view);
    CurveGraphRenderer().draw(coarse, kPaperPlotRect, *g.test, g.settings, g.view);
    EXPECT_EQ(linesWith(fine, leftPen).size(), 6000u);
    EXPECT_LE(linesWith(coarse, leftPen).size(), 3u * 1400u);
}

TEST(CurveGraph, ZoomPutsTheCursorLinesOnTheFrame) {
    GraphTest g(5000);
    // A span of 141: 630 / 141 x 141 comes out just below 630 in doubles.
    g.view.cursorLeft = 1234;
    g.view.cursorRight = 1375;
    EXPECT_TRUE(zoomToCursors(g.view));
    EXPECT_FALSE(zoomToCursors(g.view));  // again without moving a cursor: nothing changes
    EXPECT_EQ(g.view.windowStart, 1234);
    EXPECT_EQ(g.view.windowEnd, 1375);
    RecordingDrawContext dc = draw(g);
    const std::vector<DrawCall> black = linesWith(dc, kBlackPen);
    ASSERT_GE(black.size(), 2u);
    EXPECT_EQ(black[black.size() - 2].numbers, (std::vector<int>{60, 280, 60, 540}));
    EXPECT_EQ(black.back().numbers, (std::vector<int>{690, 280, 690, 540}));
    EXPECT_EQ(textsIn(dc, 550, 565).front(), "1234");
}

// A repetition too short for a stroke (N = 200: window 100..50) has a negative time scale:
// frame, titles and cursor lines only, with autoscale On.
TEST(CurveGraph, ReversedWindowDrawsFrameTitlesAndCursorsOnly) {
    GraphTest g(200);
    for (int i = 0; i < 200; ++i) g.set(0, i, 50.0f);
    RecordingDrawContext dc = draw(g);
    EXPECT_LT(g.view.xScale, 0.0);
    EXPECT_EQ(dc.callsOf(DrawOp::Polyline).size(), 1u);
    EXPECT_EQ(dc.texts(), (std::vector<std::string>{"TIME (ms)", "velocity (deg/s)", "Force (N)"}));
    const std::vector<DrawCall> lines = dc.callsOf(DrawOp::Line);
    ASSERT_EQ(lines.size(), 2u) << dc.describe();
    EXPECT_EQ(lines[0].numbers, (std::vector<int>{60, 280, 60, 540}));
    EXPECT_EQ(lines[1].numbers, (std::vector<int>{690, 280, 690, 540}));
}

TEST(CurveGraph, OnPaperTheGraphIs140By60MillimetresWith3MillimetreText) {
    GraphTest g(1150);  // window 100..1000
    RecordingDrawContext dc = draw(g, /*paper=*/true);
    const DrawCall frame = dc.callsOf(DrawOp::Polyline).front();
    EXPECT_EQ(frame.numbers, (std::vector<int>{200, -750, 200, -1350, 1600, -1350, 1600, -750}));
    EXPECT_EQ(frame.state.font, (Font{"Arial", 30, 400}));
    EXPECT_LT(g.view.y1Scale, 0.0);  // values still rise towards the top of the page
    EXPECT_DOUBLE_EQ(g.view.xScale, 1400.0 / 900.0);

    const std::vector<DrawCall> texts = dc.callsOf(DrawOp::Text);
    // The first time label under its 2 mm tick, "TIME (ms)" below, and the two titles.
    EXPECT_EQ(texts[0].text, "100");
    EXPECT_EQ(texts[0].rect(), (Rect{0, -1370, 400, -1410}));
    EXPECT_EQ(dc.callsOf(DrawOp::Line)[0].numbers, (std::vector<int>{200, -1350, 200, -1370}));
    auto titled = [&](const char* t) {
        return *std::find_if(texts.begin(), texts.end(), [t](const DrawCall& c) { return c.text == t; });
    };
    EXPECT_EQ(titled("TIME (ms)").rect(), (Rect{200, -1430, 1600, -1470}));
    EXPECT_EQ(titled("velocity (deg/s)").rect(), (Rect{0, -690, 500, -730}));
    EXPECT_EQ(titled("Force (N)").rect(), (Rect{1300, -690, 1800, -730}));
    for (const DrawCall& t : texts) {
        if (t.align == TextAlign::Right) {  // left labels end 2 mm left of the frame
            EXPECT_EQ(t.rect().left, 80);
            EXPECT_EQ(t.rect().right, 180);
            EXPECT_EQ(t.rect().top - t.rect().bottom, 40);
        }
    }
}

// The graph reads the records only: drawing a repetition that was never recorded must not
// allocate its sample blocks.
TEST(CurveGraph, DrawingReadsTheRecordsWithoutTouchingThem) {
    GraphTest g(1000);
    g.view.repetition = 7;
    g.test->repetitions[7].sampleCount = 1000;
    draw(g);
    EXPECT_FALSE(g.test->series[7].values.allocated());
}

}  // namespace
}  // namespace vanta
