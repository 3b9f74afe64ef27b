#include "profile/profile_texts.h"

#include <cstdio>

namespace vanta {

namespace {

template <typename... A>
std::string format(const char* pattern, A... values) {
    char text[160];
    std::snprintf(text, sizeof text, pattern, values...);
    return text;
}

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

constexpr Side kSideOrder[] = {Side::Left, Side::Right};

}  // namespace

bool weakFit(const TorqueVelocityFit& fit) { return fit.r2 && *fit.r2 < kWeakFitR2; }

std::string loadText(double kg) { return format("%.2f", kg); }

const std::vector<std::string>& profileTableTitles() {
    static const std::vector<std::string> titles = {
        "Side",         "Load (kg)",     "Attempts",       "File",           "Rep",
        "P peak (W)",   "P acc. (W)",    "v peak (deg/s)", "T acc. (N.m)",   "v acc. (deg/s)"};
    return titles;
}

std::vector<std::vector<std::string>> profileTableRows(const Profile& profile, bool fileBaseName) {
    std::vector<std::vector<std::string>> rows;
    for (Side side : kSideOrder) {
        for (const LoadBest& l : profile.side(side).loads) {
            rows.push_back({sideName(side), loadText(l.load), std::to_string(l.attempts),
                            fileBaseName ? baseName(l.file) : l.file, std::to_string(l.repetition + 1),
                            format("%.1f", l.peakPower), format("%.1f", l.meanPowerAcceleration),
                            format("%.1f", l.peakVelocity), format("%.2f", l.meanTorqueAcceleration),
                            format("%.1f", l.meanVelocityAcceleration)});
        }
    }
    return rows;
}

std::vector<Side> profileRowSides(const Profile& profile) {
    std::vector<Side> sides;
    for (Side side : kSideOrder) sides.insert(sides.end(), profile.side(side).loads.size(), side);
    return sides;
}

std::vector<std::string> profileFitLines(const Profile& profile) {
    std::vector<std::string> lines;
    for (Side side : kSideOrder) {
        const SideProfile& s = profile.side(side);
        if (s.loads.empty()) continue;
        std::string power = std::string("Power-load ") + sideName(side) + ": ";
        if (!s.powerLoad) {
            power += "fewer than three loads, no parabola";
        } else {
            const PowerLoadFit& f = *s.powerLoad;
            power += format("P = %.4g L^2 %+.4g L %+.4g, ", f.a, f.b, f.c);
            // A parabola has three numbers: through three loads it fits any points at all,
            // and an r2 of 1 would claim a confidence the data cannot give.
            if (s.loads.size() == 3) power += "exact through 3 points";
            else power += "r2 " + (f.r2 ? format("%.3f", *f.r2) : std::string("-"));
            switch (f.top) {
                case PowerLoadFit::Top::Inside:
                    power += format("; top %.1f W at %s kg", *f.topPower, loadText(*f.topLoad).c_str());
                    break;
                case PowerLoadFit::Top::Outside: power += "; the top lies outside the tested loads"; break;
                case PowerLoadFit::Top::None: power += "; no top"; break;
            }
        }
        lines.push_back(power);

        std::string torque = std::string("Torque-velocity ") + sideName(side) + ": ";
        if (!s.torqueVelocity) {
            torque += s.loads.size() < 2 ? "fewer than two loads, no line" : "one velocity only, no line";
        } else {
            const TorqueVelocityFit& f = *s.torqueVelocity;
            if (weakFit(f)) torque += format("weak fit (r2 %.2f), so these are uncertain: ", *f.r2);
            if (f.t0)
                torque += format("T0 %.2f N.m, w0 %.1f deg/s, top power %.1f W, ", *f.t0, *f.omega0, *f.topPower);
            else
                torque += "the torque does not fall with velocity, ";
            torque += format("slope %.4g N.m per deg/s", f.slope);
            if (!weakFit(f)) torque += ", r2 " + (f.r2 ? format("%.3f", *f.r2) : std::string("-"));
        }
        lines.push_back(torque);
    }
    return lines;
}

std::vector<std::string> profileAsymmetryLines(const Profile& profile) {
    if (!profile.bothSides()) {
        const bool none = profile.side(Side::Left).loads.empty() && profile.side(Side::Right).loads.empty();
        return {none ? "No attempts: no profile" : "One side only: no asymmetry"};
    }
    std::vector<std::string> lines;
    for (const Asymmetry& a : profile.asymmetry) {
        std::string line = "Asymmetry " + (a.load ? "at " + loadText(*a.load) + " kg" : std::string("best")) + ": ";
        if (a.stronger) line += format("%s stronger by %.1f %%", sideName(*a.stronger), a.percent);
        else line += format("both sides equal, %.1f %%", a.percent);
        lines.push_back(line);
    }
    if (profile.asymmetry.size() == 1) lines.insert(lines.begin(), "No load tested on both sides");
    return lines;
}

std::string profileNote(const Profile& profile) {
    std::string note;
    auto add = [&](int count, const char* what) {
        if (count == 0) return;
        note += note.empty() ? "Left out: " : ", ";
        note += std::to_string(count) + (count == 1 ? " repetition " : " repetitions ") + what;
    };
    add(profile.withoutPeak, "without a peak");
    add(profile.badLoad, "with a load of 0 or below");
    add(profile.withoutSide, "without a direction");
    return note;
}

}  // namespace vanta
