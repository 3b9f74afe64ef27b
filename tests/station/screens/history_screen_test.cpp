// Subject > "History": the chosen subject's indexed tests on screen and on paper, and when
// the command is offered.
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "archive/local_index.h"
#include "storage/subject_register.h"
#include "history/history_drawing.h"
#include "history/history_texts.h"
#include "profile/plot_metrics.h"
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

// Ann's saved test on show and Anna chosen in the register for the next test: History is
// Anna's, and the idle screen names her as the next test's subject.
TEST_F(HistoryScreenTest, FollowsTheAthleteChosenNotTheTestShown) {
    std::optional<ChosenSubject> chosen = ChosenSubject{"", "Anna"};
    screens.setChosenSubject([&] { return chosen; });
    ASSERT_TRUE(run(cmd::kHistory));
    ASSERT_TRUE(screens.history().history());
    EXPECT_EQ(screens.history().history()->subject, "Anna");
    EXPECT_EQ(screens.history().history()->tests.size(), 1u);

    run(cmd::kResetToIdle);
    RecordingDrawContext idle(false);
    screens.draw(idle);
    EXPECT_TRUE(has(idle.texts(), "Subject: Anna"));
    // Without a register's subject, the test's own.
    chosen.reset();
    ASSERT_TRUE(run(cmd::kHistory));
    EXPECT_EQ(screens.history().history()->tests.size(), 2u);
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
    const std::string change = "right 10.00 kg, 2026-01-01 to 2026-01-03: +30.0 W (+28.6 %), a real change: larger "
                               "than the test's own error at 10 kg (19.6 W)";
    EXPECT_TRUE(has(screen.texts(), change));
    EXPECT_TRUE(has(screen.texts(),
                    "right 10 kg: test error (MDC95) \u00b119.6 W (SEM 7.1 W, from 2 tests with repeated attempts)"));
    EXPECT_TRUE(has(screen.texts(), "each load's error (MDC95)"));

    const PrintJob job = screens.printJob();
    EXPECT_EQ(job.report.screen, PrintedScreen::History);
    EXPECT_EQ(job.report.header.left, "Name: Ann");
    RecordingDrawContext paper(true);
    printReportPage(paper, job.report, 1, 1);
    EXPECT_EQ(paper.texts()[0], "History report");
    // The change line, wrapped where the page is narrower than the view.
    std::string onPaper;
    for (const std::string& t : paper.texts()) onPaper += t + " ";
    EXPECT_NE(onPaper.find(change), std::string::npos) << onPaper;
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
        // The count is of the tests at the load shown, not of all the subject's.
        EXPECT_EQ(one.heading, "History of Ann: 2 tests at 20.00 kg");
    }

    bars.selection[cmd::kHistoryLoadBox] = 0;
    ASSERT_TRUE(run(cmd::kHistoryLoadBox, Notification::SelectionChanged));
    EXPECT_EQ(shown(*drawn(false)).rows10, both[0].rows10);
}

// A season of tests: seven at two loads, a pair of them on one day, then many more for the
// paper. Every text lies within the view or the page with the room its characters need, and
// scrolling or paging shows every table row and change line, each whole.
class LongHistoryTest : public HistoryScreenTest {
protected:
    LongHistoryTest() {
        archive::LocalIndex index;
        EXPECT_TRUE(index.open(data.path().string()));
        std::vector<archive::IndexedTest> tests;
        for (int k = 0; k < 7; ++k) {
            archive::IndexedTest t = indexed("Ann", 10 + 7 * k, {200.0f + 9 * k, 210.0f + 5 * k});
            const archive::IndexedTest heavy = indexed("Ann", 10 + 7 * k, {300.0f - 4 * k, 330.0f}, 20.0);
            for (archive::IndexedRepetition r : heavy.repetitions) {
                r.number = static_cast<int32_t>(t.repetitions.size()) + 1;
                t.repetitions.push_back(r);
            }
            // The left side at both loads too, a little weaker.
            for (size_t i = 0, n = t.repetitions.size(); i < n; ++i) {
                archive::IndexedRepetition r = t.repetitions[i];
                r.number = static_cast<int32_t>(t.repetitions.size()) + 1;
                r.direction = -1;
                r.results[PeakAll][static_cast<int>(ResultColumn::Power)] -= 20.0f + 3 * k;
                t.repetitions.push_back(r);
            }
            // Test 5 is taken in the afternoon of test 4's day.
            if (k == 5) t.testTime = 1767225600 + (10 + 7 * 4) * 86400 + 14 * 3600 + 10 * 60;
            if (k == 4) t.testTime += 9 * 3600 + 30 * 60;
            identify(t, k);
            tests.push_back(t);
        }
        EXPECT_TRUE(index.store(tests));
    }

    // A test's own file and hash.
    static void identify(archive::IndexedTest& t, int k) {
        char sha[80];
        std::snprintf(sha, sizeof sha, "%064x", 0x5eed00 + k);
        t.sha256 = sha;
        t.path = "/lab/Ann-" + std::to_string(k) + ".kvq";
    }

    // Every text of the drawing inside `area` and as wide as its characters need.
    static void expectWhole(const RecordingDrawContext& dc, const Rect& area, int fontFloor) {
        const int dir = area.bottom > area.top ? 1 : -1;
        for (const DrawCall& call : dc.callsOf(DrawOp::Text)) {
            const Rect r = call.rect();
            EXPECT_GE(r.left, area.left) << call.text;
            EXPECT_LE(r.right, area.right) << call.text;
            EXPECT_GE((r.top - area.top) * dir, 0) << call.text;
            EXPECT_LE((r.bottom - area.bottom) * dir, 0) << call.text;
            EXPECT_GE(r.right - r.left, textWidthEstimate(call.text, std::max(fontFloor, call.state.font.height) * 9 / 10,
                                                          call.state.font.weight > 400))
                << call.text;
        }
    }
};

TEST_F(LongHistoryTest, ScrollsThroughEveryRowAtTheSmallestWindowAndGrowsWithALargerOne) {
    view.client = Rect{0, 0, 780, 640};
    ASSERT_TRUE(run(cmd::kHistory));
    const History& h = *screens.history().history();
    ASSERT_EQ(h.tests.size(), 9u);
    const auto rows = historyTableRows(h);
    std::vector<std::string> changes;
    for (const HistoryChange& c : h.changes) changes.push_back(historyChangeLine(h, c));

    // Same-day tests are told apart by their times.
    EXPECT_TRUE(std::any_of(rows.begin(), rows.end(), [](const auto& r) { return r[0] == "2026-02-08 09:30"; }));
    EXPECT_TRUE(std::any_of(changes.begin(), changes.end(),
                            [](const std::string& c) { return c.find("2026-02-08 09:30 to 14:10:") != std::string::npos; }));

    // Page by page to the end: every row and every change line shown, whole, in the view.
    std::vector<std::string> seen;
    for (int page = 0; page < 20; ++page) {
        RecordingDrawContext dc(false);
        screens.draw(dc);
        expectWhole(dc, Rect{0, 0, 780, 640}, 0);
        for (const std::string& t : dc.texts()) seen.push_back(t);
        const int before = screens.history().firstShown();
        screens.scroll(1, true);
        if (screens.history().firstShown() == before) break;
    }
    std::string joined;
    for (const std::string& t : seen) joined += t + " ";
    for (const std::string& c : changes) {
        // A long line is wrapped at its spaces: its words come in order, none cut.
        size_t at = 0;
        for (size_t w = 0, e; w < c.size(); w = e + 1) {
            e = std::min(c.find(' ', w), c.size());
            at = joined.find(c.substr(w, e - w), at);
            ASSERT_NE(at, std::string::npos) << c;
        }
    }
    for (const auto& row : rows) EXPECT_TRUE(has(seen, row[5])) << row[0];

    // End: the last full view with its footer, not the last line alone.
    screens.scroll(1000000, false);
    RecordingDrawContext end(false);
    screens.draw(end);
    expectWhole(end, Rect{0, 0, 780, 640}, 0);
    const std::vector<std::string> atEnd = end.texts();
    ASSERT_FALSE(atEnd.empty());
    int from = 0, to = 0, of = 0;
    ASSERT_EQ(std::sscanf(atEnd.back().c_str(), "Lines %d to %d of %d. Above: Page Up or Home", &from, &to, &of), 3)
        << atEnd.back();
    EXPECT_EQ(to, of);
    EXPECT_GT(to - from, 10) << "a view full of lines";
    // One line further up the view no longer holds the rest with its footer.
    screens.scroll(-1, false);
    RecordingDrawContext above(false);
    screens.draw(above);
    EXPECT_NE(above.texts().back().find("More below"), std::string::npos) << above.texts().back();

    // A larger window: the drawing takes its width.
    view.client = Rect{0, 0, 1280, 900};
    screens.scroll(-1000, false);
    RecordingDrawContext wide(false);
    screens.draw(wide);
    expectWhole(wide, Rect{0, 0, 1280, 900}, 0);
    int right = 0;
    for (const DrawCall& call : wide.callsOf(DrawOp::Rectangle)) right = std::max(right, call.rect().right);
    EXPECT_GT(right, 1000);
}

// The load names stand at their lines' ends a row apart, clear of the plot, its title and
// the rings of the real changes.
TEST_F(LongHistoryTest, LoadNamesNeverOverprint) {
    // The latest test has both loads at nearly one power: their lines end at one height.
    archive::IndexedTest close = indexed("Ann", 60, {250.0f, 252.0f});
    for (archive::IndexedRepetition r : indexed("Ann", 60, {251.0f, 253.0f}, 20.0).repetitions) {
        r.number = static_cast<int32_t>(close.repetitions.size()) + 1;
        close.repetitions.push_back(r);
    }
    identify(close, 60);
    archive::LocalIndex index;
    ASSERT_TRUE(index.open(data.path().string()));
    ASSERT_TRUE(index.store({close}));
    view.client = Rect{0, 0, 780, 640};
    ASSERT_TRUE(run(cmd::kHistory));
    RecordingDrawContext dc(false);
    screens.draw(dc);
    std::vector<Rect> names, others;
    for (const DrawCall& call : dc.callsOf(DrawOp::Text))
        (call.text.ends_with(".00 kg") && call.text.size() < 10 ? names : others).push_back(call.rect());
    for (const DrawCall& call : dc.callsOf(DrawOp::Ellipse)) others.push_back(call.rect());
    for (const DrawCall& call : dc.callsOf(DrawOp::Rectangle)) others.push_back(call.rect());
    ASSERT_EQ(names.size(), 4u);
    auto overlap = [](const Rect& a, const Rect& b) {
        return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    };
    for (size_t i = 0; i < names.size(); ++i) {
        for (size_t j = i + 1; j < names.size(); ++j) EXPECT_FALSE(overlap(names[i], names[j])) << i << " " << j;
        for (const Rect& o : others) EXPECT_FALSE(overlap(names[i], o)) << i << " at " << o.left << "," << o.top;
    }
}

// Hundreds of tests print over as many pages as they need, each row once, the plots on
// page 1 only, every page numbered and within its paper.
TEST_F(LongHistoryTest, PrintsEveryRowOverNumberedPages) {
    archive::LocalIndex index;
    ASSERT_TRUE(index.open(data.path().string()));
    std::vector<archive::IndexedTest> many;
    for (int k = 0; k < 150; ++k) {
        archive::IndexedTest t = indexed("Ann", 100 + k, {250.0f + k % 7, 260.0f});
        identify(t, 100 + k);
        many.push_back(t);
    }
    ASSERT_TRUE(index.store(many));
    ASSERT_TRUE(run(cmd::kHistory));
    const History& h = *screens.history().history();
    const PrintJob job = screens.printJob();
    const int pages = printedPageCount(job.report);
    ASSERT_GT(pages, 3);
    std::vector<std::string> printed;
    for (int page = 1; page <= pages; ++page) {
        RecordingDrawContext paper(true);
        printReportPage(paper, job.report, page, pages);
        EXPECT_TRUE(has(paper.texts(), "Page: " + std::to_string(page) + "/" + std::to_string(pages)));
        EXPECT_EQ(paper.callsOf(DrawOp::Ellipse).empty(), page > 1);
        expectWhole(paper, Rect{0, 0, 1800, -2670}, 0);
        for (const std::string& t : paper.texts()) printed.push_back(t);
    }
    const auto rows = historyTableRows(h);
    ASSERT_GT(rows.size(), 150u);
    for (const auto& row : rows)
        EXPECT_EQ(std::count(printed.begin(), printed.end(), row[0]),
                  std::count_if(rows.begin(), rows.end(), [&](const auto& r) { return r[0] == row[0]; }))
            << row[0];
}

}  // namespace
}  // namespace vanta::testing
