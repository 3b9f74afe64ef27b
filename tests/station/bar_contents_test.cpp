// What the dialog bars' lists offer and how a typed number is read.
#include "station/bar_contents.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace vanta {
namespace {

class BarContents : public ::testing::Test {
protected:
    void SetUp() override { std::setlocale(LC_NUMERIC, "C"); }
};

struct LoadCase {
    float load;
    int selected;
    const char* first;
    const char* last;
    const char* around;  // entries selected-1, selected, selected+1
};

TEST_F(BarContents, TheLoadListHasThirtyOneAscendingEntriesWithTheLoadSelected) {
    const LoadCase cases[] = {
        {5.0f, 4, " 1.00", "31.00", " 4.00| 5.00| 6.00"},      // one of the list
        {7.5f, 7, " 1.00", "30.00", " 7.00| 7.50| 8.00"},      // between two
        {45.0f, 30, " 1.00", "45.00", "30.00|45.00|"},          // above the list
        {0.5f, 0, " 0.50", "30.00", "| 0.50| 1.00"},            // below the list
        {30.0f, 29, " 1.00", "31.00", "29.00|30.00|31.00"},    // the last of the list
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.load);
        const ListContents list = loadListContents(c.load);
        ASSERT_EQ(list.entries.size(), 31u);
        EXPECT_EQ(list.selected, c.selected);
        EXPECT_EQ(list.entries.front(), c.first);
        EXPECT_EQ(list.entries.back(), c.last);
        std::string near;
        for (int i = c.selected - 1; i <= c.selected + 1; ++i) {
            if (i != c.selected - 1) near += "|";
            if (i >= 0 && i < 31) near += list.entries[static_cast<size_t>(i)];
        }
        EXPECT_EQ(near, c.around);
        for (size_t i = 1; i < list.entries.size(); ++i)
            EXPECT_LT(std::stod(list.entries[i - 1]), std::stod(list.entries[i])) << i;
    }
}

TEST_F(BarContents, TypedNumbersAreReadByTheCLibrarysRule) {
    EXPECT_EQ(barTextToNumber("12.5"), 12.5f);
    EXPECT_EQ(barTextToNumber("  7.25"), 7.25f);
    EXPECT_EQ(barTextToNumber("20kg"), 20.0f);
    // A decimal comma is read as the decimal separator; the conversion stops at a second.
    EXPECT_EQ(barTextToNumber("12,5"), 12.5f);
    EXPECT_EQ(barTextToNumber("1,5,7"), 1.5f);
    EXPECT_EQ(barTextToNumber("abc"), 0.0f);
    EXPECT_EQ(barTextToNumber(""), 0.0f);
    EXPECT_EQ(barTextToNumber("-3"), -3.0f);
}

TEST_F(BarContents, RepetitionLists) {
    EXPECT_TRUE(reportRepetitionContents(0).entries.empty());
    EXPECT_EQ(reportRepetitionContents(0).selected, -1);
    const ListContents hundred = curveRepetitionContents(100);
    ASSERT_EQ(hundred.entries.size(), 100u);
    EXPECT_EQ(hundred.entries[0], "Rep No.  1");
    EXPECT_EQ(hundred.entries[99], "Rep No. 100");
    EXPECT_EQ(hundred.selected, 0);
    EXPECT_EQ(reportRepetitionContents(12).entries[11], "Repetition No(#) 12");
}

}  // namespace
}  // namespace vanta
