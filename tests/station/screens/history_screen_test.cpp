// Subject > "History": the chosen subject's indexed tests on screen and on paper, and when
// the command is offered.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <memory>

#include "archive/local_index.h"
#include "storage/subject_register.h"
#include "tests/station/screens/screen_fixture.h"
#include "tests/support/recording_draw_context.h"
#include "tests/support/temp_dir.h"

namespace vanta::testing {
namespace {

bool has(const std::vector<std::string>& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

archive::IndexedTest indexed(const std::string& subject, int day, std::vector<float> rightPowers, double load = 10.0) {
    archive::IndexedTest t;
    t.subject = subject;
    t.path = "/lab/" + subject + std::to_string(day) + ".kvq";
    t.sha256 = std::string(63, '0') + static_cast<char>('a' + day);
    t.testTime = 1767225600 + day * 86400;  // 2026-01-01 UTC on
    for (float p : rightPowers) {
        archive::IndexedRepetition r;
        r.number = static_cast<int32_t>(t.repetitions.size()) + 1;
        r.direction = 1;
        r.load = load;
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
    EXPECT_EQ(bars.shownTemplate, kHistoryBarTemplate);
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

// The history follows the register's id: after Ann was renamed, a new test under her new
// name still shows her two earlier tests (indexed with her id under the old name), and
// not Anna's; a saved test is known by the id the index holds for its file.
TEST_F(HistoryScreenTest, ARenamedSubjectKeepsHerEarlierTests) {
    SubjectRegister subjects;
    ASSERT_TRUE(subjects.open(data.path().string()));
    SubjectInfo ann;
    ann.name = "Ann";
    int64_t id = 0;
    ASSERT_TRUE(subjects.add(ann, &id));
    RegisteredSubject registered;
    ASSERT_TRUE(subjects.get(id, registered));
    archive::LocalIndex index;
    ASSERT_TRUE(index.open(data.path().string()));
    std::vector<archive::IndexedTest> earlier = {indexed("Ann", 0, {100.0f, 110.0f}), indexed("Ann", 2, {130.0f, 140.0f})};
    for (archive::IndexedTest& t : earlier) t.subjectId = registered.uuid;
    archive::IndexedTest later = indexed("Ann (rowing)", 5, {150.0f});
    later.subjectId = registered.uuid;
    ASSERT_TRUE(index.store(earlier));
    ASSERT_TRUE(index.store({later}));
    ann.name = "Ann (rowing)";
    ASSERT_TRUE(subjects.update(id, ann));

    station.test.subject.name = "Ann (rowing)";  // unsaved: the register gives her id
    ASSERT_TRUE(run(cmd::kHistory));
    ASSERT_TRUE(screens.history().history());
    EXPECT_EQ(screens.history().history()->tests.size(), 3u);

    station.test.subject.name = "Ann";  // her old test opened: the index gives its id
    station.lastFilePath = earlier[0].path;
    ASSERT_TRUE(run(cmd::kHistory));
    EXPECT_EQ(screens.history().history()->tests.size(), 3u);
}

// What a drawing shows of one load: its table rows and change lines (texts that start with
// the load), its name at the end of its line, the lines and the MDC95 bands.
struct Shown {
    int rows10 = 0, rows20 = 0, lines = 0, bands = 0;
    std::string heading;
};
Shown shown(const RecordingDrawContext& dc) {
    Shown s;
    const std::vector<std::string> texts = dc.texts();
    for (const std::string& t : texts) {
        if (t.starts_with("History of ")) s.heading = t;
        s.rows10 += t == "10.00" || t == "10.00 kg" || t.starts_with("right 10.00 kg");
        s.rows20 += t == "20.00" || t == "20.00 kg" || t.starts_with("right 20.00 kg");
    }
    s.lines = static_cast<int>(dc.callsOf(DrawOp::Polyline).size());
    s.bands = static_cast<int>(dc.callsOf(DrawOp::FillRect).size());
    return s;
}

TEST_F(HistoryScreenTest, ALoadChosenInTheBoxIsAllThatIsShownAndPrinted) {
    archive::LocalIndex index;
    ASSERT_TRUE(index.open(data.path().string()));
    ASSERT_TRUE(index.store({indexed("Ann", 4, {300.0f, 310.0f}, 20.0), indexed("Ann", 6, {320.0f, 330.0f}, 20.0)}));
    ASSERT_TRUE(run(cmd::kHistory));
    EXPECT_EQ(bars.lists[cmd::kHistoryLoadBox], (std::vector<std::string>{"All loads", "10.00", "20.00"}));
    EXPECT_EQ(bars.barSelection(cmd::kHistoryLoadBox), 0);

    // Each load on screen and on paper: its rows, one line and one band on the right side.
    auto drawn = [&](bool printing) {
        auto dc = std::make_unique<RecordingDrawContext>(printing);
        if (printing)
            printReportPage(*dc, screens.printJob().report, 1, 1);
        else
            screens.draw(*dc);
        return dc;
    };
    const Shown both[] = {shown(*drawn(false)), shown(*drawn(true))};
    ASSERT_GT(both[0].rows10, 0);
    ASSERT_GT(both[0].rows20, 0);

    bars.selection[cmd::kHistoryLoadBox] = 2;
    ASSERT_TRUE(run(cmd::kHistoryLoadBox, Notification::SelectionChanged));
    for (bool printing : {false, true}) {
        const auto dc = drawn(printing);
        const Shown one = shown(*dc), &before = both[printing];
        EXPECT_EQ(one.rows10, 0) << dc->describe();
        EXPECT_EQ(one.rows20, before.rows20);
        EXPECT_EQ(one.lines, before.lines - 1);
        EXPECT_EQ(one.bands, before.bands - 1);
        EXPECT_EQ(one.heading, "History of Ann: 4 tests at 20.00 kg");
    }

    bars.selection[cmd::kHistoryLoadBox] = 0;
    ASSERT_TRUE(run(cmd::kHistoryLoadBox, Notification::SelectionChanged));
    EXPECT_EQ(shown(*drawn(false)).rows10, both[0].rows10);
}

}  // namespace
}  // namespace vanta::testing
