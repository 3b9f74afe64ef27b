#include "cli/history_output.h"

#include <cmath>

#include "cli/cli_output.h"
#include "history/history_texts.h"

namespace vanta::cli {

namespace {

// Per side and load: each load's own error.
std::string errorsJson(const History& h) {
    std::string out = "[";
    for (size_t i = 0; i < h.errors.size(); ++i) {
        const HistoryError& e = h.errors[i];
        out += std::string(i ? ", " : "") + "{\"side\": \"" + sideName(e.side) + "\", \"load\": " + jsonReal(e.load) +
               ", \"testsWithRepeats\": " + std::to_string(e.testsWithRepeats) + ", \"sem\": " + jsonReal(e.sem) +
               ", \"mdc95\": " + jsonReal(e.mdc95) + "}";
    }
    return out + "]";
}

}  // namespace

std::string subjectIdOf(const std::vector<archive::IndexedTest>& tests) {
    std::string id;
    for (const archive::IndexedTest& t : tests) {
        if (t.subjectId.empty()) continue;
        if (!id.empty() && id != t.subjectId) return {};
        id = t.subjectId;
    }
    return id;
}

std::string historyJson(const History& h, const std::string& subjectId) {
    std::string out = "{\"subject\": " + jsonString(h.subject) + ", \"errors\": " + errorsJson(h) + ", \"tests\": [";
    for (size_t i = 0; i < h.tests.size(); ++i) {
        const HistoryTest& t = h.tests[i];
        out += std::string(i ? ", " : "") + "{\"file\": " + jsonString(t.file) +
               ", \"testTime\": " + std::to_string(t.testTime) + ", \"sides\": {";
        for (Side s : {Side::Left, Side::Right}) {
            out += std::string(s == Side::Right ? ", " : "") + "\"" + sideName(s) + "\": [";
            for (size_t k = 0; k < t.side(s).size(); ++k) {
                const HistoryLoad& l = t.side(s)[k];
                out += std::string(k ? ", " : "") + "{\"load\": " + jsonReal(l.load) +
                       ", \"attempts\": " + std::to_string(l.attempts) + ", \"bestPeakPower\": " +
                       jsonReal(l.bestPeakPower) + ", \"meanPeakPower\": " + jsonReal(l.meanPeakPower) + "}";
            }
            out += "]";
        }
        out += "}}";
    }
    out += "], \"changes\": [";
    for (size_t i = 0; i < h.changes.size(); ++i) {
        const HistoryChange& c = h.changes[i];
        out += std::string(i ? ", " : "") + "{\"side\": \"" + sideName(c.side) + "\", \"load\": " + jsonReal(c.load) +
               ", \"from\": " + std::to_string(h.tests[c.from].testTime) +
               ", \"to\": " + std::to_string(h.tests[c.to].testTime) + ", \"watts\": " + jsonReal(c.watts) +
               ", \"percent\": " + jsonReal(c.percent) + ", \"mdc95\": " + jsonReal(c.mdc95) + ", \"beyondError\": " +
               (c.beyondError ? (*c.beyondError ? "true" : "false") : "null") +
               ", \"kind\": " + (c.firstToLatest ? "\"firstToLatest\"" : "\"consecutive\"") + "}";
    }
    return out + "], \"subjectId\": " + (subjectId.empty() ? std::string("null") : jsonString(subjectId)) + "}\n";
}

std::string historyText(const History& h) {
    std::string out = "History of " + plainText(h.subject) + ": " + std::to_string(h.tests.size()) +
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
