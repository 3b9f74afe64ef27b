#include "history/history_texts.h"

#include <cstdio>
#include <ctime>

#include "profile/profile_texts.h"

namespace vanta {

namespace {

std::string number(const char* format, double v) {
    char text[48];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

}  // namespace

std::string historyDate(int64_t testTime) {
    const std::time_t t = static_cast<std::time_t>(testTime);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return "?";
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

namespace {

// The local day of a test time, as year * 10000 + month * 100 + day; -1 when it has none.
long localDay(int64_t testTime) {
    const std::time_t t = static_cast<std::time_t>(testTime);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return -1;
    return (tm.tm_year + 1900L) * 10000 + (tm.tm_mon + 1) * 100 + tm.tm_mday;
}

std::string clockTime(int64_t testTime) {
    const std::time_t t = static_cast<std::time_t>(testTime);
    std::tm tm{};
    if (!localtime_r(&t, &tm)) return "?";
    char text[16];
    std::strftime(text, sizeof text, "%H:%M", &tm);
    return text;
}

std::string testDate(const History& history, size_t i) {
    const size_t n = history.tests.size();
    const long day = localDay(history.tests[i].testTime);
    // The tests are in time order, so a day's other tests are its neighbours.
    const bool shared = (i > 0 && localDay(history.tests[i - 1].testTime) == day) ||
                        (i + 1 < n && localDay(history.tests[i + 1].testTime) == day);
    const std::string date = historyDate(history.tests[i].testTime);
    return shared ? date + " " + clockTime(history.tests[i].testTime) : date;
}

}  // namespace

std::vector<std::string> historyTestDates(const History& history) {
    std::vector<std::string> dates;
    for (size_t i = 0; i < history.tests.size(); ++i) dates.push_back(testDate(history, i));
    return dates;
}

const std::vector<std::string>& historyTableTitles() {
    static const std::vector<std::string> titles = {"Date", "Side", "Load kg", "Attempts", "Best W", "Mean W"};
    return titles;
}

std::vector<std::vector<std::string>> historyTableRows(const History& history) {
    std::vector<std::vector<std::string>> rows;
    const std::vector<std::string> dates = historyTestDates(history);
    for (size_t i = 0; i < history.tests.size(); ++i)
        for (Side s : {Side::Left, Side::Right})
            for (const HistoryLoad& l : history.tests[i].side(s))
                rows.push_back({dates[i], sideName(s), loadText(l.load), std::to_string(l.attempts),
                                number("%.1f", l.bestPeakPower), number("%.1f", l.meanPeakPower)});
    return rows;
}

std::vector<Side> historyRowSides(const History& history) {
    std::vector<Side> sides;
    for (const HistoryTest& t : history.tests)
        for (Side s : {Side::Left, Side::Right}) sides.insert(sides.end(), t.side(s).size(), s);
    return sides;
}

std::string historyLoadWords(double load) {
    std::string text = number("%.2f", load);
    // "15.00" is 15 kg, "12.50" 12.5 kg: the decimals a load has, whatever the separator.
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && (text.back() == '.' || text.back() == ',')) text.pop_back();
    return text + " kg";
}

namespace {

std::string noEstimate(double load) { return "no error estimate at " + historyLoadWords(load) + " yet"; }

std::string errorLine(const HistoryError& e) {
    const std::string head = std::string(sideName(e.side)) + " " + historyLoadWords(e.load) + ": ";
    if (!e.mdc95) return head + noEstimate(e.load) + " (no test with two attempts or more at it)";
    return head + historyBandLabel(*e.mdc95) + " (SEM " + number("%.1f", *e.sem) + " W, from " +
           std::to_string(e.testsWithRepeats) + (e.testsWithRepeats == 1 ? " test" : " tests") +
           " with repeated attempts)";
}

}  // namespace

std::vector<std::string> historyErrorLines(const History& history, Side side) {
    std::vector<std::string> lines;
    for (const HistoryError& e : history.errors)
        if (e.side == side) lines.push_back(errorLine(e));
    return lines;
}

std::vector<std::string> historyErrorLines(const History& history) {
    std::vector<std::string> lines;
    for (const HistoryError& e : history.errors) lines.push_back(errorLine(e));
    return lines;
}

std::string historyBandLabel(double mdc95) { return "test error (MDC95) \u00b1" + number("%.1f", mdc95) + " W"; }

std::string judgement(const History&, const HistoryChange& change) {
    if (!change.beyondError || !change.mdc95) return noEstimate(change.load);
    const std::string at = " at " + historyLoadWords(change.load);
    if (!*change.beyondError) return "within the test's own error" + at;
    return "a real change: larger than the test's own error" + at + " (" + number("%.1f", *change.mdc95) + " W)";
}

std::string historyChangeLine(const History& history, const HistoryChange& c) {
    const int64_t from = history.tests[c.from].testTime, to = history.tests[c.to].testTime;
    // Two tests of one day: the later one by its time alone.
    const std::string toText = localDay(from) == localDay(to) ? clockTime(to) : testDate(history, c.to);
    return std::string(sideName(c.side)) + " " + loadText(c.load) + " kg, " + testDate(history, c.from) + " to " + toText + ": " +
           number("%+.1f", c.watts) + " W (" + number("%+.1f", c.percent) + " %), " + judgement(history, c);
}

}  // namespace vanta
