#include "graphs/curve_graph_renderer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/analysis.h"
#include "graphs/axis_parameters.h"
#include "graphs/graph_layout.h"

namespace vanta {

namespace {

const Pen kBlackPen{kBlack, 1, PenStyle::Solid};
const Pen kBluePen{kBlue, 1, PenStyle::Solid};
const Pen kRedPen{kRed, 1, PenStyle::Solid};
const Pen kLeftCurvePen{kLeftCurveColor, 1, PenStyle::Solid};

// Tick lengths and label rectangles around the plot. On screen y grows downwards; on paper
// (0.1 mm, y up) the same items are larger and lie on the other side of the numbers.
struct AxisLayout {
    int timeTick;                            // downwards from the bottom edge
    int timeLabelHalfWidth, timeLabelTop, timeLabelBottom;  // below d
    int timeTitleTop, timeTitleBottom;       // below d
    int sideTick;                            // outwards from the left and right edges
    int leftLabelOuter, leftLabelInner;      // left of a
    int rightLabelInner, rightLabelOuter;    // right of c
    int labelHalfHeight;                     // above and below the tick
    int leftTitleOuter, leftTitleInner;      // around a
    int rightTitleInner, rightTitleOuter;    // around c
    int titleTop, titleBottom;               // above b
};

// Screen: pixels, y down. Paper: 0.1 mm, y up, so "below d" is d minus the distance.
constexpr AxisLayout kScreenLayout{3, 20, 10, 25, 35, 50, 3, 40, 5, 5, 50, 10, 40, 60, 60, 40, 35, 15};
constexpr AxisLayout kPaperLayout{20, 200, 20, 60, 80, 120, 15, 120, 20, 20, 200, 20, 200, 300, 300, 200, 60, 20};

std::string number(long long v) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld", v);
    return text;
}

// Maps samples and values of one drawing to logical coordinates, truncating towards zero.
// The offsets are the scales of the drawing applied as plot length x distance / range, so
// whole numbers come out whole: with the scale multiplied in as a rounded double, a zoom to
// one span in eighty would leave the right cursor a pixel inside the frame.
struct Mapping {
    Rect plot;
    int64_t windowStart, span;  // span 1 where the window has none
    AxisRange left, right;
    int64_t range1, range2;     // 1 where the axis has none

    static int64_t nonZero(int64_t v) { return v == 0 ? 1 : v; }
    Mapping(const Rect& p, const GraphViewState& view, const AxisParameters& axes)
        : plot(p), windowStart(view.windowStart), span(nonZero(int64_t{view.windowEnd} - view.windowStart)),
          left(axes.left), right(axes.right), range1(nonZero(axes.left.max - axes.left.min)),
          range2(nonZero(axes.right.max - axes.right.min)) {}

    int height() const { return plot.bottom - plot.top; }
    int x(int sample) const {
        return plot.left + static_cast<int>((int64_t{sample} - windowStart) * (plot.right - plot.left) / span);
    }
    static int offset(int64_t t, int64_t min, int64_t range, int length) {
        return plotOffset(static_cast<double>((t - min) * length / range));
    }
    static int offset(double v, int64_t min, int64_t range, int length) {
        return plotOffset((v - static_cast<double>(min)) * length / static_cast<double>(range));
    }
    int y1(double v) const { return plot.bottom - offset(v, left.min, range1, height()); }
    int y2(double v) const { return plot.bottom - offset(v, right.min, range2, height()); }
    int tick1(int64_t t) const { return plot.bottom - offset(t, left.min, range1, height()); }
    int tick2(int64_t t) const { return plot.bottom - offset(t, right.min, range2, height()); }
    // The zero line: d + trunc(min x scale).
    int zero1() const { return plot.bottom + offset(left.min, 0, range1, height()); }
    int zero2() const { return plot.bottom + offset(right.min, 0, range2, height()); }
};

// The curves exactly as the station has always drawn them: for every sample a line from the
// previous one, first the left curve, then the right, so the right paints over the left
// where they meet. The first line has zero length.
void drawSegments(DrawContext& dc, const TestRecord& test, const GraphViewState& view, const Mapping& m) {
    const int r = view.repetition;
    double p1 = quantityAt(test, view.windowStart, view.y1, r);
    double p2 = quantityAt(test, view.windowStart, view.y2, r);
    int px = view.windowStart;
    for (int i = view.windowStart; i < view.windowEnd; ++i) {
        const double v1 = quantityAt(test, i, view.y1, r);
        dc.selectPen(kLeftCurvePen);
        dc.line(m.x(px), m.y1(p1), m.x(i), m.y1(v1));
        const double v2 = quantityAt(test, i, view.y2, r);
        dc.selectPen(kRedPen);
        dc.line(m.x(px), m.y2(p2), m.x(i), m.y2(v2));
        p1 = v1;
        p2 = v2;
        px = i;
    }
}

// One plot column of the two curves as the line-by-line drawing leaves it. Every sample of
// the column has the same x, so the lines between them are vertical: together they cover
// the span from the lowest to the highest value of each curve, and where the two spans
// overlap a pixel shows the colour of the latest line over it. Going through the lines
// from the last back to the first, each pixel takes the colour of the first line found
// over it; once both spans are covered the earlier lines can change nothing.
class ColumnPainter {
public:
    struct Run {
        int lo, hi, curve;  // pixel rows lo..hi of curve 0 (left) or 1 (right)
    };

    // The pixel rows of the column's samples, per curve, in sample order.
    std::vector<int> rows[2];

    const std::vector<Run>& paint() {
        covered_.clear();
        runs_.clear();
        const size_t n = rows[0].size();
        if (n < 2) return runs_;
        const int64_t wanted = hullUnion();
        for (size_t k = n - 1; k >= 1 && coveredCount() < wanted; --k) {
            for (int curve : {1, 0}) {  // the right curve's line was drawn after the left's
                const int a = rows[curve][k - 1], b = rows[curve][k];
                cover(std::min(a, b), std::max(a, b), curve);
            }
        }
        // Neighbouring runs of one curve become one line.
        std::sort(runs_.begin(), runs_.end(), [](const Run& x, const Run& y) { return x.lo < y.lo; });
        size_t out = 0;
        for (const Run& r : runs_) {
            if (out > 0 && runs_[out - 1].curve == r.curve && runs_[out - 1].hi + 1 == r.lo)
                runs_[out - 1].hi = r.hi;
            else
                runs_[out++] = r;
        }
        runs_.resize(out);
        return runs_;
    }

private:
    struct Span {
        int lo, hi;
    };

    int64_t hullUnion() const {
        Span h[2];
        for (int c = 0; c < 2; ++c) {
            const auto [lo, hi] = std::minmax_element(rows[c].begin(), rows[c].end());
            h[c] = {*lo, *hi};
        }
        const int64_t overlap = std::max<int64_t>(0, int64_t{std::min(h[0].hi, h[1].hi)} - std::max(h[0].lo, h[1].lo) + 1);
        return (int64_t{h[0].hi} - h[0].lo + 1) + (int64_t{h[1].hi} - h[1].lo + 1) - overlap;
    }

    int64_t coveredCount() const {
        int64_t n = 0;
        for (const Span& s : covered_) n += int64_t{s.hi} - s.lo + 1;
        return n;
    }

    // Gives the rows lo..hi not yet covered to `curve` and marks them covered.
    void cover(int lo, int hi, int curve) {
        int next = lo;
        for (const Span& s : covered_) {
            if (s.hi < next) continue;
            if (s.lo > hi) break;
            if (s.lo > next) runs_.push_back({next, s.lo - 1, curve});
            next = s.hi + 1;
            if (next > hi) break;
        }
        if (next <= hi) runs_.push_back({next, hi, curve});
        // Merge lo..hi into the sorted, separate spans.
        Span merged{lo, hi};
        std::vector<Span> kept;
        kept.reserve(covered_.size() + 1);
        bool placed = false;
        for (const Span& s : covered_) {
            if (int64_t{s.hi} + 1 < merged.lo) {
                kept.push_back(s);
            } else if (int64_t{merged.hi} + 1 < s.lo) {
                if (!placed) kept.push_back(merged), placed = true;
                kept.push_back(s);
            } else {
                merged = {std::min(merged.lo, s.lo), std::max(merged.hi, s.hi)};
            }
        }
        if (!placed) kept.push_back(merged);
        covered_.swap(kept);
    }

    std::vector<Span> covered_;
    std::vector<Run> runs_;
};

// The same picture per plot column: for each column the line into it from where each curve
// left the previous column (left curve first, as the samples are drawn), then the vertical
// runs of both curves coloured as the line-by-line drawing leaves them. A column costs a
// few lines however many samples fall into it.
void drawColumns(DrawContext& dc, const TestRecord& test, const GraphViewState& view, const Mapping& m) {
    const int r = view.repetition;
    ColumnPainter painter;
    int column = m.x(view.windowStart);
    // The first line has zero length, as in the line-by-line drawing.
    Point from[2] = {{column, m.y1(quantityAt(test, view.windowStart, view.y1, r))},
                     {column, m.y2(quantityAt(test, view.windowStart, view.y2, r))}};
    const Pen* pens[2] = {&kLeftCurvePen, &kRedPen};

    auto flush = [&] {
        for (int c = 0; c < 2; ++c) {
            dc.selectPen(*pens[c]);
            dc.line(from[c].x, from[c].y, column, painter.rows[c].front());
        }
        const std::vector<ColumnPainter::Run>& runs = painter.paint();
        for (int c : {1, 0}) {
            bool selected = c == 1;  // the right curve's pen is still selected
            for (const ColumnPainter::Run& run : runs) {
                if (run.curve != c) continue;
                if (!selected) dc.selectPen(*pens[c]), selected = true;
                dc.line(column, run.lo, column, run.hi);
            }
        }
        for (int c = 0; c < 2; ++c) {
            from[c] = {column, painter.rows[c].back()};
            painter.rows[c].clear();
        }
    };

    for (int i = view.windowStart; i < view.windowEnd; ++i) {
        const int x = m.x(i);
        if (x != column) {
            flush();
            column = x;
        }
        painter.rows[0].push_back(m.y1(quantityAt(test, i, view.y1, r)));
        painter.rows[1].push_back(m.y2(quantityAt(test, i, view.y2, r)));
    }
    flush();
}

}  // namespace

namespace {

// The compared repetition: one polyline per quantity, sample i of it under sample i of the
// shown one. Only the window's samples it has are drawn.
void drawOverlay(DrawContext& dc, const CurveOverlay& o, const GraphViewState& view, const Mapping& m) {
    if (o.repetition < 0 || o.repetition >= std::min(o.test->repetitionCount, kMaxRepetitions)) return;
    const int end = std::min(view.windowEnd, o.test->repetitions[static_cast<size_t>(o.repetition)].validSamples());
    std::vector<Point> curve;
    // Dashed as well as lighter: the two shades stay apart on a grey printout and for an
    // eye that does not tell the colours apart.
    const Pen pens[2] = {Pen{kLeftOverlayColor, 1, PenStyle::Dash}, Pen{kRightOverlayColor, 1, PenStyle::Dash}};
    for (int k = 0; k < 2; ++k) {
        curve.clear();
        const int quantity = k == 0 ? view.y1 : view.y2;
        for (int i = std::max(view.windowStart, 0); i < end; ++i) {
            const double v = quantityAt(*o.test, i, quantity, o.repetition);
            curve.push_back(Point{m.x(i), k == 0 ? m.y1(v) : m.y2(v)});
        }
        dc.selectPen(pens[k]);
        dc.polyline(curve);
    }
}

// Above the plot's left end, over the axes' titles: a piece of each line style and what
// it shows. Inside the plot it would cover the curves where they rise steepest.
void drawOverlayLegend(DrawContext& dc, const CurveOverlay& o, const Rect& plot, bool paper) {
    const AxisLayout& L = paper ? kPaperLayout : kScreenLayout;
    const int down = paper ? -1 : 1, row = paper ? 40 : 16, sample = paper ? 120 : 40;
    dc.selectFont(Font{"Arial", paper ? 25 : 12, 400});
    dc.setTextColor(kBlack);
    const struct {
        Pen pen;
        const std::string& text;
    } lines[] = {{Pen{kLeftCurveColor, paper ? 3 : 1, PenStyle::Solid}, o.shownLabel},
                 {Pen{kLeftOverlayColor, paper ? 3 : 1, PenStyle::Dash}, o.overlayLabel}};
    int y = plot.top - down * (L.titleTop + 2 * row);
    for (const auto& line : lines) {
        dc.selectPen(line.pen);
        dc.line(plot.left + row / 2, y, plot.left + row / 2 + sample, y);
        dc.text(Rect{plot.left + row + sample, y - down * row / 2, plot.right, y + down * row / 2}, line.text,
                TextAlign::Left);
        y += down * row;
    }
}

}  // namespace

void CurveGraphRenderer::draw(DrawContext& dc, const Rect& plot, const TestRecord& test, const GraphSettings& settings,
                              GraphViewState& view) const {
    const bool paper = dc.isPrinting();
    const AxisLayout& L = paper ? kPaperLayout : kScreenLayout;
    // On paper y grows upwards: "below" the bottom edge is a smaller y.
    const int down = paper ? -1 : 1;
    const int a = plot.left, b = plot.top, c = plot.right, d = plot.bottom;

    const AxisParameters axes = axisParameters(test, settings, view);
    const GraphScales scales = graphScales(plot, view, axes);
    view.xScale = scales.x;
    view.y1Scale = scales.y1;
    view.y2Scale = scales.y2;
    const Mapping m(plot, view, axes);

    const Pen previousPen = dc.selectPen(kBlackPen);
    const Font previousFont = dc.selectFont(Font{"Arial", paper ? 30 : 16, 400});
    const Color previousColor = dc.textColor();

    // Left side, bottom, right side; the graph has no top line.
    const Point frame[4] = {{a, b}, {a, d}, {c, d}, {c, b}};
    dc.polyline(frame);

    if (axes.left.min < 0 && axes.left.max > 0) dc.line(a, m.zero1(), c, m.zero1());
    dc.selectPen(kRedPen);
    if (axes.right.min < 0 && axes.right.max > 0) dc.line(a, m.zero2(), c, m.zero2());

    // Time axis: blue ticks, labels in the text colour the graph was called with.
    dc.selectPen(kBluePen);
    for (int t : timeTicks(view, axes.timeStep)) {
        const int x = m.x(t);
        dc.line(x, d, x, d + down * L.timeTick);
        dc.textUnclipped(Rect{x - L.timeLabelHalfWidth, d + down * L.timeLabelTop, x + L.timeLabelHalfWidth,
                              d + down * L.timeLabelBottom},
                         number(t), TextAlign::Center);
    }
    dc.textUnclipped(Rect{a, d + down * L.timeTitleTop, c, d + down * L.timeTitleBottom}, "TIME (ms)", TextAlign::Center);

    const int height = d - b;
    dc.setTextColor(kBlue);
    dc.selectPen(kBluePen);
    for (int64_t t : tickValues(axes.left, height)) {
        const int y = m.tick1(t);
        dc.line(a, y, a - L.sideTick, y);
        dc.textUnclipped(Rect{a - L.leftLabelOuter, y - down * L.labelHalfHeight, a - L.leftLabelInner,
                              y + down * L.labelHalfHeight},
                         number(t), TextAlign::Right);
    }
    dc.textUnclipped(Rect{a - L.leftTitleOuter, b - down * L.titleTop, a + L.leftTitleInner, b - down * L.titleBottom},
                     quantityTitles[static_cast<size_t>(graphQuantity(view.y1))], TextAlign::Center);

    dc.selectPen(kRedPen);
    dc.setTextColor(kRed);
    for (int64_t t : tickValues(axes.right, height)) {
        const int y = m.tick2(t);
        dc.line(c, y, c + L.sideTick, y);
        dc.textUnclipped(Rect{c + L.rightLabelInner, y - down * L.labelHalfHeight, c + L.rightLabelOuter,
                              y + down * L.labelHalfHeight},
                         number(t), TextAlign::Left);
    }
    dc.textUnclipped(Rect{c - L.rightTitleInner, b - down * L.titleTop, c + L.rightTitleOuter, b - down * L.titleBottom},
                     quantityTitles[static_cast<size_t>(graphQuantity(view.y2))], TextAlign::Center);

    // The curves: per column when the window has more than two samples per device pixel of
    // the plot's width, segment by segment otherwise. A reversed or empty window draws none.
    const double samples = static_cast<double>(view.windowEnd) - view.windowStart;
    const double devicePixels = std::abs(c - a) * dc.devicePixelsPerUnit();
    // Values beyond fixed axes, or below an autoscaled range, end at the frame: the
    // curves never run over the readout panel, the header or the axis texts.
    const std::optional<Rect> previousClip = dc.clip();
    dc.clipTo(plot);
    // The time axis may reach past the shown repetition's samples (a longer compared
    // stroke): its curves end where its samples do.
    GraphViewState shown = view;
    const bool inRecord = view.repetition >= 0 && view.repetition < kMaxRepetitions;
    shown.windowEnd = std::min(view.windowEnd, inRecord ? test.repetitions[static_cast<size_t>(view.repetition)].validSamples() : 0);
    if (shown.windowStart < shown.windowEnd) {
        if (drawing_ == CurveDrawing::Auto && samples > 2.0 * devicePixels)
            drawColumns(dc, test, shown, m);
        else
            drawSegments(dc, test, shown, m);
    }
    if (previousClip)
        dc.clipTo(*previousClip);
    else
        dc.clipOff();

    if (overlay_.test) {
        drawOverlay(dc, overlay_, view, m);
        drawOverlayLegend(dc, overlay_, plot, paper);
    }

    dc.selectPen(kBlackPen);
    const int xl = m.x(view.cursorLeft), xr = m.x(view.cursorRight);
    dc.line(xl, b, xl, d);
    dc.line(xr, b, xr, d);

    dc.setTextColor(previousColor);
    dc.selectFont(previousFont);
    dc.selectPen(previousPen);
}

}  // namespace vanta
