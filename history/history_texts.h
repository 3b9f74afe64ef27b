// The history as the operator reads it: the table per test, side and load, the lines of
// the measurement error and of the changes. The screen, the printed page and
// vantacheck-cli show these same texts. Dates in local time, as the station shows test
// times; numbers in the C library's numeric locale, as the station's reports are.
#pragma once

#include <string>
#include <vector>

#include "history/history.h"

namespace vanta {

std::string historyDate(int64_t testTime);  // "2026-03-01"
// Each test's date as the table and the change lines name it: "2026-03-01", and with its
// time ("2026-03-01 09:30") where another test of the history lies on the same day.
std::vector<std::string> historyTestDates(const History& history);

const std::vector<std::string>& historyTableTitles();
// One row per test, side and load: tests oldest first, left side before right.
std::vector<std::vector<std::string>> historyTableRows(const History& history);
std::vector<Side> historyRowSides(const History& history);

// Per side the test's own error in plain words, or why it is not known yet.
std::vector<std::string> historyErrorLines(const History& history);
// "right 10.00 kg, 2026-03-01 to 2026-04-01: +25.3 W (+5.1 %), a real change: larger than
// the test's own error (19.6 W)"; two tests of one day: "2026-03-01 09:30 to 14:10".
std::string historyChangeLine(const History& history, const HistoryChange& change);
// Whether the change is real, in words a coach reads without the statistics.
std::string judgement(const History& history, const HistoryChange& change);
// The band of the plot: "test error (MDC95) ±19.6 W".
std::string historyBandLabel(double mdc95);

}  // namespace vanta
