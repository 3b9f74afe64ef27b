#include "cli/profile_output.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "cli/cli_output.h"
#include "profile/profile_texts.h"

namespace vanta::cli {

namespace {

// Shortest text that reads back as the same double, with a point so that a reader takes a
// load of 10 kg for a real number as well; null where there is no value.
std::string number(double v) {
    if (!std::isfinite(v)) return "null";
    char text[64];
    const auto res = std::to_chars(text, text + sizeof text, v);
    std::string s(text, res.ptr);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}
std::string number(const std::optional<double>& v) { return v ? number(*v) : "null"; }

std::string sideJson(const SideProfile& s) {
    std::string out = "{\"loads\": [";
    for (size_t i = 0; i < s.loads.size(); ++i) {
        const LoadBest& l = s.loads[i];
        out += i ? ", " : "";
        out += "{\"load\": " + number(l.load) + ", \"attempts\": " + std::to_string(l.attempts) +
               ", \"file\": " + jsonString(l.file) + ", \"repetition\": " + std::to_string(l.repetition + 1) +
               ", \"peakPower\": " + number(l.peakPower) +
               ", \"meanPowerAcceleration\": " + number(l.meanPowerAcceleration) +
               ", \"peakVelocity\": " + number(l.peakVelocity) +
               ", \"meanTorqueAcceleration\": " + number(l.meanTorqueAcceleration) +
               ", \"meanVelocityAcceleration\": " + number(l.meanVelocityAcceleration) + "}";
    }
    out += "], \"powerLoad\": ";
    if (const auto& f = s.powerLoad) {
        out += "{\"a\": " + number(f->a) + ", \"b\": " + number(f->b) + ", \"c\": " + number(f->c) +
               ", \"r2\": " + number(f->r2) + ", \"topLoad\": " + number(f->topLoad) +
               ", \"topPower\": " + number(f->topPower) + "}";
    } else {
        out += "null";
    }
    out += ", \"torqueVelocity\": ";
    if (const auto& f = s.torqueVelocity) {
        out += "{\"slope\": " + number(f->slope) + ", \"T0\": " + number(f->t0) + ", \"omega0\": " +
               number(f->omega0) + ", \"r2\": " + number(f->r2) + ", \"topPower\": " + number(f->topPower) + "}";
    } else {
        out += "null";
    }
    return out + "}";
}

}  // namespace

std::string profileJson(const Profile& profile) {
    std::string out = "{\"sides\": {\"left\": " + sideJson(profile.side(Side::Left)) +
                      ", \"right\": " + sideJson(profile.side(Side::Right)) + "}, \"asymmetry\": [";
    for (size_t i = 0; i < profile.asymmetry.size(); ++i) {
        const Asymmetry& a = profile.asymmetry[i];
        out += i ? ", " : "";
        out += "{\"load\": " + (a.load ? number(*a.load) : std::string("\"best\"")) + ", \"stronger\": " +
               (a.stronger ? jsonString(sideName(*a.stronger)) : std::string("null")) +
               ", \"percent\": " + number(a.percent) + "}";
    }
    return out + "]}\n";
}

std::string profileText(const Profile& profile) {
    std::vector<std::vector<std::string>> rows = profileTableRows(profile);
    rows.insert(rows.begin(), profileTableTitles());
    std::vector<size_t> widths(rows.front().size(), 0);
    for (const auto& row : rows)
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            const std::string pad(widths[c] - row[c].size(), ' ');
            // Names left, numbers right.
            const bool left = c == 0 || c == static_cast<size_t>(kProfileFileColumn);
            line += (c ? "  " : "") + (left ? row[c] + pad : pad + row[c]);
        }
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out += line + "\n";
    }
    out += "\n";
    for (const std::string& line : profileFitLines(profile)) out += line + "\n";
    for (const std::string& line : profileAsymmetryLines(profile)) out += line + "\n";
    if (const std::string note = profileNote(profile); !note.empty()) out += note + "\n";
    return out;
}

}  // namespace vanta::cli
