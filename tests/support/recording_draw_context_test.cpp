#include "tests/support/recording_draw_context.h"

#include <gtest/gtest.h>

#include <vector>

namespace vanta {
namespace {

TEST(RecordingDrawContext, KeepsEveryDrawingCallWithItsNumbersAndSelection) {
    RecordingDrawContext dc(/*printing=*/true);
    EXPECT_TRUE(dc.isPrinting());
    EXPECT_FALSE(RecordingDrawContext().isPrinting());

    dc.selectPen(Pen{kRed, 3, PenStyle::Dash});
    dc.line(0, -10, 1800, -10);
    const std::vector<Point> frame{{200, -750}, {200, -1350}, {1600, -1350}, {1600, -750}};
    dc.polyline(frame);
    dc.selectBrush(Brush{kGreen, BrushStyle::Solid});
    dc.ellipse(Rect{10, 20, 110, 120});
    dc.pie(Rect{10, 20, 110, 120}, 270.0, -45.5);
    dc.fillRect(Rect{1, 2, 3, 4}, Brush{kBlue, BrushStyle::Solid});
    dc.setTextColor(kBlue);
    dc.selectFont(Font{"Arial", 25, 700});
    dc.text(Rect{100, 0, 1000, -80}, "DIGITAL REPORT", TextAlign::Right);

    const auto& calls = dc.calls();
    ASSERT_EQ(calls.size(), 10u) << dc.describe();
    EXPECT_EQ(calls[1].op, DrawOp::Line);
    EXPECT_EQ(calls[1].numbers, (std::vector<int>{0, -10, 1800, -10}));
    EXPECT_EQ(calls[1].state.pen, (Pen{kRed, 3, PenStyle::Dash}));
    EXPECT_EQ(calls[2].numbers, (std::vector<int>{200, -750, 200, -1350, 1600, -1350, 1600, -750}));
    EXPECT_EQ(calls[4].rect(), (Rect{10, 20, 110, 120}));
    EXPECT_EQ(calls[4].state.brush.color, kGreen);
    EXPECT_EQ(calls[5].op, DrawOp::Pie);
    EXPECT_DOUBLE_EQ(calls[5].startDeg, 270.0);
    EXPECT_DOUBLE_EQ(calls[5].sweepDeg, -45.5);
    // fillRect keeps the brush it was given apart from the selected one.
    EXPECT_EQ(calls[6].fill.color, kBlue);
    EXPECT_EQ(calls[6].state.brush.color, kGreen);

    const DrawCall& text = calls[9];
    EXPECT_EQ(text.op, DrawOp::Text);
    EXPECT_EQ(text.text, "DIGITAL REPORT");
    EXPECT_EQ(text.align, TextAlign::Right);
    EXPECT_EQ(text.rect(), (Rect{100, 0, 1000, -80}));
    EXPECT_EQ(text.state.font, (Font{"Arial", 25, 700}));
    EXPECT_EQ(text.state.textColor, kBlue);

    EXPECT_EQ(dc.texts(), std::vector<std::string>{"DIGITAL REPORT"});
    EXPECT_EQ(dc.callsOf(DrawOp::SelectPen).size(), 1u);
}

TEST(RecordingDrawContext, SelectingHandsBackThePreviousSelection) {
    RecordingDrawContext dc;
    // What a context starts with: black pen one unit wide, white brush, black text.
    EXPECT_EQ(dc.pen(), (Pen{kBlack, 1, PenStyle::Solid}));
    EXPECT_EQ(dc.brush(), (Brush{kWhite, BrushStyle::Solid}));
    EXPECT_EQ(dc.textColor(), kBlack);

    const Font first{"Arial", 16, 400};
    dc.selectFont(first);
    const Font previous = dc.selectFont(Font{"Arial", 30, 700});
    EXPECT_EQ(previous, first);
    EXPECT_EQ(dc.selectPen(Pen{kBlue, 1, PenStyle::Solid}), (Pen{kBlack, 1, PenStyle::Solid}));
    EXPECT_EQ(dc.setTextColor(kRed), kBlack);
    EXPECT_EQ(dc.selectBrush(Brush{kBlack, BrushStyle::None}), (Brush{kWhite, BrushStyle::Solid}));
}

TEST(RecordingDrawContext, RestoreBringsBackTheLatestSavedSelection) {
    RecordingDrawContext dc;
    dc.selectPen(Pen{kRed, 2, PenStyle::Solid});
    dc.save();
    dc.selectPen(Pen{kBlue, 1, PenStyle::Solid});
    dc.setTextColor(kBlue);
    dc.save();
    dc.selectFont(Font{"Arial", 40, 700});
    dc.restore();
    EXPECT_EQ(dc.font(), Font{});
    EXPECT_EQ(dc.pen().color, kBlue);
    dc.restore();
    EXPECT_EQ(dc.pen(), (Pen{kRed, 2, PenStyle::Solid}));
    EXPECT_EQ(dc.textColor(), kBlack);

    // One restore too many keeps the selection instead of reading past the stack.
    dc.restore();
    EXPECT_EQ(dc.pen(), (Pen{kRed, 2, PenStyle::Solid}));
    EXPECT_EQ(dc.callsOf(DrawOp::Restore).size(), 3u);
}

}  // namespace
}  // namespace vanta
