#include "reports/page_header.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "tests/support/recording_draw_context.h"

namespace vanta {
namespace {

// 2023-11-14 22:13:20 UTC.
constexpr int32_t kTestTime = 1700000000;

class PageHeader : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        test = std::make_unique<TestRecord>();
        test->subject.name = "Jan Novak";
        test->testTime = kTestTime;
        test->repetitions[0].loadMass = 5.0f;
        test->repetitions[1].loadMass = 12.5f;
        test->repetitionCount = 2;
    }
    void TearDown() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    std::unique_ptr<TestRecord> test;
};

TEST_F(PageHeader, FormatTimeConvertsToLocalTime) {
    EXPECT_EQ(formatTime(kTestTime, "%d.%m.%Y"), "14.11.2023");
    EXPECT_EQ(formatTime(kTestTime, "%H:%M:%S"), "22:13:20");
    EXPECT_EQ(formatTime(0, "%d.%m.%Y %H:%M:%S"), "01.01.1970 00:00:00");
    // Local time, not UTC: one hour east of Greenwich it is already the next hour.
    setenv("TZ", "XYZ-1", 1);
    tzset();
    EXPECT_EQ(formatTime(kTestTime, "%H:%M:%S"), "23:13:20");
    EXPECT_EQ(formatTime(kTestTime + 7200, "%d.%m.%Y"), "15.11.2023");
}

TEST_F(PageHeader, FormatTimeGivesEmptyTextWhenItCannotConvertOrFit) {
    // A year beyond what the calendar conversion can hold.
    EXPECT_EQ(formatTime(INT64_MAX, "%d.%m.%Y"), "");
    // 127 characters fit, 128 do not.
    EXPECT_EQ(formatTime(kTestTime, std::string(127, 'x').c_str()).size(), 127u);
    EXPECT_EQ(formatTime(kTestTime, std::string(128, 'x').c_str()), "");
    EXPECT_EQ(formatTime(kTestTime, nullptr), "");
}

TEST_F(PageHeader, TextsShowNameDateTimeLoadAndRepetitionNumber) {
    PageHeaderTexts t = pageHeaderTexts(*test, 0);
    EXPECT_EQ(t.left, "Name: Jan Novak");
    EXPECT_EQ(t.right, "Date: 14.11.2023  at  22:13:20    Weight:  5.00 No: 1");

    // The load is that of the repetition the view is on, whatever else is recorded.
    t = pageHeaderTexts(*test, 1);
    EXPECT_EQ(t.right, "Date: 14.11.2023  at  22:13:20    Weight: 12.50 No: 2");
    test->repetitions[99].loadMass = 123.456f;
    EXPECT_EQ(pageHeaderTexts(*test, 99).right, "Date: 14.11.2023  at  22:13:20    Weight: 123.46 No:100");
}

TEST_F(PageHeader, IndexOutsideTheRecordShowsNoLoadInsteadOfReadingPastIt) {
    EXPECT_EQ(pageHeaderTexts(*test, 100).right, "Date: 14.11.2023  at  22:13:20    Weight:  0.00 No:101");
    EXPECT_EQ(pageHeaderTexts(*test, -1).right, "Date: 14.11.2023  at  22:13:20    Weight:  0.00 No: 0");
    EXPECT_NE(pageHeaderTexts(*test, INT_MAX).right.find("No:2147483648"), std::string::npos);
}

TEST_F(PageHeader, UnconvertibleTimeLeavesEmptyDateAndTimeAroundAt) {
    EXPECT_EQ(pageHeaderTexts("A", INT64_MAX, 5.0, 0).right, "Date:   at      Weight:  5.00 No: 1");
    EXPECT_EQ(pageHeaderTexts("A", INT64_MAX, 5.0, 0).left, "Name: A");
}

TEST_F(PageHeader, ScreenBandIsOutlinedAndSplitAtItsMiddle) {
    RecordingDrawContext dc(false);
    const Font viewFont{"Arial", 16, 400};
    dc.selectFont(viewFont);
    dc.clear();
    drawPageHeader(dc, 10, 5, 740, 30, *test, 0);

    const auto& calls = dc.calls();
    ASSERT_EQ(calls.size(), 5u) << dc.describe();
    // The band first, with whatever pen and brush the view has selected.
    EXPECT_EQ(calls[0].op, DrawOp::Rectangle);
    EXPECT_EQ(calls[0].rect(), (Rect{10, 5, 740, 30}));
    EXPECT_EQ(calls[0].state.pen, Pen{});
    EXPECT_EQ(calls[0].state.brush, Brush{});
    EXPECT_EQ(calls[1].op, DrawOp::SelectFont);

    // Name in x 20..375, elided with "…" when longer, so a gap of 10 pixels stays before
    // the date line in 385..740; both in y 9..28.
    EXPECT_EQ(calls[2].op, DrawOp::Text);
    EXPECT_EQ(calls[2].text, "Name: Jan Novak");
    EXPECT_EQ(calls[2].rect(), (Rect{20, 9, 375, 28}));
    EXPECT_TRUE(calls[2].elided);
    EXPECT_FALSE(calls[3].elided);
    EXPECT_EQ(calls[3].text, "Date: 14.11.2023  at  22:13:20    Weight:  5.00 No: 1");
    EXPECT_EQ(calls[3].rect(), (Rect{385, 9, 740, 28}));
    for (int i : {2, 3}) {
        EXPECT_EQ(calls[i].align, TextAlign::Left);
        EXPECT_EQ(calls[i].state.font, (Font{"Arial", 12, 400}));
        EXPECT_EQ(calls[i].state.textColor, kBlack);
    }
    // The view's font is back afterwards.
    EXPECT_EQ(calls[4].op, DrawOp::SelectFont);
    EXPECT_EQ(dc.font(), viewFont);
}

TEST_F(PageHeader, PaperBandUsesPageUnitsWithYUp) {
    RecordingDrawContext dc(true);
    drawPageHeader(dc, 0, -160, 1800, -300, *test, 1);

    const auto rects = dc.callsOf(DrawOp::Rectangle);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].rect(), (Rect{0, -160, 1800, -300}));
    const auto texts = dc.callsOf(DrawOp::Text);
    ASSERT_EQ(texts.size(), 2u) << dc.describe();
    // Name in x 30..900 (elided, 3 mm before the date), the date line in 930..1800; 20
    // units below the band's top.
    EXPECT_EQ(texts[0].rect(), (Rect{30, -180, 900, -300}));
    EXPECT_TRUE(texts[0].elided);
    EXPECT_EQ(texts[1].rect(), (Rect{930, -180, 1800, -300}));
    EXPECT_EQ(texts[1].text, "Date: 14.11.2023  at  22:13:20    Weight: 12.50 No: 2");
    EXPECT_EQ(texts[0].state.font, (Font{"Arial", 30, 400}));
    EXPECT_EQ(dc.font(), Font{});
}

TEST_F(PageHeader, MiddleUsesIntegerDivisionOfTheWidth) {
    RecordingDrawContext dc(false);
    drawPageHeader(dc, 0, 0, 101, 30, *test, 0);
    const auto texts = dc.callsOf(DrawOp::Text);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rect().right, 50);  // 0 + 101 / 2 = 50
    EXPECT_EQ(texts[1].rect().left, 60);
}

}  // namespace
}  // namespace vanta
