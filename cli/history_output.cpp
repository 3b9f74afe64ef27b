#include "cli/history_output.h"

#include <charconv>
#include <cmath>

#include "cli/cli_output.h"
#include "history/history_texts.h"

namespace vanta::cli {

namespace {

// Shortest text that reads back as the same double, with a point so that 10 kg reads as
// a real number too.
std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[64];
    const auto res = std::to_chars(text, text + sizeof text, v);
    std::string s(text, res.ptr);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}
std::string number(const std::optional<double>& v) { return v ? number(*v) : "null"; }

std::string sidesJson(const std::optional<double> (&v)[2]) {
    return "{\"left\": " + number(v[0]) + ", \"right\": " + number(v[1]) + "}";
}

}  // namespace

std::string historyJson(const History& h) {
    std::string out = "{\"subject\": " + jsonString(h.subject) + ", \"sem\": " + sidesJson(h.sem) +
                      ", \"mdc95\": " + sidesJson(h.mdc95) + ", \"tests\": [";
    for (size_t i = 0; i < h.tests.size(); ++i) {
        const HistoryTest& t = h.tests[i];
        out += std::string(i ? ", " : "") + "{\"file\": " + jsonString(t.file) +
               ", \"testTime\": " + std::to_string(t.testTime) + ", \"sides\": {";
        for (Side s : {Side::Left, Side::Right}) {
            out += std::string(s == Side::Right ? ", " : "") + "\"" + sideName(s) + "\": [";
            for (size_t k = 0; k < t.side(s).size(); ++k) {
                const HistoryLoad& l = t.side(s)[k];
                out += std::string(k ? ", " : "") + "{\"load\": " + number(l.load) +
                       ", \"attempts\": " + std::to_string(l.attempts) + ", \"bestPeakPower\": " +
                       number(l.bestPeakPower) + ", \"meanPeakPower\": " + number(l.meanPeakPower) + "}";
            }
            out += "]";
        }
        out += "}}";
    }
    out += "], \"changes\": [";
    for (size_t i = 0; i < h.changes.size(); ++i) {
        const HistoryChange& c = h.changes[i];
        out += std::string(i ? ", " : "") + "{\"side\": \"" + sideName(c.side) + "\", \"load\": " + number(c.load) +
               ", \"from\": " + std::to_string(h.tests[c.from].testTime) +
               ", \"to\": " + std::to_string(h.tests[c.to].testTime) + ", \"watts\": " + number(c.watts) +
               ", \"percent\": " + number(c.percent) + ", \"beyondError\": " +
               (c.beyondError ? (*c.beyondError ? "true" : "false") : "null") + "}";
    }
    return out + "]}\n";
}

std::string historyText(const History& h) {
    std::string out = "History of " + h.subject + ": " + std::to_string(h.tests.size()) +
                      (h.tests.size() == 1 ? " test\n\n" : " tests\n\n");
    const auto& titles = historyTableTitles();
    static constexpr int kWidths[] = {-10, -5, 8, 9, 9, 9};
    auto row = [&](const std::vector<std::string>& cells) {
        for (size_t c = 0; c < cells.size(); ++c) {
            const int w = std::abs(kWidths[c]);
            std::string cell = cells[c];
            const std::string pad(cell.size() < static_cast<size_t>(w) ? w - cell.size() : 0, ' ');
            out += (kWidths[c] < 0 ? cell + pad : pad + cell) + (c + 1 < cells.size() ? "  " : "\n");
        }
    };
    row(titles);
    for (const auto& r : historyTableRows(h)) row(r);
    out += "\n";
    for (const std::string& line : historyErrorLines(h)) out += line + "\n";
    if (!h.changes.empty()) out += "\nChanges of the mean peak power:\n";
    for (const HistoryChange& c : h.changes)
        out += std::string(c.firstToLatest ? "  first to latest: " : "  ") + historyChangeLine(h, c) + "\n";
    if (h.leftOut > 0)
        out += "\n" + std::to_string(h.leftOut) +
               " repetition(s) left out: no peak, no side, or a load of 0 or below.\n";
    return out;
}

}  // namespace vanta::cli
