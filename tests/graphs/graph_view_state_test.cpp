#include "graphs/graph_view_state.h"

#include <gtest/gtest.h>

#include "graph_test_support.h"

namespace vanta {
namespace {

TEST(GraphViewState, CursorButtonsStayInsideTheWindowAndApart) {
    GraphTest g(1150);  // window 100..1000
    GraphViewState& v = g.view;
    // At the window's ends the outward steps do nothing.
    EXPECT_FALSE(moveCursor(v, CursorButton::LeftBack));
    EXPECT_FALSE(moveCursor(v, CursorButton::RightForward));
    EXPECT_EQ(v.cursorLeft, 100);
    EXPECT_EQ(v.cursorRight, 1000);
    EXPECT_TRUE(moveCursor(v, CursorButton::RightBack));
    EXPECT_TRUE(moveCursor(v, CursorButton::LeftForward));
    EXPECT_EQ(v.cursorLeft, 101);
    EXPECT_EQ(v.cursorRight, 999);
    EXPECT_TRUE(moveCursor(v, CursorButton::LeftBack));
    EXPECT_TRUE(moveCursor(v, CursorButton::RightForward));
    EXPECT_EQ(v.cursorLeft, 100);
    EXPECT_EQ(v.cursorRight, 1000);

    // One sample apart, neither cursor can step towards the other.
    v.cursorLeft = 500;
    v.cursorRight = 501;
    EXPECT_FALSE(moveCursor(v, CursorButton::LeftForward));
    EXPECT_FALSE(moveCursor(v, CursorButton::RightBack));
    EXPECT_EQ(v.cursorLeft, 500);
    EXPECT_EQ(v.cursorRight, 501);

    // A repetition too short for a stroke (N = 200: window 100..50) does not move at all.
    GraphTest shortRep(200);
    GraphViewState before = shortRep.view;
    for (CursorButton b : {CursorButton::LeftBack, CursorButton::LeftForward, CursorButton::RightBack,
                           CursorButton::RightForward})
        EXPECT_FALSE(moveCursor(shortRep.view, b));
    EXPECT_EQ(shortRep.view.cursorLeft, before.cursorLeft);
    EXPECT_EQ(shortRep.view.cursorRight, before.cursorRight);
}

TEST(GraphViewState, ClicksSetTheCursorUnderThePointer) {
    GraphTest g(1510);  // window 100..1360: two samples per pixel of the 630-pixel plot
    GraphViewState& v = g.view;
    v.xScale = 0.5;  // as the latest drawing into the screen's plot leaves it
    v.cursorLeft = 400;
    v.cursorRight = 700;

    // The left edge is inside: sample windowStart. The right and bottom edges are outside.
    EXPECT_EQ(sampleAtPointer(v, 60, 280), 100);
    EXPECT_EQ(sampleAtPointer(v, 689, 539), 1358);
    EXPECT_EQ(sampleAtPointer(v, 690, 400), std::nullopt);
    EXPECT_EQ(sampleAtPointer(v, 300, 540), std::nullopt);
    EXPECT_EQ(sampleAtPointer(v, 59, 400), std::nullopt);
    EXPECT_EQ(sampleAtPointer(v, 300, 279), std::nullopt);

    EXPECT_TRUE(clickCursor(v, PointerButton::Left, 60, 400));
    EXPECT_EQ(v.cursorLeft, 100);
    EXPECT_FALSE(clickCursor(v, PointerButton::Left, 60, 400));  // already there

    // The left button at XR (x 360 is sample 700) or to its right, the right button at XL
    // or to its left: nothing.
    EXPECT_FALSE(clickCursor(v, PointerButton::Left, 360, 400));
    EXPECT_FALSE(clickCursor(v, PointerButton::Left, 689, 400));
    EXPECT_TRUE(clickCursor(v, PointerButton::Left, 359, 400));
    EXPECT_EQ(v.cursorLeft, 698);
    EXPECT_FALSE(clickCursor(v, PointerButton::Right, 359, 400));
    EXPECT_FALSE(clickCursor(v, PointerButton::Right, 60, 400));
    EXPECT_EQ(v.cursorLeft, 698);
    EXPECT_EQ(v.cursorRight, 700);
    EXPECT_TRUE(clickCursor(v, PointerButton::Right, 689, 400));
    EXPECT_EQ(v.cursorRight, 1358);
    EXPECT_FALSE(clickCursor(v, PointerButton::Right, 690, 400));
    EXPECT_EQ(v.cursorRight, 1358);

    // A scale left by a wider window (the graph not drawn since a zoom) still picks a
    // sample inside the window.
    v.cursorLeft = 200;
    v.cursorRight = 300;
    zoomToCursors(v);
    EXPECT_EQ(sampleAtPointer(v, 689, 400), 299);

    // Not drawn yet, or a reversed window with its negative scale: no sample anywhere.
    GraphTest fresh(1150);
    EXPECT_FALSE(clickCursor(fresh.view, PointerButton::Left, 300, 400));
    GraphTest shortRep(200);
    shortRep.view.xScale = 630.0 / -50.0;
    EXPECT_FALSE(clickCursor(shortRep.view, PointerButton::Left, 300, 400));
    EXPECT_FALSE(clickCursor(shortRep.view, PointerButton::Right, 300, 400));
    EXPECT_EQ(shortRep.view.cursorLeft, 100);
    EXPECT_EQ(shortRep.view.cursorRight, 50);
}

}  // namespace
}  // namespace vanta
