// Report > "Profile": the profile of the test in memory on screen and on paper, and
// Setup > "Swap left and right".
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cmath>

#include "archive/local_index.h"
#include "core/analysis.h"
#include "core/demo_test.h"
#include "station/command_router.h"
#include "storage/test_file.h"
#include "tests/station/screens/screen_fixture.h"
#include "tests/support/recording_draw_context.h"
#include "tests/support/temp_dir.h"

namespace vanta::testing {
namespace {

bool has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class ProfileScreenTest : public ScreenTest {
protected:
    ProfileScreenTest() {
        station.lastFilePath = "/data/ann.kvq";
        // Left (direction -1) 400 W at 10 kg, right 300 W at 10 kg.
        station.test.repetitionCount = 2;
        for (int r = 0; r < 2; ++r) {
            station.test.repetitions[r].direction = r == 0 ? -1 : 1;
            station.test.repetitions[r].loadMass = 10.0f;
            station.test.results[r].velocityPeakIndex = 500;
            station.test.results[r].at(PeakAll, ResultColumn::Power) = r == 0 ? 400.0f : 300.0f;
        }
        station.resultsAvailable = 1;
    }

    std::vector<std::string> screenTexts() {
        RecordingDrawContext screen(false);
        screens.draw(screen);
        return screen.texts();
    }
};

TEST_F(ProfileScreenTest, ShowsTheProfileSwapsTheSidesAndPrintsItOnOnePage) {
    bars.showBar(kCurveBarTemplate);
    ASSERT_TRUE(run(cmd::kProfile));
    EXPECT_EQ(station.viewMode, kViewProfile);
    // Without an index the box offers the test in memory alone.
    EXPECT_EQ(bars.shownTemplate, kProfileBarTemplate);
    EXPECT_EQ(bars.lists[cmd::kProfileTestsBox], std::vector<std::string>{"This test"});
    std::vector<std::string> texts = screenTexts();
    EXPECT_TRUE(has(texts, "Asymmetry at 10.00 kg: left stronger by 25.0 %"));
    EXPECT_TRUE(has(texts, "ann.kvq"));

    run(cmd::kSwapSides);
    EXPECT_EQ(station.settings.sidesSwapped, 1);
    EXPECT_EQ(station.viewMode, kViewProfile);
    texts = screenTexts();
    EXPECT_TRUE(has(texts, "Asymmetry at 10.00 kg: right stronger by 25.0 %"));

    const PrintJob job = screens.printJob();
    EXPECT_EQ(job.report.screen, PrintedScreen::Profile);
    ASSERT_EQ(printedPageCount(job.report), 1);
    RecordingDrawContext paper(true);
    printReportPage(paper, job.report, 1, 1);
    const std::vector<std::string> printed = paper.texts();
    EXPECT_EQ(printed[0], "Profile report");
    EXPECT_TRUE(has(printed, "Asymmetry at 10.00 kg: right stronger by 25.0 %"));
    EXPECT_TRUE(has(printed, "400.0"));
    // Everything on the page lies within the 180 mm by 267 mm of A4 with 15 mm margins.
    for (const DrawCall& call : paper.calls())
        for (size_t i = 0; i + 1 < call.numbers.size() && call.op != DrawOp::Pie; i += 2) {
            EXPECT_GE(call.numbers[i], 0) << call.text;
            EXPECT_LE(call.numbers[i], 1800) << call.text;
            EXPECT_LE(call.numbers[i + 1], 0) << call.text;
            EXPECT_GE(call.numbers[i + 1], -2670) << call.text;
        }
}

TEST_F(ProfileScreenTest, OnlyWithResultsAndADamagedLoadIsRefused) {
    station.resultsAvailable = 0;
    EXPECT_FALSE(ruleAllows(findCommand(cmd::kProfile)->rule, station));
    station.resultsAvailable = 1;
    EXPECT_TRUE(ruleAllows(findCommand(cmd::kProfile)->rule, station));
    run(cmd::kProfile);
    station.test.repetitions[1].loadMass = std::nanf("");
    const std::vector<std::string> texts = screenTexts();
    EXPECT_TRUE(has(texts, "Incompatible data"));
    EXPECT_FALSE(has(texts, "400.0"));
}

// Three loads on the right only, torques that hardly follow the velocities: the parabola is
// exact through its three points, the torque-velocity line a weak fit shown greyed, the
// legend names only the right side, the top's numbers cover no marker, and the header
// names the subject and the test's date rather than one repetition's load.
TEST_F(ProfileScreenTest, StatementsThatDoNotMislead) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    station.test.subject.name = "Ann Lee";
    station.test.testTime = 1767268800;  // 2026-01-01 12:00 UTC
    const float loads[] = {5, 10, 15}, powers[] = {402, 492, 482}, torques[] = {40, 20, 45}, speeds[] = {300, 250, 200};
    station.test.repetitionCount = 3;
    for (int r = 0; r < 3; ++r) {
        station.test.repetitions[r].direction = 1;
        station.test.repetitions[r].loadMass = loads[r];
        station.test.results[r].velocityPeakIndex = 500;
        station.test.results[r].at(PeakAll, ResultColumn::Power) = powers[r];
        station.test.results[r].at(MeanAcceleration, ResultColumn::Torque) = torques[r];
        station.test.results[r].at(MeanAcceleration, ResultColumn::Velocity) = speeds[r];
    }
    ASSERT_TRUE(run(cmd::kProfile));
    RecordingDrawContext dc(false);
    screens.draw(dc);
    std::vector<Rect> markers;
    for (DrawOp op : {DrawOp::Ellipse, DrawOp::Rectangle})
        for (const DrawCall& c : dc.callsOf(op))
            if (c.rect().right - c.rect().left <= 10) markers.push_back(c.rect());
    bool exact = false, weakGrey = false, top = false;
    for (const DrawCall& c : dc.callsOf(DrawOp::Text)) {
        EXPECT_EQ(c.text.find("r2 1.000"), std::string::npos) << c.text;
        EXPECT_NE(c.text, "left") << "a side without data in the legend";
        exact |= c.text.starts_with("Power-load right: ") && c.text.ends_with("exact through 3 points; top 500.0 W at 12.00 kg");
        if (c.text.starts_with("Torque-velocity right: weak fit (r2 0.")) weakGrey = !(c.state.textColor == kBlack);
        if (c.text.starts_with("right: top 12.00 kg, 500.0 W")) {
            top = true;
            for (const Rect& m : markers)
                EXPECT_FALSE(m.left < c.rect().right && c.rect().left < m.right && m.top < c.rect().bottom &&
                             c.rect().top < m.bottom);
        }
    }
    EXPECT_TRUE(exact) << dc.describe();
    EXPECT_TRUE(weakGrey) << dc.describe();
    EXPECT_TRUE(top) << dc.describe();
    EXPECT_TRUE(has(dc.texts(), "Name: Ann Lee"));
    EXPECT_TRUE(has(dc.texts(), "3 attempts, test of 2026-01-01 12:00")) << dc.describe();
    EXPECT_EQ(screens.printJob().report.header.right, "3 attempts, test of 2026-01-01 12:00");
}

// A session recorded one file per load (as `demo --load` makes them): the box starts at
// the day of the test in memory and the profile takes that day's three files, so it has
// its three loads; another day's test and another subject's stay out until chosen.
class ProfileAcrossTests : public ScreenTest {};

TEST_F(ProfileAcrossTests, ADaysSingleLoadFilesMakeOneProfile) {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    TempDir data;
    const int32_t day = 1796601600;  // 2026-12-07 00:00 UTC
    auto write = [&](const std::string& name, const std::string& subject, float load, int32_t time) {
        auto test = std::make_unique<TestRecord>();
        DemoOptions demo;
        demo.repetitions = 2;
        demo.load = load;
        demo.seed = 7;
        demo.subjectName = subject;
        demo.testTime = time;
        fillDemoTest(*test, demo);
        for (int r = 0; r < test->repetitionCount; ++r) analyseRepetition(*test, r);
        const std::string path = data.file(name);
        EXPECT_TRUE(writeTestFile(path, *test));
        archive::LocalIndex index;
        EXPECT_TRUE(index.open(data.path().string()));
        EXPECT_TRUE(index.indexFile(path));
        return path;
    };
    write("ann-5.kvq", "Ann", 5.0f, day + 9 * 3600);
    write("ann-10.kvq", "Ann", 10.0f, day + 9 * 3600 + 600);
    const std::string last = write("ann-15.kvq", "Ann", 15.0f, day + 9 * 3600 + 1200);
    write("ann-earlier.kvq", "Ann", 20.0f, day - 86400);
    write("bob-25.kvq", "Bob", 25.0f, day + 10 * 3600);

    station.paths.subjectLibraryDirectory = data.path().string();
    std::string message;
    ASSERT_TRUE(readTestFile(last, station.test, &message)) << message;
    station.lastFilePath = last;
    station.resultsAvailable = 1;
    ASSERT_TRUE(run(cmd::kProfile));
    EXPECT_EQ(bars.shownTemplate, kProfileBarTemplate);
    EXPECT_EQ(bars.lists[cmd::kProfileTestsBox],
              (std::vector<std::string>{"This test", "2026-12-07 (3 tests)", "2026-12-06 (1 test)",
                                        "30 days to 2026-12-07 (4 tests)", "All tests (4 tests)"}));
    EXPECT_EQ(bars.barSelection(cmd::kProfileTestsBox), 1);

    auto loadsOf = [&] {
        const std::optional<Profile> p = screens.profile().profile();
        EXPECT_TRUE(p);
        std::vector<double> loads;
        if (p)
            for (const LoadBest& l : p->side(Side::Right).loads) loads.push_back(l.load);
        return loads;
    };
    EXPECT_EQ(loadsOf(), (std::vector<double>{5.0, 10.0, 15.0}));
    RecordingDrawContext screen(false);
    screens.draw(screen);
    for (const std::string& t : screen.texts()) EXPECT_EQ(t.find("fewer than three loads"), std::string::npos) << t;
    EXPECT_EQ(screens.profile().pageHeader()->right, "3 tests of 2026-12-07");

    bars.selection[cmd::kProfileTestsBox] = 0;
    ASSERT_TRUE(run(cmd::kProfileTestsBox, Notification::SelectionChanged));
    EXPECT_EQ(loadsOf(), std::vector<double>{15.0});
    bars.selection[cmd::kProfileTestsBox] = 4;
    ASSERT_TRUE(run(cmd::kProfileTestsBox, Notification::SelectionChanged));
    EXPECT_EQ(loadsOf(), (std::vector<double>{5.0, 10.0, 15.0, 20.0}));
    EXPECT_EQ(screens.profile().pageHeader()->right, "4 tests, 2026-12-06 to 2026-12-07");
}

}  // namespace
}  // namespace vanta::testing
