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

const std::vector<std::string>& historyTableTitles();
// One row per test, side and load: tests oldest first, left side before right.
std::vector<std::vector<std::string>> historyTableRows(const History& history);
std::vector<Side> historyRowSides(const History& history);

// "SEM right: 12.3 W, MDC95 34.1 W", or why there is none.
std::vector<std::string> historyErrorLines(const History& history);
// "right 10.00 kg, 2026-03-01 to 2026-04-01: +25.3 W (+5.1 %), beyond error"
std::string historyChangeLine(const History& history, const HistoryChange& change);
std::string judgement(const HistoryChange& change);  // "beyond error", "within error", "no SEM"

}  // namespace vanta
