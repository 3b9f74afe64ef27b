// The guidance screen, number for number on the recording context: the integer layout
// at both sides of its thresholds, the texts and discs of each phase, the erase of the
// previous red disc and the stroke dial.
#include <gtest/gtest.h>

#include "tests/support/recording_draw_context.h"
#include "measure/guidance_screen.h"
#include "measure/live_detection.h"

namespace vanta {
namespace {

TEST(GuidanceLayout, WideWindowUsesTheFullFontAndAWindowWithLittleRoomShrinksIt) {
    const GuidanceLayout wide = guidanceLayout(Rect{0, 0, 1280, 800});
    EXPECT_EQ(wide.x1, 426);
    EXPECT_EQ(wide.y1, 215);
    EXPECT_EQ(wide.y3, 605);
    EXPECT_EQ(wide.largeFont, 24);
    EXPECT_EQ(wide.smallFont, 24);
    EXPECT_EQ(wide.lineHeight, 40);
    EXPECT_EQ(wide.resultList, (Rect{426, 240, 1156, 590}));
    EXPECT_EQ(wide.dial, (Rect{0, 240, 426, 625}));
    EXPECT_EQ(wide.cx, 213);
    EXPECT_EQ(wide.cy, 422);  // 220 + 202.5, truncated
    EXPECT_EQ(wide.radius, 170);
    EXPECT_EQ(wide.columnWidthScale, 1.0f);

    // Right width 330: fonts 11 and 8, s = 2, list height 210 / 2, lines 40 / 3 high.
    const GuidanceLayout narrow = guidanceLayout(Rect{0, 0, 495, 300});
    EXPECT_EQ(narrow.x1, 165);
    EXPECT_EQ(narrow.largeFont, 11);
    EXPECT_EQ(narrow.smallFont, 8);
    EXPECT_EQ(narrow.lineHeight, 13);
    EXPECT_EQ(narrow.resultList, (Rect{165, 115, 495, 220}));
    EXPECT_EQ(narrow.columnWidthScale, 24.0f / 11.0f);

    // Offset client rectangle and exactly 730 on the right: still the shrinking branch.
    const GuidanceLayout edge = guidanceLayout(Rect{10, 5, 1105, 905});
    EXPECT_EQ(edge.x1, 375);
    EXPECT_EQ(edge.largeFont, 24);
    EXPECT_EQ(edge.smallFont, 19);
    EXPECT_EQ(edge.lineHeight, 40);
    EXPECT_EQ(edge.resultList, (Rect{375, 270, 1105, 620}));

    // Little height: the list takes the band between y1 and y3, and the lines 40 / 2.
    const GuidanceLayout low = guidanceLayout(Rect{0, 0, 600, 400});
    EXPECT_EQ(low.lineHeight, 20);
    EXPECT_EQ(low.resultList, (Rect{200, 140, 600, 425}));

    // A minimised window must not divide by zero.
    const GuidanceLayout tiny = guidanceLayout(Rect{0, 0, 30, 10});
    EXPECT_GE(tiny.largeFont, 1);
    EXPECT_GE(tiny.smallFont, 1);
}

class GuidanceDrawing : public ::testing::Test {
protected:
    std::vector<DrawCall> ellipses() const { return dc.callsOf(DrawOp::Ellipse); }
    static Rect discAt(int x, int y, int r) { return Rect{x - r, y - r, x + r, y + r}; }

    GuidanceLayout g = guidanceLayout(Rect{0, 0, 1280, 800});
    GuidanceScreen screen;
    RecordingDrawContext dc;
};

TEST_F(GuidanceDrawing, StandStillShowsBothLinesAndTheRedDiscWhichTheNextTickErases) {
    GuidanceFrame f;
    f.phaseBefore = f.phaseNow = PhaseStandStill;
    f.stillCountBefore = 400;
    f.sampleCount = 150;
    f.unit[0] = 0.5;
    f.unit[2] = -0.25;
    screen.drawTick(dc, g, f);
    EXPECT_EQ(dc.texts(), (std::vector<std::string>{std::string(kTextStandStill), std::string(kTextMoveBarbel)}));
    const auto texts = dc.callsOf(DrawOp::Text);
    // Bands of b = 40 above y1 = 215; the lines may run on past the band (250 past the
    // dial) to the view's edge, so the full font never cuts them.
    EXPECT_EQ(texts[0].rect(), (Rect{0, 215 - 125, 1280, 215 - 85}));
    EXPECT_EQ(texts[1].rect(), (Rect{0, 215 - 85, 1280, 215 - 45}));
    EXPECT_EQ(texts[0].state.textColor, kBlue);
    EXPECT_EQ(texts[0].state.font, (Font{"Arial", 24, 700}));
    auto discs = ellipses();
    ASSERT_EQ(discs.size(), 2u) << dc.describe();
    EXPECT_EQ(discs[0].rect(), discAt(213, 422, 170));
    EXPECT_EQ(discs[0].state.brush.color, kBlue);
    EXPECT_EQ(discs[0].state.pen.color, kBlack);
    EXPECT_EQ(discs[1].rect(), discAt(213 + 50, 422 - 25, 170));
    EXPECT_EQ(discs[1].state.brush.color, kRed);
    EXPECT_EQ(discs[1].state.pen.color, kRed);

    // Second tick, still complete before it: no stand-still line; the old red disc goes.
    dc.clear();
    f.stillCountBefore = kStillSamples;
    f.unit[0] = 0.0;
    f.unit[2] = 0.0;
    screen.drawTick(dc, g, f);
    EXPECT_EQ(dc.texts(), std::vector<std::string>{std::string(kTextMoveBarbel)});
    discs = ellipses();
    ASSERT_EQ(discs.size(), 3u) << dc.describe();
    EXPECT_EQ(discs[0].rect(), discAt(263, 397, 170));
    EXPECT_EQ(discs[0].state.brush.color, kWhite);
    EXPECT_EQ(discs[0].state.pen.color, kWhite);
    EXPECT_EQ(discs[2].rect(), discAt(213, 422, 170));

    // Before 101 samples there is no red disc, and none to erase after a reset.
    dc.clear();
    screen.reset();
    f.sampleCount = 100;
    screen.drawTick(dc, g, f);
    EXPECT_EQ(ellipses().size(), 1u);
}

TEST_F(GuidanceDrawing, ReadyShowsTheFourLinesWithTheirBlanksAndAGreenDisc) {
    GuidanceFrame f;
    f.phaseBefore = PhaseStandStill;
    f.phaseNow = PhaseReady;  // the tick that levelled the bar: the dial turns green now
    screen.drawTick(dc, g, f);
    auto fills = dc.callsOf(DrawOp::FillRect);
    EXPECT_EQ(fills.back().rect(), g.dial);
    ASSERT_EQ(ellipses().back().state.brush.color, kGreen);

    dc.clear();
    f.phaseBefore = PhaseReady;
    screen.drawTick(dc, g, f);
    const std::vector<std::string> lines(std::begin(kTextsReady), std::end(kTextsReady));
    EXPECT_EQ(dc.texts(), lines);
    EXPECT_EQ(dc.texts()[3], "MEASURMENT STARTS IN MOMENT OF CHANGING DIRECTION.     ");
    const auto texts = dc.callsOf(DrawOp::Text);
    EXPECT_EQ(texts[0].rect(), (Rect{0, 215 - 165, 1280, 215 - 125}));
    EXPECT_EQ(texts[3].rect(), (Rect{0, 215 - 45, 1280, 215 - 5}));
    fills = dc.callsOf(DrawOp::FillRect);
    EXPECT_EQ(fills.front().rect(), (Rect{0, 215 - 205, 726, 215 - 165})) << "the band above the lines is blanked";
}

TEST_F(GuidanceDrawing, StrokeDialShowsTheSectorOnlyOncePastThePeakInTheStrokesDirection) {
    GuidanceFrame f;
    f.phaseBefore = f.phaseNow = PhaseStroke;
    f.startAngle = 50.0;
    f.peakAngle = 10.0;
    f.direction = -1;
    f.angle = 20.0;  // turning towards negative angles, not yet past the peak
    screen.drawTick(dc, g, f);
    EXPECT_TRUE(dc.callsOf(DrawOp::Pie).empty());
    EXPECT_EQ(ellipses().back().state.brush.color, kGreen);
    EXPECT_TRUE(dc.texts().empty());

    dc.clear();
    f.angle = -30.0;
    screen.drawTick(dc, g, f);
    auto pies = dc.callsOf(DrawOp::Pie);
    ASSERT_EQ(pies.size(), 1u);
    EXPECT_EQ(pies[0].rect(), discAt(213, 422, 170));
    EXPECT_DOUBLE_EQ(pies[0].startDeg, 320.0);  // 50 degrees, 0 straight up
    EXPECT_DOUBLE_EQ(pies[0].sweepDeg, -80.0);
    EXPECT_EQ(pies[0].state.brush.color, kBlue);

    dc.clear();
    f.direction = 1;
    f.startAngle = -50.0;
    f.peakAngle = 0.0;
    f.angle = 0.0;  // exactly at the peak counts as reached
    screen.drawTick(dc, g, f);
    ASSERT_EQ(dc.callsOf(DrawOp::Pie).size(), 1u);
    EXPECT_DOUBLE_EQ(dc.callsOf(DrawOp::Pie)[0].sweepDeg, 50.0);

    dc.clear();
    f.phaseBefore = f.phaseNow = PhaseTail;
    EXPECT_TRUE(screen.drawTick(dc, g, f).empty());
    EXPECT_TRUE(ellipses().empty());
}

}  // namespace
}  // namespace vanta
