// The load-power profile of a subject across loads and sides, from the repetitions of one
// or more tests: per side and load the best attempt, the power-load parabola, the
// torque-velocity line, and the asymmetry between the sides. Plain numerics on the
// analysed results; every sum in double and nothing rounded before the display.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/records.h"
#include "core/sides.h"

namespace vanta {

// One repetition as the profile sees it.
struct ProfileAttempt {
    std::string file;    // the test it came from, as the caller names it
    int repetition = 0;  // 0-based within its test
    int32_t direction = 0;
    // How the station that recorded it named the sides, where the archive kept it; unset:
    // as buildProfile's caller names them.
    std::optional<bool> sidesSwapped;
    float loadMass = 0.0f;
    bool hasPeak = false;  // false: the analysis found no peak, the results were never written
    float peakPower = 0.0f;                 // PeakAll, W
    float meanPowerAcceleration = 0.0f;     // MeanAcceleration, W
    float peakVelocity = 0.0f;              // PeakAll, deg/s
    float meanTorqueAcceleration = 0.0f;    // MeanAcceleration, N.m
    float meanVelocityAcceleration = 0.0f;  // MeanAcceleration, deg/s
};

// Appends the analysed repetitions of `test` in their order. False when a load is NaN or
// infinite: such a file is damaged and refused as incompatible data (nothing is appended).
bool appendTestAttempts(std::vector<ProfileAttempt>& attempts, const TestRecord& test, const std::string& file);

// The best attempt at one load on one side.
struct LoadBest {
    double load = 0.0;  // the load of the group over both sides (distinctLoads)
    int attempts = 0;
    std::string file;
    int repetition = 0;  // 0-based
    double peakPower = 0.0;
    double meanPowerAcceleration = 0.0;
    double peakVelocity = 0.0;
    double meanTorqueAcceleration = 0.0;
    double meanVelocityAcceleration = 0.0;
};

// P(L) = a L^2 + b L + c by least squares through the best peak powers.
struct PowerLoadFit {
    double a = 0.0, b = 0.0, c = 0.0;
    std::optional<double> r2;  // none when every power is the same
    // The top -b / 2a when a < 0 and it lies within the loads tested.
    std::optional<double> topLoad, topPower;
    enum class Top { Inside, Outside, None } top = Top::None;  // None: a >= 0, no top
};

// Mean torque of the acceleration phase on its mean angular velocity, least squares.
struct TorqueVelocityFit {
    double slope = 0.0;        // N.m per deg/s
    double intercept = 0.0;    // torque at zero velocity
    std::optional<double> r2;  // none when every torque is the same
    // Only where the slope is negative: T0 (N.m), omega0 (deg/s), T0 omega0 pi/180/4 (W).
    std::optional<double> t0, omega0, topPower;
};

struct SideProfile {
    std::vector<LoadBest> loads;  // ascending load
    std::optional<PowerLoadFit> powerLoad;            // three distinct loads or more
    std::optional<TorqueVelocityFit> torqueVelocity;  // two or more, velocities not all equal
};

struct Asymmetry {
    std::optional<double> load;     // none: "best", each side's highest peak power
    std::optional<Side> stronger;   // none when both are equal
    double percent = 0.0;           // (stronger - weaker) / stronger x 100
};

struct Profile {
    SideProfile sides[2];  // indexed by Side
    std::vector<Asymmetry> asymmetry;  // per load tested on both sides, then "best"
    int withoutPeak = 0;   // repetitions left out: no peak
    int badLoad = 0;       // left out: load 0 or below, or not a finite number
    int withoutSide = 0;   // left out: direction 0
    const SideProfile& side(Side s) const { return sides[static_cast<int>(s)]; }
    bool bothSides() const { return !sides[0].loads.empty() && !sides[1].loads.empty(); }
};

// The loads are grouped over both sides at once (distinctLoads), so the asymmetry compares
// a load with the same load.
Profile buildProfile(const std::vector<ProfileAttempt>& attempts, bool sidesSwapped);

// The two fits on their own, for the points of one side.
std::optional<PowerLoadFit> fitPowerLoad(const std::vector<LoadBest>& loads);
std::optional<TorqueVelocityFit> fitTorqueVelocity(const std::vector<LoadBest>& loads);
Asymmetry asymmetryOf(double leftPower, double rightPower, std::optional<double> load);

}  // namespace vanta
