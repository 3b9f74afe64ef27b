// The profile drawn through DrawContext, one routine for the screen (pixels, y down) and
// for paper (0.1 mm, y up): the best peak power of each side against load with the fitted
// parabolas and their tops, the torque-velocity lines in a second, smaller plot, the table
// per side and load, the asymmetry lines and the note on what was left out.
#pragma once

#include "canvas/draw_context.h"
#include "profile/profile.h"

namespace vanta {

// The colours of the sides; the left side's points are discs, the right side's squares,
// so the sides stay apart on a black-and-white printer too.
inline constexpr Color kLeftSideColor{0, 90, 200};
inline constexpr Color kRightSideColor{210, 30, 30};

// Draws into `area` (its top edge first). Pen, brush, font and text colour are put back.
void drawProfile(DrawContext& dc, const Rect& area, const Profile& profile);

}  // namespace vanta
