#include "cli/cli_output.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <memory>
#include <random>

#include "core/analysis.h"
#include "core/demo_test.h"

namespace vanta::cli {
namespace {

TEST(CliOutput, JsonNumbersReadBackAsTheSameFloat) {
    std::mt19937 gen(5);
    std::uniform_int_distribution<uint32_t> bits;
    for (int k = 0; k < 20000; ++k) {
        const float v = std::bit_cast<float>(bits(gen));
        if (!std::isfinite(v)) {
            EXPECT_EQ(jsonNumber(v), "null");
            continue;
        }
        const std::string text = jsonNumber(v);
        EXPECT_EQ(std::strtof(text.c_str(), nullptr), v) << text;
    }
    EXPECT_EQ(jsonNumber(5.0f), "5.0");
    EXPECT_EQ(jsonNumber(-0.5f), "-0.5");
    EXPECT_EQ(jsonNumber(std::numeric_limits<float>::quiet_NaN()), "null");
}

TEST(CliOutput, TextsAreEscapedForJsonAndCsv) {
    EXPECT_EQ(jsonString("Anna \"A\" \\ \n\x01 M\xC3\xBCller"), "\"Anna \\\"A\\\" \\\\ \\n\\u0001 M\xC3\xBCller\"");
    EXPECT_EQ(csvField("plain"), "plain");
    EXPECT_EQ(csvField("Doe, \"J\""), "\"Doe, \"\"J\"\"\"");
}

class AnalysedDemo : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        test_ = std::make_unique<TestRecord>();
        fillDemoTest(*test_, {2, 0, 21});
        for (int r = 0; r < 2; ++r) analyseRepetition(*test_, r);
    }
    std::unique_ptr<TestRecord> test_;
};

TEST_F(AnalysedDemo, TextShowsTheReportRows) {
    const std::string text = analysisText(*test_);
    EXPECT_NE(text.find("Name: Demo Subject"), std::string::npos);
    EXPECT_NE(text.find("Date: " + localDateTime(test_->testTime)), std::string::npos);
    EXPECT_NE(text.find("Repetition No(#) 2"), std::string::npos);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%4.1f", double(test_->results[1].at(PeakAll, ResultColumn::Velocity)));
    const size_t row = text.find("v peak (deg/s)", text.find("Repetition No(#) 2"));
    ASSERT_NE(row, std::string::npos);
    const std::string line = text.substr(row, text.find('\n', row) - row);
    EXPECT_EQ(line.substr(line.size() - std::string(expected).size()), expected) << line;
    EXPECT_NE(text.find("torque mean (N.m)"), std::string::npos);
}

TEST_F(AnalysedDemo, JsonCarriesEveryRepetitionAndResult) {
    const std::string json = analysisJson(*test_);
    EXPECT_EQ(json.front(), '{');
    EXPECT_NE(json.find("\"repetitionCount\": 2"), std::string::npos);
    EXPECT_NE(json.find("\"velocityPeakIndex\": " + std::to_string(analyseRepetition(*test_, 1))), std::string::npos);
    std::string peakAll = "\"PeakAll\": [";
    for (int c = 0; c < kResultColumnCount; ++c) peakAll += (c ? ", " : "") + jsonNumber(test_->results[0].value[PeakAll][c]);
    EXPECT_NE(json.find(peakAll + "]"), std::string::npos) << json;
}

TEST_F(AnalysedDemo, SeriesAndSummaryRows) {
    const std::string csv = seriesCsv(*test_, 0);
    size_t lines = 0;
    for (char c : csv) lines += c == '\n';
    EXPECT_EQ(lines, static_cast<size_t>(test_->repetitions[0].sampleCount) + 1);
    EXPECT_EQ(csv.find("100,"), csv.find("\n100,") + 1);
    const std::string summary = summaryRows(*test_, "a, b.kvq", studyColumnsOf(*test_));
    EXPECT_EQ(summary.rfind("\"a, b.kvq\",Demo Subject,2025-12-06T05:47:01Z,1,5,25,", 0), 0u) << summary;
    size_t fields = 1;
    for (char c : summaryHeader()) fields += c == ',';
    size_t rowFields = 1;
    const std::string first = summary.substr(summary.find('"', 1) + 1, summary.find('\n') - summary.find('"', 1) - 1);
    for (char c : first) rowFields += c == ',';
    EXPECT_EQ(rowFields, fields);
}

TEST(CliOutput, TimesInLocalTimeAndIso) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(localDateTime(1765000000), "06.12.2025 05:46:40");
    EXPECT_EQ(isoTime(1765000000), "2025-12-06T05:46:40Z");
    EXPECT_EQ(isoTime(-1), "1969-12-31T23:59:59Z");
    // West of Greenwich by a part of an hour: the sign and the minutes of the offset.
    setenv("TZ", "NST3:30", 1);
    tzset();
    EXPECT_EQ(isoLocalTime(1765000000), "2025-12-06T02:16:40-03:30");
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(isoLocalTime(1765000000), "2025-12-06T05:46:40+00:00");
}

}  // namespace
}  // namespace vanta::cli
