// A subject's history on constructed tests whose error and changes are worked out by hand.
#include "history/history.h"

#include <gtest/gtest.h>

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
        ASSERT_TRUE(h.semOf(Side::Right));
        EXPECT_NEAR(*h.semOf(Side::Right), std::sqrt(50.0), 1e-12);
        EXPECT_NEAR(*h.mdc95Of(Side::Right), 19.6, 1e-12);
        EXPECT_FALSE(h.semOf(Side::Left));

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

// One attempt per test has no spread to measure: no SEM, every change unjudged. One test
// with two attempts among them is still a single group, too little to judge by.
TEST(History, OneAttemptPerTestGivesNoErrorAndNoFlags) {
    for (const bool oneGroupOfTwo : {false, true}) {
        std::vector<Stroke> first = {{1, 10.0, 200.0f}, {-1, 10.0, 180.0f}};
        if (oneGroupOfTwo) first.push_back({1, 10.0, 260.0f});
        const History h = buildHistory({makeTest(1, first), makeTest(2, {{1, 10.0, 400.0f}, {-1, 10.0, 90.0f}}),
                                        makeTest(3, {{1, 10.0, 800.0f}, {-1, 10.0, 45.0f}})},
                                       "Ann", false);
        EXPECT_FALSE(h.semOf(Side::Right));
        EXPECT_FALSE(h.semOf(Side::Left));
        EXPECT_FALSE(h.mdc95Of(Side::Right));
        ASSERT_EQ(h.changes.size(), 6u);  // per side: two consecutive, first to latest
        for (const HistoryChange& c : h.changes) EXPECT_FALSE(c.beyondError.has_value());
        EXPECT_EQ(h.tests[0].side(Side::Right)[0].attempts, oneGroupOfTwo ? 2 : 1);
    }
}

// Loads within 0.005 kg are one load, across tests as within one; changes join only the
// same load, and each load has its own best and mean.
TEST(History, TwoLoadsAreComparedEachWithItself) {
    const History h = buildHistory(
        {makeTest(1, {{1, 10.0, 300.0f}, {1, 20.0, 500.0f}, {1, 10.004, 310.0f}, {1, 20.0, 520.0f}}),
         makeTest(2, {{1, 20.003, 560.0f}, {1, 20.0, 540.0f}, {1, 10.0, 330.0f}})},
        "Ann", false);
    const auto& first = h.tests[0].side(Side::Right);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_DOUBLE_EQ(first[0].load, 10.0);
    EXPECT_EQ(first[0].attempts, 2);
    EXPECT_DOUBLE_EQ(first[0].bestPeakPower, 310.0);
    EXPECT_DOUBLE_EQ(first[0].meanPeakPower, 305.0);
    EXPECT_DOUBLE_EQ(first[1].meanPeakPower, 510.0);
    ASSERT_EQ(h.tests[1].side(Side::Right).size(), 2u);
    // s^2: 50, 200 and 200 over one degree of freedom each.
    EXPECT_NEAR(*h.semOf(Side::Right), std::sqrt(450.0 / 3.0), 1e-12);
    const auto changes = changesOf(h, Side::Right);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_DOUBLE_EQ(changes[0].load, 10.0);
    EXPECT_DOUBLE_EQ(changes[0].watts, 25.0);
    EXPECT_DOUBLE_EQ(changes[1].load, 20.0);
    EXPECT_DOUBLE_EQ(changes[1].watts, 40.0);
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
    ASSERT_TRUE(h.semOf(Side::Right));
    EXPECT_NEAR(*h.semOf(Side::Right), std::sqrt(650.0 / 3.0), 1e-12);
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
