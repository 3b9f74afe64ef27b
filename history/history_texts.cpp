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

const std::vector<std::string>& historyTableTitles() {
    static const std::vector<std::string> titles = {"Date", "Side", "Load kg", "Attempts", "Best W", "Mean W"};
    return titles;
}

std::vector<std::vector<std::string>> historyTableRows(const History& history) {
    std::vector<std::vector<std::string>> rows;
    for (const HistoryTest& t : history.tests)
        for (Side s : {Side::Left, Side::Right})
            for (const HistoryLoad& l : t.side(s))
                rows.push_back({historyDate(t.testTime), sideName(s), loadText(l.load), std::to_string(l.attempts),
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
            lines.push_back("SEM " + side + ": " + number("%.1f", *sem) + " W, MDC95 " + number("%.1f", *history.mdc95Of(s)) +
                            " W");
        else
            lines.push_back("SEM " + side + ": none (fewer than two tests and loads with two attempts or more)");
    }
    return lines;
}

std::string judgement(const HistoryChange& change) {
    if (!change.beyondError) return "no SEM";
    return *change.beyondError ? "beyond error" : "within error";
}

std::string historyChangeLine(const History& history, const HistoryChange& c) {
    return std::string(sideName(c.side)) + " " + loadText(c.load) + " kg, " + historyDate(history.tests[c.from].testTime) +
           " to " + historyDate(history.tests[c.to].testTime) + ": " + number("%+.1f", c.watts) + " W (" +
           number("%+.1f", c.percent) + " %), " + judgement(c);
}

}  // namespace vanta
