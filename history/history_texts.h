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

// The load as a coach says it: "15 kg", "12.5 kg".
std::string historyLoadWords(double load);
// Per side and load the test's own error in plain words, or that there is no estimate yet:
// "left 10 kg: test error (MDC95) ±2.1 W (SEM 0.8 W, from 3 tests with repeated attempts)"
// or "right 15 kg: no error estimate at 15 kg yet (no test with two attempts or more at it)".
std::vector<std::string> historyErrorLines(const History& history);
// The same lines of one side.
std::vector<std::string> historyErrorLines(const History& history, Side side);
// "right 10.00 kg, 2026-03-01 to 2026-04-01: +25.3 W (+5.1 %), a real change: larger than
// the test's own error at 10 kg (19.6 W)"; two tests of one day: "2026-03-01 09:30 to 14:10".
std::string historyChangeLine(const History& history, const HistoryChange& change);
// Whether the change is real, judged by its own load's error, in words a coach reads
// without the statistics: "a real change: larger than the test's own error at 15 kg
// (2.1 W)", "within the test's own error at 15 kg", "no error estimate at 15 kg yet".
std::string judgement(const History& history, const HistoryChange& change);
// The band of one load in the plot: "test error (MDC95) ±19.6 W".
std::string historyBandLabel(double mdc95);

}  // namespace vanta
