#include "graphs/axis_parameters.h"

#include <algorithm>
#include <cmath>

#include "core/analysis.h"
#include "graphs/graph_layout.h"

namespace vanta {

namespace {

// trunc towards zero of a float32 end of an autoscaled range, held far inside int64.
int64_t truncAxis(float v) {
    if (std::isnan(v)) return 0;
    const double limit = 1e12;
    const double d = std::clamp(static_cast<double>(v), -limit, limit);
    return static_cast<int64_t>(std::trunc(d));
}

AxisRange fromSettings(const GraphSettings& settings, int code) {
    const int q = graphQuantity(code);
    AxisRange r{settings.axisMin[q], settings.axisMax[q], settings.axisStep[q]};
    if (r.step < 1) r.step = (r.max - r.min) / 10;
    // A range below 10 with no stored step would give 0: the ticks still have to advance.
    if (r.step < 1) r.step = 1;
    return r;
}

AxisRange fromData(float lo, float hi) {
    if (lo < 0.0f) {
        if (hi < -lo)
            hi = -lo;
        else
            lo = -hi;
    }
    AxisRange r;
    r.min = 4 * truncAxis(lo / 3.0f);
    r.max = 4 * truncAxis(hi / 3.0f);
    r.step = std::max<int64_t>((r.max - r.min) / 8, 1);
    return r;
}

double scaleOf(int length, int64_t range) { return static_cast<double>(length) / static_cast<double>(range == 0 ? 1 : range); }

}  // namespace

AutoscaleRanges autoscaleRange(const TestRecord& test, const GraphViewState& view) {
    float lo1 = 9999.0f, lo2 = 9999.0f;
    float hi1 = 0.0f, hi2 = 0.0f;
    // The last two samples of the window are left out, as the station always has; a
    // window reaching past the repetition's samples (a longer compared stroke) takes its
    // samples alone.
    const bool inRecord = view.repetition >= 0 && view.repetition < kMaxRepetitions;
    const int samples = inRecord ? test.repetitions[static_cast<size_t>(view.repetition)].validSamples() : 0;
    const int end = std::min(view.windowEnd - 1, samples);
    for (int i = view.windowStart; i < end; ++i) {
        const float v1 = static_cast<float>(quantityAt(test, i, view.y1, view.repetition));
        const float v2 = static_cast<float>(quantityAt(test, i, view.y2, view.repetition));
        if (hi1 < v1) hi1 = v1;
        if (hi2 < v2) hi2 = v2;
        if (lo1 > v1) lo1 = v1;
        if (lo2 > v2) lo2 = v2;
    }
    return {fromData(lo1, hi1), fromData(lo2, hi2)};
}

AxisParameters axisParameters(const TestRecord& test, const GraphSettings& settings, const GraphViewState& view) {
    AxisParameters p;
    const int span = view.windowEnd - view.windowStart;
    p.timeStep = std::max(span / 10, 1);
    if (settings.autoscale == 0) {
        const AutoscaleRanges r = autoscaleRange(test, view);
        p.left = r.left;
        p.right = r.right;
    } else {
        p.left = fromSettings(settings, view.y1);
        p.right = fromSettings(settings, view.y2);
    }
    return p;
}

GraphScales graphScales(const Rect& plot, const GraphViewState& view, const AxisParameters& axes) {
    GraphScales s;
    s.x = scaleOf(plot.right - plot.left, static_cast<int64_t>(view.windowEnd) - view.windowStart);
    s.y1 = scaleOf(plot.bottom - plot.top, axes.left.max - axes.left.min);
    s.y2 = scaleOf(plot.bottom - plot.top, axes.right.max - axes.right.min);
    return s;
}

std::vector<int64_t> tickValues(const AxisRange& range, int length) {
    std::vector<int64_t> ticks;
    if (range.max < range.min) return ticks;
    int64_t step = std::max<int64_t>(range.step, 1);
    const int64_t units = std::max<int64_t>(std::abs(static_cast<int64_t>(length)), 1);
    const int64_t span = range.max - range.min;
    if (span / step > units) step = (span + units - 1) / units;
    ticks.reserve(static_cast<size_t>(span / step + 1));
    for (int64_t t = range.min; t <= range.max; t += step) ticks.push_back(t);
    return ticks;
}

std::vector<int> timeTicks(const GraphViewState& view, int timeStep) {
    std::vector<int> ticks;
    const int step = std::max(timeStep, 1);
    for (int64_t t = view.windowStart; t <= view.windowEnd; t += step) ticks.push_back(static_cast<int>(t));
    return ticks;
}

int plotOffset(double units) {
    constexpr double kFar = 1e6;
    if (std::isnan(units)) return 0;
    return static_cast<int>(std::trunc(std::clamp(units, -kFar, kFar)));
}

}  // namespace vanta
