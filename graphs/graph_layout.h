// Where the curve graph screen draws, and the names of the five graph quantities.
#pragma once

#include <array>
#include <string_view>

#include "canvas/draw_context.h"
#include "storage/settings_file.h"

namespace vanta {

// Screen rectangles of the curve graph screen, in pixels of the view (y down). The view
// paints at these fixed places whatever the window's size.
inline constexpr Rect kHeaderRect{10, 5, 740, 30};
inline constexpr Rect kReadoutRect{10, 40, 740, 120};
inline constexpr Rect kPlotRect{60, 280, 690, 540};

// The same graph on paper, in 0.1 mm with y up: 140 mm by 60 mm, and the readout panel
// above it (its rows are drawn 8 mm high, so the panel reaches below the given bottom).
inline constexpr Rect kPaperPlotRect{200, -750, 1600, -1350};
inline constexpr Rect kPaperReadoutRect{0, -320, 1800, -380};

// The names of quantity codes 0..4 in the Y boxes, on the axes and in the axes dialog.
inline constexpr std::array<std::string_view, kGraphQuantities> quantityTitles = {
    "velocity (deg/s)", "Position (deg)", "velocity (cm/s)", "Force (N)", "Power (W)",
};

// A quantity code that indexes the graph settings: codes outside 0..4 (a settings file
// may hold anything) read as `fallback`.
inline int graphQuantity(int code, int fallback = 0) {
    return code >= 0 && code < kGraphQuantities ? code : fallback;
}

}  // namespace vanta
