#include "cli/profile_output.h"

#include <algorithm>
#include <cmath>

#include "cli/cli_output.h"
#include "profile/profile_texts.h"

namespace vanta::cli {

namespace {

std::string sideJson(const SideProfile& s) {
    std::string out = "{\"loads\": [";
    for (size_t i = 0; i < s.loads.size(); ++i) {
        const LoadBest& l = s.loads[i];
        out += i ? ", " : "";
        out += "{\"load\": " + jsonReal(l.load) + ", \"attempts\": " + std::to_string(l.attempts) +
               ", \"file\": " + jsonString(l.file) + ", \"repetition\": " + std::to_string(l.repetition + 1) +
               ", \"peakPower\": " + jsonReal(l.peakPower) +
               ", \"meanPowerAcceleration\": " + jsonReal(l.meanPowerAcceleration) +
               ", \"peakVelocity\": " + jsonReal(l.peakVelocity) +
               ", \"meanTorqueAcceleration\": " + jsonReal(l.meanTorqueAcceleration) +
               ", \"meanVelocityAcceleration\": " + jsonReal(l.meanVelocityAcceleration) + "}";
    }
    out += "], \"powerLoad\": ";
    if (const auto& f = s.powerLoad) {
        out += "{\"a\": " + jsonReal(f->a) + ", \"b\": " + jsonReal(f->b) + ", \"c\": " + jsonReal(f->c) +
               ", \"r2\": " + jsonReal(f->r2) + ", \"topLoad\": " + jsonReal(f->topLoad) +
               ", \"topPower\": " + jsonReal(f->topPower) + "}";
    } else {
        out += "null";
    }
    out += ", \"torqueVelocity\": ";
    if (const auto& f = s.torqueVelocity) {
        out += "{\"slope\": " + jsonReal(f->slope) + ", \"T0\": " + jsonReal(f->t0) + ", \"omega0\": " +
               jsonReal(f->omega0) + ", \"r2\": " + jsonReal(f->r2) + ", \"topPower\": " + jsonReal(f->topPower) + "}";
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
        out += "{\"load\": " + (a.load ? jsonReal(*a.load) : std::string("\"best\"")) + ", \"stronger\": " +
               (a.stronger ? jsonString(sideName(*a.stronger)) : std::string("null")) +
               ", \"percent\": " + jsonReal(a.percent) + "}";
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
