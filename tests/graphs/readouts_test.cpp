#include "graphs/readouts.h"

#include <gtest/gtest.h>

#include "tests/support/recording_draw_context.h"
#include "graph_test_support.h"
#include "graphs/graph_layout.h"

namespace vanta {
namespace {

TEST(Readouts, ElevenTextsInTheirCellsAndColours) {
    GraphTest g(1000);
    g.view.cursorLeft = 200;
    g.view.cursorRight = 201;
    g.set(0, 200, 12.3f);
    g.set(0, 201, 12.39f);  // mean 12.345: one decimal, two leading blanks
    g.set(3, 200, -4.0f);
    g.set(3, 201, 1234.56f);

    RecordingDrawContext dc;
    dc.selectFont(Font{"Courier", 20, 700});
    dc.setTextColor(kGreen);
    drawReadouts(dc, kReadoutRect, *g.test, g.view);

    // The outline first (with whatever pen and brush the view selected), then the texts.
    ASSERT_EQ(dc.callsOf(DrawOp::Rectangle).size(), 1u);
    EXPECT_EQ(dc.callsOf(DrawOp::Rectangle)[0].rect(), kReadoutRect);
    const std::vector<DrawCall> texts = dc.callsOf(DrawOp::Text);
    ASSERT_EQ(texts.size(), 11u) << dc.describe();
    const std::vector<std::string> expected = {
        "XL: 200", "XR: 201", "diff X: 1",
        "left Y1:  12.3", "int Y1:    0.0", "avr Y1:   12.3", "right Y1:  12.4",
        "left Y2:   -4.0", "int Y2:    1.2", "avr Y2:  615.3", "right Y2: 1234.6",
    };
    // Rows 40-66, 66-92, 92-118; columns 10-192, 192-374, 374-556, 556-740.
    const std::vector<Rect> cells = {
        {10, 40, 192, 66}, {556, 40, 740, 66}, {192, 40, 556, 66},
        {10, 66, 192, 92}, {192, 66, 374, 92}, {374, 66, 556, 92}, {556, 66, 740, 92},
        {10, 92, 192, 118}, {192, 92, 374, 118}, {374, 92, 556, 118}, {556, 92, 740, 118},
    };
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(texts[i].text, expected[i]) << i;
        EXPECT_EQ(texts[i].rect(), cells[i]) << i;
        EXPECT_EQ(texts[i].align, TextAlign::Center);
        EXPECT_EQ(texts[i].state.font, (Font{"Arial", 12, 400}));
        EXPECT_EQ(texts[i].state.textColor, i < 3 ? kBlack : (i < 7 ? kBlue : kRed)) << i;
    }
    EXPECT_EQ(dc.font(), (Font{"Courier", 20, 700}));
    EXPECT_EQ(dc.textColor(), kGreen);

    // On paper: no outline, 3 mm text, rows 8 mm high below the top of the given rectangle.
    RecordingDrawContext paper(/*printing=*/true);
    drawReadouts(paper, kPaperReadoutRect, *g.test, g.view);
    EXPECT_TRUE(paper.callsOf(DrawOp::Rectangle).empty());
    const std::vector<DrawCall> printed = paper.callsOf(DrawOp::Text);
    ASSERT_EQ(printed.size(), 11u);
    EXPECT_EQ(printed[0].rect(), (Rect{0, -320, 450, -400}));
    EXPECT_EQ(printed[10].rect(), (Rect{1350, -480, 1800, -560}));
    EXPECT_EQ(printed[10].state.font.height, 30);
}

// The sums are kept in float32, as the station has always summed: once the sum reaches
// 2^24 an added 1 is lost. A double sum would read 16778.2.
TEST(Readouts, SumsRoundToFloat32AtEveryStep) {
    GraphTest g(1500);
    g.view.cursorLeft = 100;
    g.view.cursorRight = 1099;
    g.set(0, 100, 16777216.0f);
    for (int i = 101; i <= 1099; ++i) g.set(0, i, 1.0f);
    const auto texts = readoutTexts(*g.test, g.view);
    EXPECT_EQ(texts[4], "int Y1: 16777.2");
    EXPECT_EQ(texts[5], "avr Y1: 16777.2");
}

// A repetition too short for a stroke leaves XR before XL: there is no mean, and no
// division by a count of zero or less.
TEST(Readouts, NoMeanWhereTheCursorsEncloseNothing) {
    for (int n : {200, 249, 250}) {
        GraphTest g(n);
        const auto texts = readoutTexts(*g.test, g.view);
        EXPECT_EQ(texts[2], "diff X: " + std::to_string(n - 250));
        EXPECT_EQ(texts[4], "int Y1:    0.0");
        EXPECT_EQ(texts[5], "avr Y1:      -") << n;
        EXPECT_EQ(texts[9], "avr Y2:      -") << n;
    }
}

}  // namespace
}  // namespace vanta
