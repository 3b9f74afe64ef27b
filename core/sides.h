// The two sides of the subject and the loads as the station tells them apart: the one
// rule every screen, page and command that names a side or groups loads goes by, so the
// profile of a session and the history of a subject name a stroke alike.
#pragma once

#include <cstdint>
#include <optional>

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

}  // namespace vanta
