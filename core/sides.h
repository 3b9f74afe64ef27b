// The two sides of the subject and the loads as the station tells them apart: the one
// rule every screen, page and command that names a side or groups loads goes by, so the
// profile of a session and the history of a subject name a stroke alike.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vanta {

enum class Side { Left = 0, Right = 1 };

inline Side otherSide(Side s) { return s == Side::Left ? Side::Right : Side::Left; }
inline const char* sideName(Side side) { return side == Side::Left ? "left" : "right"; }

// The side of a stroke: direction +1 turns towards positive angles (clockwise on the
// station's dial seen from above), which is the subject's right; -1 is the left. A box
// mounted the other way round swaps the names (the settings' sidesSwapped). A direction
// of 0, which only a damaged file holds, has no side.
inline std::optional<Side> sideOfDirection(int32_t direction, bool sidesSwapped) {
    if (direction == 0) return std::nullopt;
    const Side towardsPositive = sidesSwapped ? Side::Left : Side::Right;
    return direction > 0 ? towardsPositive : otherSide(towardsPositive);
}

// Loads equal within this many kilograms are one load.
inline constexpr double kSameLoadKg = 0.005;

// Whether `load` is the load `groupLoad` stands for: not below it and within kSameLoadKg.
inline bool inLoadGroup(double groupLoad, double load) { return load >= groupLoad && load - groupLoad <= kSameLoadKg; }

// The distinct loads among `loads`, ascending. Each stands for the loads from it up to
// kSameLoadKg above it: sorted, a load starts a group of its own once it lies more than
// kSameLoadKg above the lowest load of the group before. Measuring from the group's lowest
// load, never from its latest member, keeps groups from chaining: 10.000, 10.004 and
// 10.008 kg are two loads (10.000 and 10.008) in whatever order they come. A load that is
// not a finite number belongs to no group.
inline std::vector<double> distinctLoads(std::vector<double> loads) {
    std::erase_if(loads, [](double x) { return !std::isfinite(x); });
    std::sort(loads.begin(), loads.end());
    std::vector<double> groups;
    for (double x : loads)
        if (groups.empty() || !inLoadGroup(groups.back(), x)) groups.push_back(x);
    return groups;
}

// The index in `groups` (as distinctLoads gives them) of the group `load` belongs to: the
// highest group load not above it, when `load` lies within kSameLoadKg of it.
inline std::optional<size_t> loadGroupOf(const std::vector<double>& groups, double load) {
    const auto above = std::upper_bound(groups.begin(), groups.end(), load);
    if (above == groups.begin() || !inLoadGroup(*(above - 1), load)) return std::nullopt;
    return static_cast<size_t>(above - groups.begin() - 1);
}

}  // namespace vanta
