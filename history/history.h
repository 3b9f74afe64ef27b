// A subject's history: every indexed test of one subject in time order, per side and load
// the best and the mean peak power of the attempts, the measurement error the subject's
// own repeated attempts show, and which changes between tests lie beyond it.
//
// Measurement error, per side: every group of one test, side and load with n >= 2 attempts
// gives the sample variance s^2 (n - 1 in the denominator) of its peak powers; they are
// pooled as SEM = sqrt( sum (n - 1) s^2 / sum (n - 1) ) over all the side's groups, and
// MDC95 = 1.96 x sqrt(2) x SEM is the smallest change of a test's mean peak power that is
// real with 95 % confidence. Fewer than two such groups give no SEM, and then no change
// is judged. Plain numerics, every sum in double, nothing rounded before the display.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "core/sides.h"

namespace vanta {

// One side and load within one test.
struct HistoryLoad {
    double load = 0.0;  // the first load of the group as stored (kg)
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
    double load = 0.0;   // the load as the earlier test stored it
    size_t from = 0, to = 0;  // indexes into History::tests
    double watts = 0.0;       // later mean - earlier mean
    double percent = 0.0;     // of the earlier mean
    std::optional<bool> beyondError;  // none without an SEM for the side
    bool firstToLatest = false;       // the first test at this side and load to the latest
};

struct History {
    std::string subject;
    std::vector<HistoryTest> tests;  // oldest first
    std::optional<double> sem[2], mdc95[2];  // by Side
    std::vector<HistoryChange> changes;  // per side, per load, in time order; first-to-latest last
    int leftOut = 0;  // repetitions without a peak, without a side or with a load of 0 or below
    std::optional<double> semOf(Side s) const { return sem[static_cast<int>(s)]; }
    std::optional<double> mdc95Of(Side s) const { return mdc95[static_cast<int>(s)]; }
};

// The factor of MDC95 on the SEM: 1.96 x sqrt(2).
double mdc95Factor();

// `tests` in any order (sorted here by test time, then file); the subject is the name
// shown. Repetitions without a peak, with a direction of 0 or a load not above 0 (or not
// a number) are left out and counted.
History buildHistory(std::vector<archive::IndexedTest> tests, const std::string& subject, bool sidesSwapped);

}  // namespace vanta
