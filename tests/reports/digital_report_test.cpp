#include "reports/digital_report.h"

#include <gtest/gtest.h>

#include "reports/report_layout.h"
#include "tests/reports/decimal_comma_locale.h"

namespace vanta {
namespace {

using Rows = std::vector<ReportRow>;

TEST(DigitalReport, EmptyTestShowsTenRowsOfZeros) {
    // What a file without repetitions shows: the results held at index 0, all zero.
    const Rows expected = {
        {"F mean (N)", " 0.0", " 0.0", " 0.0"},
        {"P mean (W)", " 0.0", " 0.0", " 0.0"},
        {"v mean (deg/s)", " 0.0", " 0.0", " 0.0"},
        {"s (deg)", " 0.0", " 0.0", " 0.0"},
        {"torque mean (N.m)", " 0.0", " 0.0", " 0.0"},
        {"  ", "", "", ""},
        {"F peak (N)", " 0.0", "", ""},
        {"P peak (W)", " 0.0", "", ""},
        {"v peak (deg/s)", " 0.0", "", ""},
        {"torque peak (N.m)", " 0.0", "", ""},
    };
    EXPECT_EQ(digitalReportRows(RepetitionResults{}), expected);
}

TEST(DigitalReport, EveryCellReadsItsOwnResult) {
    // Each result a different number: row r, column c holds r * 10 + c + 0.5. A swapped
    // phase column, a peak row taken from a mean row or a shifted quantity shows up here.
    RepetitionResults results;
    for (int r = 0; r < kResultRowCount; ++r)
        for (int c = 0; c < kResultColumnCount; ++c) results.value[r][c] = static_cast<float>(r * 10 + c) + 0.5f;
    const Rows expected = {
        {"F mean (N)", "30.5", "40.5", "50.5"},
        {"P mean (W)", "31.5", "41.5", "51.5"},
        {"v mean (deg/s)", "32.5", "42.5", "52.5"},
        {"s (deg)", "33.5", "43.5", "53.5"},
        {"torque mean (N.m)", "34.5", "44.5", "54.5"},
        {"  ", "", "", ""},
        {"F peak (N)", " 0.5", "", ""},
        {"P peak (W)", " 1.5", "", ""},
        {"v peak (deg/s)", " 2.5", "", ""},
        {"torque peak (N.m)", " 4.5", "", ""},
    };
    EXPECT_EQ(digitalReportRows(results), expected);
}

TEST(DigitalReport, DecimalCommaWhereTheUserHasOne) {
    test::DecimalCommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma could be made here";
    RepetitionResults results;
    results.at(MeanAcceleration, ResultColumn::Force) = -12.25f;
    results.at(PeakAll, ResultColumn::Power) = 1500.5f;
    const Rows rows = digitalReportRows(results);
    EXPECT_EQ(rows[0][2], "-12,2");
    EXPECT_EQ(rows[0][1], " 0,0");
    EXPECT_EQ(rows[7][1], "1500,5");
}

// On screen a value that rounds to zero has no minus sign; real negatives keep theirs.
TEST(DigitalReport, ShownNumbersDropTheSignOfZero) {
    EXPECT_EQ(shownNumber(formatReportValue(-0.04f)), formatReportValue(0.0f));
    EXPECT_EQ(shownNumber("-0,0"), " 0,0");
    EXPECT_EQ(shownNumber("-0.5"), "-0.5");
    EXPECT_EQ(shownNumber("-10.0"), "-10.0");
    EXPECT_EQ(shownNumber("  "), "  ");
    EXPECT_EQ(shownNumber("v mean (deg/s)"), "v mean (deg/s)");
}

TEST(ReportLayout, ColumnWidthsFollowTheScaleTruncated) {
    auto widths = [](float scale) {
        std::vector<int> w;
        for (const ReportColumnLayout& c : digitalLayout.columns) w.push_back(screenColumnWidth(c.screenWidth, scale));
        return w;
    };
    EXPECT_EQ(widths(1.0f), (std::vector<int>{220, 120, 200, 190}));
    EXPECT_EQ(widths(2.0f), (std::vector<int>{110, 60, 100, 95}));
    // The live screen's 24 / 14 for a 14-pixel font: 128.3, 70.0, 116.7 and 110.8 are cut,
    // not rounded.
    EXPECT_EQ(widths(24.0f / 14.0f), (std::vector<int>{128, 70, 116, 110}));
    // A scale that was never set sensibly does not give undefined widths.
    EXPECT_EQ(widths(0.0f), widths(1.0f));
    EXPECT_EQ(widths(-2.0f), widths(1.0f));
}

}  // namespace
}  // namespace vanta
