// A subject's history: every indexed test of one subject in time order, per side and load
// the best and the mean peak power of the attempts, the measurement error the subject's
// own repeated attempts show, and which changes between tests lie beyond it.
//
// Measurement error, per side and load: a light load's few watts and a heavy load's
// hundreds do not spread alike, so each load is judged by its own. Every group of one
// test, side and load with n >= 2 attempts gives the sample variance s^2 (n - 1 in the
// denominator) of its peak powers; a side and load's groups over all the tests are pooled
// as SEM = sqrt( sum (n - 1) s^2 / sum (n - 1) ), and MDC95 = 1.96 x sqrt(2) x SEM is the
// smallest change of a test's mean peak power at that side and load that is real with
// 95 % confidence. A side and load without a group of repeated attempts has no SEM, and
// its changes are not judged; it never borrows another load's watts. Plain numerics,
// every sum in double, nothing rounded before the display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/sides.h"

namespace vanta {

// One attempt as the history sees it; the caller reads it from wherever it keeps the
// tests (the station and vantacheck-cli from the index of the archive).
struct HistoryAttempt {
    int32_t direction = 0;   // as stored: +1 or -1 for a recorded stroke
    double load = 0.0;       // kg
    bool hasPeak = false;    // false: the analysis found no peak, its results were never written
    double peakPower = 0.0;  // PeakAll, W
};

// One test of the subject with its attempts in their order.
struct HistoryTestAttempts {
    std::string file;      // the test as the caller names it
    int64_t testTime = 0;  // seconds since 1970 UTC
    // How the station that recorded the test named the sides, where the archive kept it;
    // unset: as the history's caller names them.
    std::optional<bool> sidesSwapped;
    std::vector<HistoryAttempt> attempts;
};

// One side and load within one test.
struct HistoryLoad {
    double load = 0.0;  // the load of the group across all the subject's tests (distinctLoads)
    int attempts = 0;
    double bestPeakPower = 0.0;  // W
    double meanPeakPower = 0.0;  // W
    std::optional<double> variance;  // sample variance of the peak powers, from 2 attempts
};

struct HistoryTest {
    std::string file;
    int64_t testTime = 0;  // seconds since 1970 UTC
    std::vector<HistoryLoad> sides[2];  // by Side, ascending load
    const std::vector<HistoryLoad>& side(Side s) const { return sides[static_cast<int>(s)]; }
};

// The change of the mean peak power between two tests at one side and load.
struct HistoryChange {
    Side side = Side::Left;
    double load = 0.0;   // the load of the group (HistoryLoad::load)
    size_t from = 0, to = 0;  // indexes into History::tests
    double watts = 0.0;       // later mean - earlier mean
    double percent = 0.0;     // of the earlier mean
    std::optional<double> mdc95;      // the side and load's own; none without an SEM there
    std::optional<bool> beyondError;  // none without an SEM for the side and load
    bool firstToLatest = false;       // the first test at this side and load to the latest
};

// The measurement error of one side and load, pooled over its tests.
struct HistoryError {
    Side side = Side::Left;
    double load = 0.0;          // the load of the group (HistoryLoad::load)
    int testsWithRepeats = 0;   // the groups of two attempts or more pooled
    int freedom = 0;            // sum (n - 1) over them
    std::optional<double> sem, mdc95;  // W; none without a group of repeated attempts
};

struct History {
    std::string subject;
    std::vector<HistoryTest> tests;  // oldest first
    // Every side and load tested, left before right, ascending load.
    std::vector<HistoryError> errors;
    std::vector<HistoryChange> changes;  // per side, per load, in time order; first-to-latest last
    int leftOut = 0;  // repetitions without a peak, without a side or with a load of 0 or below
    // The error of a side and load (a load of the history's groups); null when not tested.
    const HistoryError* errorAt(Side s, double load) const;
};

// The factor of MDC95 on the SEM: 1.96 x sqrt(2).
double mdc95Factor();

// `tests` in any order (sorted here by test time, then file); the subject is the name
// shown. Attempts without a peak, with a direction of 0 or a load not above 0 (or not a
// number) are left out and counted. The loads are grouped over every test and both sides
// at once (distinctLoads), so a load is the same load in each test and on each side.
// `sidesSwapped` names the sides of every test whose own setting is not known.
History buildHistory(std::vector<HistoryTestAttempts> tests, const std::string& subject, bool sidesSwapped);

}  // namespace vanta
