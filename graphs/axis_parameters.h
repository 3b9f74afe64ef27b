// The axes of the curve graph: the time step, the two vertical ranges with their tick
// steps (from the axes settings or, with autoscale On, from the data in the window), the
// scales that map them onto the plot rectangle, and the tick positions.
#pragma once

#include <cstdint>
#include <vector>

#include "canvas/draw_context.h"
#include "core/records.h"
#include "graphs/graph_view_state.h"
#include "storage/settings_file.h"

namespace vanta {

// One vertical axis. 64 bits: the settings may hold any 32-bit minimum and maximum, and
// their difference must not overflow.
struct AxisRange {
    int64_t min = 0;
    int64_t max = 0;
    int64_t step = 1;  // at least 1
    bool operator==(const AxisRange&) const = default;
};

struct AxisParameters {
    int timeStep = 1;  // samples between time ticks, at least 1
    AxisRange left;    // quantity y1
    AxisRange right;   // quantity y2
    bool operator==(const AxisParameters&) const = default;
};

// The ranges the data of the window give, with every habit of the station's autoscale:
// the maxima start at 0 and the minima at 9999 (float32), the last two samples of the
// window are not examined, a range reaching below 0 is made symmetric about 0, both ends
// are taken as 4 x trunc(v / 3) and the step is an eighth of the range, at least 1.
struct AutoscaleRanges {
    AxisRange left, right;
};
AutoscaleRanges autoscaleRange(const TestRecord& test, const GraphViewState& view);

// The axes as the graph draws them: the settings of quantities y1 and y2 (a step below 1
// becomes a tenth of the range, and at least 1), or with autoscale On (0) the ranges of
// the data; the time step is a tenth of the window, at least 1.
AxisParameters axisParameters(const TestRecord& test, const GraphSettings& settings, const GraphViewState& view);

// Logical units per sample and per quantity unit. A zero time span or a zero vertical
// range is drawn as a span or range of 1, so no coordinate becomes infinite.
struct GraphScales {
    double x = 0.0, y1 = 0.0, y2 = 0.0;
};
GraphScales graphScales(const Rect& plot, const GraphViewState& view, const AxisParameters& axes);

// The values that get a tick: min, min + step, ... while <= max. Ticks closer together
// than one logical unit of an axis `length` units long fall on one another, so a step that
// would give more ticks than the axis has units is widened until they fit: the settings
// may ask for a step of 1 over four billion.
std::vector<int64_t> tickValues(const AxisRange& range, int length);

// The sample indices that get a time tick: windowStart, + timeStep, ... while <= windowEnd.
std::vector<int> timeTicks(const GraphViewState& view, int timeStep);

// Logical offset of a real distance in plot units, truncated towards zero. Not-a-number
// gives 0 and values beyond a million units are held there: a float from a damaged file
// must not become an undefined integer, and nothing a device shows lies that far out.
int plotOffset(double units);

}  // namespace vanta
