// A subject's history on constructed tests whose error and changes are worked out by hand.
#include "history/history.h"

#include <gtest/gtest.h>

#include "history/history_texts.h"

#include <cmath>

namespace vanta {
namespace {

struct Stroke {
    int direction;  // +1 right, -1 left
    double load;
    float peakPower;
};

HistoryTestAttempts makeTest(int64_t day, std::vector<Stroke> strokes) {
    HistoryTestAttempts t;
    t.file = "day" + std::to_string(day) + ".kvq";
    t.testTime = 1765000000 + day * 86400;
    for (const Stroke& s : strokes) t.attempts.push_back(HistoryAttempt{s.direction, s.load, true, s.peakPower});
    return t;
}

std::optional<double> semAt(const History& h, Side side, double load) {
    const HistoryError* e = h.errorAt(side, load);
    return e ? e->sem : std::nullopt;
}

std::vector<HistoryChange> changesOf(const History& h, Side side) {
    std::vector<HistoryChange> out;
    for (const HistoryChange& c : h.changes)
        if (c.side == side) out.push_back(c);
    return out;
}

// Two tests of two attempts each 10 W apart: s^2 = 50 in both, SEM = sqrt(50),
// MDC95 = 1.96 x sqrt(2) x sqrt(50) = 19.6 W. The second test's mean rises by 19.5 W
// (within) or by 19.75 W (beyond); a third test of one attempt falls 25 W below it
// (beyond, the size counts) and ends 5.5 W or 5.25 W under the first (within).
TEST(History, ChangeJustBelowAndJustAboveTheMinimalDetectableChange) {
    for (const float rise : {19.5f, 19.75f}) {
        const History h = buildHistory({makeTest(9, {{1, 10.0, 105.0f + rise - 25.0f}}),
                                        makeTest(1, {{1, 10.0, 100.0f}, {1, 10.0, 110.0f}}),
                                        makeTest(5, {{1, 10.0, 100.0f + rise}, {1, 10.0, 110.0f + rise}})},
                                       "Ann", false);
        ASSERT_EQ(h.tests.size(), 3u);
        EXPECT_EQ(h.tests[0].file, "day1.kvq");  // time order, whatever order they came in
        ASSERT_TRUE(semAt(h, Side::Right, 10.0));
        EXPECT_NEAR(*semAt(h, Side::Right, 10.0), std::sqrt(50.0), 1e-12);
        EXPECT_NEAR(*h.errorAt(Side::Right, 10.0)->mdc95, 19.6, 1e-12);
        EXPECT_EQ(h.errorAt(Side::Left, 10.0), nullptr) << "the left side was not tested";

        const auto changes = changesOf(h, Side::Right);
        ASSERT_EQ(changes.size(), 3u);
        const HistoryChange& up = changes[0];
        EXPECT_EQ(up.from, 0u);
        EXPECT_EQ(up.to, 1u);
        EXPECT_DOUBLE_EQ(up.watts, rise);
        EXPECT_DOUBLE_EQ(up.percent, rise / 105.0 * 100.0);
        EXPECT_EQ(up.beyondError, std::optional<bool>(rise > 19.6f)) << rise;
        EXPECT_DOUBLE_EQ(changes[1].watts, -25.0);
        EXPECT_EQ(changes[1].beyondError, std::optional<bool>(true));
        EXPECT_TRUE(changes[2].firstToLatest);
        EXPECT_EQ(changes[2].from, 0u);
        EXPECT_EQ(changes[2].to, 2u);
        EXPECT_EQ(changes[2].beyondError, std::optional<bool>(false));
    }
}

// One attempt per test has no spread to measure: no SEM, every change unjudged.
TEST(History, OneAttemptPerTestGivesNoErrorAndNoFlags) {
    const History h = buildHistory({makeTest(1, {{1, 10.0, 200.0f}, {-1, 10.0, 180.0f}}),
                                    makeTest(2, {{1, 10.0, 400.0f}, {-1, 10.0, 90.0f}}),
                                    makeTest(3, {{1, 10.0, 800.0f}, {-1, 10.0, 45.0f}})},
                                   "Ann", false);
    ASSERT_EQ(h.errors.size(), 2u);
    for (const HistoryError& e : h.errors) EXPECT_FALSE(e.sem.has_value());
    ASSERT_EQ(h.changes.size(), 6u);  // per side: two consecutive, first to latest
    for (const HistoryChange& c : h.changes) EXPECT_FALSE(c.beyondError.has_value());
    EXPECT_EQ(judgement(h, h.changes[0]), "no error estimate at 10 kg yet");
}

// Each load is judged by its own error, worked out by hand:
//   10 kg: test 1 300 and 310 W (s^2 = 50), test 2 one attempt of 330 W:
//          SEM = sqrt(50) = 7.07 W, MDC95 = 19.6 W; 305 -> 330 W is +25 W, real.
//   20 kg: 500 and 520 W (s^2 = 200), then 556 and 536 W (s^2 = 200):
//          SEM = sqrt((200 + 200) / 2) = 14.14 W, MDC95 = 39.2 W; 510 -> 546 W is +36 W,
//          within it.
//   15 kg: one attempt in each test: no estimate, the change of 50 W not judged.
// Pooled across the loads (sqrt(450 / 3) = 12.2 W, MDC95 33.9 W) both verdicts would turn
// round; a light load never borrows a heavy one's watts. Loads within 0.005 kg are one
// load, across tests as within one, and each load has its own best and mean.
TEST(History, EachLoadIsJudgedByItsOwnError) {
    const History h = buildHistory(
        {makeTest(1, {{1, 10.0, 300.0f}, {1, 20.0, 500.0f}, {1, 10.004, 310.0f}, {1, 20.0, 520.0f}, {1, 15.0, 400.0f}}),
         makeTest(2, {{1, 20.003, 556.0f}, {1, 20.0, 536.0f}, {1, 10.0, 330.0f}, {1, 15.0, 450.0f}})},
        "Ann", false);
    const auto& first = h.tests[0].side(Side::Right);
    ASSERT_EQ(first.size(), 3u);
    EXPECT_DOUBLE_EQ(first[0].load, 10.0);
    EXPECT_EQ(first[0].attempts, 2);
    EXPECT_DOUBLE_EQ(first[0].bestPeakPower, 310.0);
    EXPECT_DOUBLE_EQ(first[0].meanPeakPower, 305.0);
    EXPECT_DOUBLE_EQ(first[2].meanPeakPower, 510.0);
    ASSERT_EQ(h.tests[1].side(Side::Right).size(), 3u);

    ASSERT_EQ(h.errors.size(), 3u) << "the right side's three loads";
    const HistoryError* light = h.errorAt(Side::Right, 10.0);
    const HistoryError* none = h.errorAt(Side::Right, 15.0);
    const HistoryError* heavy = h.errorAt(Side::Right, 20.0);
    ASSERT_TRUE(light && none && heavy);
    EXPECT_NEAR(*light->sem, std::sqrt(50.0), 1e-9);
    EXPECT_NEAR(*light->mdc95, 19.6, 1e-9);
    EXPECT_EQ(light->testsWithRepeats, 1);
    EXPECT_NEAR(*heavy->sem, std::sqrt(200.0), 1e-9);
    EXPECT_NEAR(*heavy->mdc95, 1.96 * std::sqrt(2.0) * std::sqrt(200.0), 1e-9);
    EXPECT_EQ(heavy->testsWithRepeats, 2);
    EXPECT_EQ(heavy->freedom, 2);
    EXPECT_FALSE(none->sem.has_value());

    const auto changes = changesOf(h, Side::Right);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_DOUBLE_EQ(changes[0].load, 10.0);
    EXPECT_NEAR(changes[0].watts, 25.0, 1e-4);
    EXPECT_EQ(changes[0].beyondError, std::optional<bool>(true));
    EXPECT_DOUBLE_EQ(changes[1].load, 15.0);
    EXPECT_FALSE(changes[1].beyondError.has_value());
    EXPECT_DOUBLE_EQ(changes[2].load, 20.0);
    EXPECT_NEAR(changes[2].watts, 36.0, 1e-4);
    EXPECT_EQ(changes[2].beyondError, std::optional<bool>(false));

    // In the words the screen, the paper and the command line give a coach.
    EXPECT_EQ(judgement(h, changes[0]), "a real change: larger than the test's own error at 10 kg (19.6 W)");
    EXPECT_EQ(judgement(h, changes[1]), "no error estimate at 15 kg yet");
    EXPECT_EQ(judgement(h, changes[2]), "within the test's own error at 20 kg");
    EXPECT_EQ(historyErrorLines(h, Side::Right),
              (std::vector<std::string>{
                  "right 10 kg: test error (MDC95) \u00b119.6 W (SEM 7.1 W, from 1 test with repeated attempts)",
                  "right 15 kg: no error estimate at 15 kg yet (no test with two attempts or more at it)",
                  "right 20 kg: test error (MDC95) \u00b139.2 W (SEM 14.1 W, from 2 tests with repeated attempts)"}));
    EXPECT_EQ(historyLoadWords(12.5), "12.5 kg");
}

// The error is pooled by degrees of freedom: a group of three attempts (s^2 = 100, two
// degrees) weighs twice a group of two (s^2 = 450, one degree), so SEM = sqrt(650 / 3),
// not the plain mean of the variances, sqrt(275). The tests come in time order although
// their file names sort the other way ("day10" before "day9").
TEST(History, ErrorPooledOverGroupsOfUnequalSizeAndTestsInTimeOrder) {
    const History h = buildHistory({makeTest(10, {{1, 10.0, 100.0f}, {1, 10.0, 130.0f}}),
                                    makeTest(9, {{1, 10.0, 100.0f}, {1, 10.0, 110.0f}, {1, 10.0, 120.0f}})},
                                   "Ann", false);
    ASSERT_EQ(h.tests.size(), 2u);
    EXPECT_EQ(h.tests[0].file, "day9.kvq");
    EXPECT_EQ(h.tests[1].file, "day10.kvq");
    ASSERT_TRUE(semAt(h, Side::Right, 10.0));
    EXPECT_NEAR(*semAt(h, Side::Right, 10.0), std::sqrt(650.0 / 3.0), 1e-12);
    ASSERT_EQ(h.changes.size(), 1u);
    EXPECT_DOUBLE_EQ(h.changes[0].watts, 5.0);  // 110 W, then 115 W
}

// A load reaches 5 g above the lowest of its group and no further: 10.004 kg and then
// 10.000 kg are one load, 10.008 kg a load of its own, so the third test is compared with
// nothing rather than chained to the first.
TEST(History, LoadsDoNotChainAcrossTests) {
    const History h = buildHistory({makeTest(1, {{1, 10.004, 300.0f}}), makeTest(2, {{1, 10.0, 320.0f}}),
                                    makeTest(3, {{1, 10.008, 340.0f}})},
                                   "Ann", false);
    EXPECT_DOUBLE_EQ(h.tests[0].side(Side::Right)[0].load, 10.0);
    EXPECT_DOUBLE_EQ(h.tests[2].side(Side::Right)[0].load, 10.008);
    ASSERT_EQ(h.changes.size(), 1u);
    EXPECT_EQ(h.changes[0].from, 0u);
    EXPECT_EQ(h.changes[0].to, 1u);
    EXPECT_DOUBLE_EQ(h.changes[0].watts, 20.0);
}

// A test of one side only: the other side has no entry for it and no change through it;
// the sides swap with the box's setting.
TEST(History, ATestWithOneSideOnly) {
    const std::vector<HistoryTestAttempts> tests = {
        makeTest(1, {{1, 10.0, 300.0f}, {-1, 10.0, 250.0f}}), makeTest(2, {{1, 10.0, 330.0f}}),
        makeTest(3, {{1, 10.0, 320.0f}, {-1, 10.0, 270.0f}})};
    for (const bool swapped : {false, true}) {
        const Side right = swapped ? Side::Left : Side::Right, left = otherSide(right);
        const History h = buildHistory(tests, "Ann", swapped);
        EXPECT_TRUE(h.tests[1].side(left).empty());
        ASSERT_EQ(h.tests[1].side(right).size(), 1u);
        const auto leftChanges = changesOf(h, left);
        ASSERT_EQ(leftChanges.size(), 1u);  // first to third, consecutive for that side
        EXPECT_EQ(leftChanges[0].from, 0u);
        EXPECT_EQ(leftChanges[0].to, 2u);
        EXPECT_FALSE(leftChanges[0].firstToLatest);
        EXPECT_DOUBLE_EQ(leftChanges[0].watts, 20.0);
        EXPECT_EQ(changesOf(h, right).size(), 3u);
    }
}

}  // namespace
}  // namespace vanta
