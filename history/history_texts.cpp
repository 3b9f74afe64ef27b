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

constexpr const char* kUnknownError =
    "error not known yet: it needs two tests (or loads) with at least two attempts each";

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

std::vector<std::string> historyErrorLines(const History& history) {
    std::vector<std::string> lines;
    for (Side s : {Side::Left, Side::Right}) {
        const std::string side = sideName(s);
        if (const auto sem = history.semOf(s))
            lines.push_back(side + ": " + historyBandLabel(*history.mdc95Of(s)) + " (SEM " + number("%.1f", *sem) +
                            " W): a change larger than this is real");
        else
            lines.push_back(side + ": " + kUnknownError);
    }
    return lines;
}

std::string historyBandLabel(double mdc95) { return "test error (MDC95) \u00b1" + number("%.0f", mdc95) + " W"; }

std::string judgement(const History& history, const HistoryChange& change) {
    if (!change.beyondError) return kUnknownError;
    if (!*change.beyondError) return "within the test's own error";
    const std::optional<double> mdc = history.mdc95Of(change.side);
    return "a real change: larger than the test's own error (" + number("%.0f", mdc.value_or(0.0)) + " W)";
}

std::string historyChangeLine(const History& history, const HistoryChange& c) {
    const int64_t from = history.tests[c.from].testTime, to = history.tests[c.to].testTime;
    // Two tests of one day: the later one by its time alone.
    const std::string toText = localDay(from) == localDay(to) ? clockTime(to) : testDate(history, c.to);
    return std::string(sideName(c.side)) + " " + loadText(c.load) + " kg, " + testDate(history, c.from) + " to " + toText + ": " +
           number("%+.1f", c.watts) + " W (" + number("%+.1f", c.percent) + " %), " + judgement(history, c);
}

}  // namespace vanta
