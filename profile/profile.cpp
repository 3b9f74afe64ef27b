#include "profile/profile.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vanta {

bool appendTestAttempts(std::vector<ProfileAttempt>& attempts, const TestRecord& test, const std::string& file) {
    const int count = std::clamp(test.repetitionCount, 0, kMaxRepetitions);
    for (int r = 0; r < count; ++r)
        if (!std::isfinite(test.repetitions[static_cast<size_t>(r)].loadMass)) return false;
    for (int r = 0; r < count; ++r) {
        const RepetitionRecord& rep = test.repetitions[static_cast<size_t>(r)];
        const RepetitionResults& res = test.results[static_cast<size_t>(r)];
        ProfileAttempt a;
        a.file = file;
        a.repetition = r;
        a.direction = rep.direction;
        a.loadMass = rep.loadMass;
        // The analysis leaves the table as it was when it finds no velocity peak.
        a.hasPeak = res.velocityPeakIndex > 0;
        a.peakPower = res.at(PeakAll, ResultColumn::Power);
        a.meanPowerAcceleration = res.at(MeanAcceleration, ResultColumn::Power);
        a.peakVelocity = res.at(PeakAll, ResultColumn::Velocity);
        a.meanTorqueAcceleration = res.at(MeanAcceleration, ResultColumn::Torque);
        a.meanVelocityAcceleration = res.at(MeanAcceleration, ResultColumn::Velocity);
        attempts.push_back(std::move(a));
    }
    return true;
}

namespace {

// Solves the 3 x 3 system m x = v by elimination with the largest pivot; false when singular.
bool solve3(double m[3][3], double v[3], double x[3]) {
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int row = col + 1; row < 3; ++row)
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col])) pivot = row;
        if (m[pivot][col] == 0.0) return false;
        std::swap(m[pivot], m[col]);
        std::swap(v[pivot], v[col]);
        for (int row = col + 1; row < 3; ++row) {
            const double f = m[row][col] / m[col][col];
            for (int k = col; k < 3; ++k) m[row][k] -= f * m[col][k];
            v[row] -= f * v[col];
        }
    }
    for (int row = 2; row >= 0; --row) {
        double s = v[row];
        for (int k = row + 1; k < 3; ++k) s -= m[row][k] * x[k];
        x[row] = s / m[row][row];
    }
    return true;
}

std::optional<double> determination(double residualSquares, double totalSquares) {
    if (totalSquares == 0.0) return std::nullopt;
    return 1.0 - residualSquares / totalSquares;
}

}  // namespace

std::optional<PowerLoadFit> fitPowerLoad(const std::vector<LoadBest>& loads) {
    const size_t n = loads.size();
    if (n < 3) return std::nullopt;
    // The loads are centred on their mean first: squares of loads near 20 kg next to the
    // count would make the normal equations lose digits that the top needs.
    double mean = 0.0, meanPower = 0.0, lowest = loads[0].load, highest = loads[0].load, largest = 0.0;
    for (const LoadBest& l : loads) {
        mean += l.load;
        meanPower += l.peakPower;
        lowest = std::min(lowest, l.load);
        highest = std::max(highest, l.load);
        largest = std::max(largest, std::fabs(l.peakPower));
    }
    mean /= static_cast<double>(n);
    meanPower /= static_cast<double>(n);
    double s[5] = {}, t[3] = {};  // s[k] = sum x^k, t[k] = sum x^k y
    for (const LoadBest& l : loads) {
        const double x = l.load - mean;
        double p = 1.0;
        for (int k = 0; k < 5; ++k) {
            s[k] += p;
            if (k < 3) t[k] += p * l.peakPower;
            p *= x;
        }
    }
    double m[3][3] = {{s[4], s[3], s[2]}, {s[3], s[2], s[1]}, {s[2], s[1], s[0]}};
    double v[3] = {t[2], t[1], t[0]};
    double q[3];  // a, b and c of the centred parabola
    if (!solve3(m, v, q)) return std::nullopt;
    // Collinear points leave only rounding in a: a straight line has no top.
    const double span = highest - lowest;
    if (std::fabs(q[0]) * span * span <= 1e-12 * largest) q[0] = 0.0;

    PowerLoadFit fit;
    fit.a = q[0];
    fit.b = q[1] - 2.0 * q[0] * mean;
    fit.c = q[0] * mean * mean - q[1] * mean + q[2];
    double residual = 0.0, total = 0.0;
    for (const LoadBest& l : loads) {
        const double x = l.load - mean;
        const double e = l.peakPower - ((q[0] * x + q[1]) * x + q[2]);
        residual += e * e;
        total += (l.peakPower - meanPower) * (l.peakPower - meanPower);
    }
    fit.r2 = determination(residual, total);
    if (q[0] < 0.0) {
        const double x = -q[1] / (2.0 * q[0]);
        const double top = mean + x;
        if (top >= lowest && top <= highest) {
            fit.top = PowerLoadFit::Top::Inside;
            fit.topLoad = top;
            fit.topPower = (q[0] * x + q[1]) * x + q[2];
        } else {
            fit.top = PowerLoadFit::Top::Outside;
        }
    }
    return fit;
}

std::optional<TorqueVelocityFit> fitTorqueVelocity(const std::vector<LoadBest>& loads) {
    const size_t n = loads.size();
    if (n < 2) return std::nullopt;
    double mx = 0.0, my = 0.0;
    for (const LoadBest& l : loads) {
        mx += l.meanVelocityAcceleration;
        my += l.meanTorqueAcceleration;
    }
    mx /= static_cast<double>(n);
    my /= static_cast<double>(n);
    double sxx = 0.0, sxy = 0.0, syy = 0.0;
    for (const LoadBest& l : loads) {
        const double dx = l.meanVelocityAcceleration - mx, dy = l.meanTorqueAcceleration - my;
        sxx += dx * dx;
        sxy += dx * dy;
        syy += dy * dy;
    }
    // Every attempt at the same speed: no line of torque on velocity.
    if (sxx == 0.0) return std::nullopt;
    TorqueVelocityFit fit;
    fit.slope = sxy / sxx;
    fit.intercept = my - fit.slope * mx;
    double residual = 0.0;
    for (const LoadBest& l : loads) {
        const double e = l.meanTorqueAcceleration - (fit.intercept + fit.slope * l.meanVelocityAcceleration);
        residual += e * e;
    }
    fit.r2 = determination(residual, syy);
    if (fit.slope < 0.0) {
        fit.t0 = fit.intercept;
        fit.omega0 = -fit.intercept / fit.slope;
        // Power is torque times angular velocity in rad/s; on a falling line it is highest
        // at half of each intercept.
        fit.topPower = *fit.t0 * *fit.omega0 * std::numbers::pi / 180.0 / 4.0;
    }
    return fit;
}

Asymmetry asymmetryOf(double leftPower, double rightPower, std::optional<double> load) {
    Asymmetry a;
    a.load = load;
    if (leftPower == rightPower) return a;
    const bool leftStronger = leftPower > rightPower;
    a.stronger = leftStronger ? Side::Left : Side::Right;
    const double stronger = leftStronger ? leftPower : rightPower;
    const double weaker = leftStronger ? rightPower : leftPower;
    a.percent = (stronger - weaker) / stronger * 100.0;
    return a;
}

namespace {

// The side of an attempt the profile can place, or why it cannot (counted in `profile`).
std::optional<Side> placedSide(const ProfileAttempt& a, bool sidesSwapped, Profile& profile) {
    if (!a.hasPeak) {
        ++profile.withoutPeak;
        return std::nullopt;
    }
    if (!(a.loadMass > 0.0f) || !std::isfinite(a.loadMass)) {
        ++profile.badLoad;
        return std::nullopt;
    }
    const std::optional<Side> side = sideOfDirection(a.direction, a.sidesSwapped.value_or(sidesSwapped));
    if (!side) ++profile.withoutSide;
    return side;
}

// Every load tried on either side, grouped once for both (distinctLoads), so a load is
// the same load on the left and on the right.
std::vector<double> loadGroups(const std::vector<ProfileAttempt>& attempts, bool sidesSwapped) {
    std::vector<double> loads;
    Profile uncounted;
    for (const ProfileAttempt& a : attempts)
        if (placedSide(a, sidesSwapped, uncounted)) loads.push_back(a.loadMass);
    return distinctLoads(std::move(loads));
}

// Per side and load the attempt of highest peak power; on equal peak powers the attempt
// given first stays.
void takeBestAttempts(const std::vector<ProfileAttempt>& attempts, bool sidesSwapped, Profile& profile) {
    const std::vector<double> groups = loadGroups(attempts, sidesSwapped);
    std::vector<LoadBest> best[2];
    for (auto& side : best) side.resize(groups.size());
    for (const ProfileAttempt& a : attempts) {
        const std::optional<Side> side = placedSide(a, sidesSwapped, profile);
        if (!side) continue;
        const size_t g = *loadGroupOf(groups, a.loadMass);
        LoadBest& group = best[static_cast<int>(*side)][g];
        ++group.attempts;
        if (group.attempts == 1 || a.peakPower > group.peakPower) {
            group.load = groups[g];
            group.file = a.file;
            group.repetition = a.repetition;
            group.peakPower = a.peakPower;
            group.meanPowerAcceleration = a.meanPowerAcceleration;
            group.peakVelocity = a.peakVelocity;
            group.meanTorqueAcceleration = a.meanTorqueAcceleration;
            group.meanVelocityAcceleration = a.meanVelocityAcceleration;
        }
    }
    for (int s = 0; s < 2; ++s)
        for (LoadBest& group : best[s])
            if (group.attempts > 0) profile.sides[s].loads.push_back(std::move(group));
}

// Per load tried on both sides, ascending, then "best": each side's highest peak power.
void compareSides(Profile& profile) {
    const std::vector<LoadBest>& left = profile.side(Side::Left).loads;
    const std::vector<LoadBest>& right = profile.side(Side::Right).loads;
    for (const LoadBest& l : left)
        for (const LoadBest& r : right)
            if (l.load == r.load) profile.asymmetry.push_back(asymmetryOf(l.peakPower, r.peakPower, l.load));
    auto best = [](const std::vector<LoadBest>& loads) {
        double p = loads.front().peakPower;
        for (const LoadBest& l : loads) p = std::max(p, l.peakPower);
        return p;
    };
    profile.asymmetry.push_back(asymmetryOf(best(left), best(right), std::nullopt));
}

}  // namespace

Profile buildProfile(const std::vector<ProfileAttempt>& attempts, bool sidesSwapped) {
    Profile profile;
    takeBestAttempts(attempts, sidesSwapped, profile);
    for (SideProfile& s : profile.sides) {
        s.powerLoad = fitPowerLoad(s.loads);
        s.torqueVelocity = fitTorqueVelocity(s.loads);
    }
    if (profile.bothSides()) compareSides(profile);
    return profile;
}

}  // namespace vanta
