// Subject > "History": the chosen subject's indexed tests on screen and on paper, and when
// the command is offered.
#include <stdlib.h>
#include <time.h>

#include <algorithm>

#include "archive/local_index.h"
#include "tests/station/screens/screen_fixture.h"
#include "tests/support/recording_draw_context.h"
#include "tests/support/temp_dir.h"

namespace vanta::testing {
namespace {

bool has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

archive::IndexedTest indexed(const std::string& subject, int day, std::vector<float> rightPowers) {
    archive::IndexedTest t;
    t.subject = subject;
    t.path = "/lab/" + subject + std::to_string(day) + ".kvq";
    t.sha256 = std::string(63, '0') + static_cast<char>('a' + day);
    t.testTime = 1767225600 + day * 86400;  // 2026-01-01 UTC on
    for (float p : rightPowers) {
        archive::IndexedRepetition r;
        r.number = static_cast<int32_t>(t.repetitions.size()) + 1;
        r.direction = 1;
        r.load = 10.0;
        r.velocityPeakIndex = 500;
        r.results[PeakAll][static_cast<int>(ResultColumn::Power)] = p;
        t.repetitions.push_back(r);
    }
    return t;
}

class HistoryScreenTest : public ScreenTest {
protected:
    TempDir data;
    HistoryScreenTest() {
        // The dates are the local ones the station shows.
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        station.paths.subjectLibraryDirectory = data.path().string();
        station.settings.subjectLibraryMode = 1;
        station.test.subject.name = "Ann";
        archive::LocalIndex index;
        EXPECT_TRUE(index.open(data.path().string()));
        // Ann twice (s^2 = 50 each: MDC95 19.6 W, her change of 30 W beyond it), and Anna,
        // whose name holds Ann's.
        EXPECT_TRUE(index.store({indexed("Ann", 2, {130.0f, 140.0f}), indexed("Ann", 0, {100.0f, 110.0f}),
                                 indexed("Anna", 1, {500.0f})}));
    }
};

TEST_F(HistoryScreenTest, OfferedInExtendedModeOnceASubjectIsChosen) {
    const EnableRule rule = findCommand(cmd::kHistory)->rule;
    EXPECT_TRUE(ruleAllows(rule, station));
    station.test.subject.name.clear();
    EXPECT_FALSE(ruleAllows(rule, station));
    station.test.subject.name = "Ann";
    station.settings.subjectLibraryMode = 0;
    EXPECT_FALSE(ruleAllows(rule, station));
}

TEST_F(HistoryScreenTest, ShowsTheSubjectsOwnTestsAndPrintsThem) {
    bars.showBar(kCurveBarTemplate);
    ASSERT_TRUE(run(cmd::kHistory));
    EXPECT_EQ(station.viewMode, kViewHistory);
    EXPECT_EQ(bars.shownTemplate, 0);
    ASSERT_TRUE(screens.history().history());
    EXPECT_EQ(screens.history().history()->tests.size(), 2u);  // not Anna's

    RecordingDrawContext screen(false);
    screens.draw(screen);
    const std::string change = "right 10.00 kg, 2026-01-01 to 2026-01-03: +30.0 W (+28.6 %), beyond error";
    EXPECT_TRUE(has(screen.texts(), change));
    EXPECT_TRUE(has(screen.texts(), "SEM right: 7.1 W, MDC95 19.6 W"));

    const PrintJob job = screens.printJob();
    EXPECT_EQ(job.report.screen, PrintedScreen::History);
    EXPECT_EQ(job.report.header.left, "Name: Ann");
    RecordingDrawContext paper(true);
    printReportPage(paper, job.report, 1, 1);
    EXPECT_EQ(paper.texts()[0], "History report");
    EXPECT_TRUE(has(paper.texts(), change));
    // Everything on the page lies within the 180 mm by 267 mm of A4 with 15 mm margins.
    for (const DrawCall& call : paper.calls())
        for (size_t i = 0; i + 1 < call.numbers.size() && call.op != DrawOp::Pie; i += 2) {
            EXPECT_GE(call.numbers[i], 0) << call.text;
            EXPECT_LE(call.numbers[i], 1800) << call.text;
            EXPECT_LE(call.numbers[i + 1], 0) << call.text;
            EXPECT_GE(call.numbers[i + 1], -2670) << call.text;
        }
}

}  // namespace
}  // namespace vanta::testing
