#include "profile/profile_drawing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "profile/plot_metrics.h"
#include "profile/profile_texts.h"

namespace vanta {

namespace {

using Metrics = PlotMetrics;

// Positions measured from the area's top edge, whichever way y grows.
struct Frame {
    Rect area;
    int dir;  // +1 on screen, -1 on paper
    int down(int d) const { return area.top + dir * d; }
    int height() const { return std::abs(area.bottom - area.top); }
    int width() const { return area.right - area.left; }
};

struct Axis {
    double lo = 0.0, hi = 1.0, step = 1.0;
};

Axis niceAxis(double lo, double hi, bool fromZero) {
    if (fromZero) lo = std::min(0.0, lo);
    if (!(hi > lo)) {
        hi = lo + 1.0;
        if (!fromZero) lo -= 1.0;
    }
    Axis a;
    a.step = niceStep(hi - lo, 5);
    a.lo = std::floor(lo / a.step) * a.step;
    a.hi = std::ceil(hi / a.step) * a.step;
    if (a.hi == a.lo) a.hi = a.lo + a.step;
    return a;
}

std::string tickText(double v, double step) {
    char text[32];
    std::snprintf(text, sizeof text, step < 1.0 ? "%.1f" : "%.0f", v);
    return text;
}

Color colorOf(Side s) { return s == Side::Left ? kLeftSideColor : kRightSideColor; }
constexpr Color kWeakGrey{140, 140, 140};
constexpr Side kSides[] = {Side::Left, Side::Right};

// One plot: its rectangle (top edge first) and its two axes.
class Plot {
public:
    Plot(DrawContext& dc, const Metrics& m, Rect box, Axis x, Axis y) : dc_(dc), m_(m), box_(box), x_(x), y_(y) {}

    int px(double v) const {
        return box_.left + static_cast<int>(std::lround((v - x_.lo) / (x_.hi - x_.lo) * (box_.right - box_.left)));
    }
    int py(double v) const {
        return box_.bottom + static_cast<int>(std::lround((v - y_.lo) / (y_.hi - y_.lo) * (box_.top - box_.bottom)));
    }
    bool inside(double x, double y) const { return x >= x_.lo && x <= x_.hi && y >= y_.lo && y <= y_.hi; }

    void frame(const std::string& xTitle, const std::string& yTitle) {
        dc_.selectPen(Pen{kBlack, m_.pen > 1 ? 2 : 1, PenStyle::Solid});
        dc_.selectBrush(Brush{kWhite, BrushStyle::None});
        dc_.rectangle(box_);
        dc_.selectFont(Font{"Arial", m_.small, 400});
        dc_.setTextColor(kBlack);
        const int dir = box_.bottom > box_.top ? 1 : -1;
        const int label = m_.row;
        for (double v = x_.lo; v <= x_.hi + x_.step / 2; v += x_.step) {
            const int x = px(v);
            dc_.line(x, box_.bottom, x, box_.bottom - dir * m_.tick);
            dc_.textUnclipped(Rect{x - 2 * label, box_.bottom + dir * 2, x + 2 * label, box_.bottom + dir * label},
                              tickText(v, x_.step), TextAlign::Center);
        }
        for (double v = y_.lo; v <= y_.hi + y_.step / 2; v += y_.step) {
            const int y = py(v);
            dc_.line(box_.left, y, box_.left + m_.tick, y);
            dc_.textUnclipped(Rect{box_.left - 4 * label, y - dir * label / 2, box_.left - m_.tick, y + dir * label / 2},
                              tickText(v, y_.step), TextAlign::Right);
        }
        dc_.text(Rect{box_.left, box_.bottom + dir * label, box_.right, box_.bottom + dir * 2 * label}, xTitle,
                 TextAlign::Center);
        dc_.textUnclipped(Rect{box_.left, box_.top - dir * label, box_.right, box_.top}, yTitle, TextAlign::Left);
    }

    void marker(double x, double y, Side side) {
        const int cx = px(x), cy = py(y), r = m_.marker;
        const Rect bounds{cx - r, cy - r, cx + r, cy + r};
        dc_.selectPen(Pen{colorOf(side), 1, PenStyle::Solid});
        dc_.selectBrush(Brush{colorOf(side), BrushStyle::Solid});
        if (side == Side::Left) dc_.ellipse(bounds);
        else dc_.rectangle(bounds);
    }

    // The curve y(x) from x0 to x1, only where it lies inside the plot.
    template <typename F>
    void curve(double x0, double x1, F&& y, Pen pen) {
        dc_.selectPen(pen);
        std::vector<Point> run;
        constexpr int kSteps = 60;
        for (int i = 0; i <= kSteps; ++i) {
            const double x = x0 + (x1 - x0) * i / kSteps;
            const double v = y(x);
            if (inside(x, v)) {
                run.push_back(Point{px(x), py(v)});
            } else {
                dc_.polyline(run);
                run.clear();
            }
        }
        dc_.polyline(run);
    }

    const Rect& box() const { return box_; }

private:
    DrawContext& dc_;
    const Metrics& m_;
    Rect box_;
    Axis x_, y_;
};

void drawPowerLoad(DrawContext& dc, const Metrics& m, const Rect& box, const Profile& p) {
    double lo = INFINITY, hi = -INFINITY, top = 0.0;
    for (Side s : kSides) {
        const SideProfile& side = p.side(s);
        for (const LoadBest& l : side.loads) {
            lo = std::min(lo, l.load);
            hi = std::max(hi, l.load);
            top = std::max(top, l.peakPower);
        }
        if (side.powerLoad && side.powerLoad->topPower) top = std::max(top, *side.powerLoad->topPower);
    }
    if (!(lo <= hi)) lo = hi = 0.0;
    Plot plot(dc, m, box, niceAxis(lo, hi, false), niceAxis(0.0, top * 1.05, true));
    plot.frame("Load (kg)", "P peak (W)");
    for (Side s : kSides) {
        const SideProfile& side = p.side(s);
        if (side.powerLoad && !side.loads.empty()) {
            const PowerLoadFit f = *side.powerLoad;
            plot.curve(side.loads.front().load, side.loads.back().load,
                       [&](double x) { return (f.a * x + f.b) * x + f.c; },
                       Pen{colorOf(s), m.pen, PenStyle::Solid});
            if (f.topLoad) {
                // The top: a dashed line down to the load axis; its numbers stand in the
                // legend's row above the plot, where they cover neither curve nor marker.
                const int x = plot.px(*f.topLoad), y = plot.py(*f.topPower);
                dc.selectPen(Pen{colorOf(s), m.pen > 1 ? 2 : 1, PenStyle::Dash});
                dc.line(x, y, x, box.bottom);
            }
        }
        for (const LoadBest& l : side.loads) plot.marker(l.load, l.peakPower, s);
    }
}

void drawTorqueVelocity(DrawContext& dc, const Metrics& m, const Rect& box, const Profile& p) {
    double vMax = 0.0, tMax = 0.0;
    for (Side s : kSides) {
        const SideProfile& side = p.side(s);
        for (const LoadBest& l : side.loads) {
            vMax = std::max(vMax, l.meanVelocityAcceleration);
            tMax = std::max(tMax, l.meanTorqueAcceleration);
        }
        if (side.torqueVelocity && side.torqueVelocity->t0 && *side.torqueVelocity->t0 > 0.0) {
            // The line is drawn out to both intercepts, within twice the measured range.
            vMax = std::max(vMax, std::min(*side.torqueVelocity->omega0, 2.0 * vMax));
            tMax = std::max(tMax, std::min(*side.torqueVelocity->t0, 2.0 * tMax));
        }
    }
    Plot plot(dc, m, box, niceAxis(0.0, vMax * 1.05, true), niceAxis(0.0, tMax * 1.05, true));
    plot.frame("v acc. (deg/s)", "T acc. (N.m)");
    for (Side s : kSides) {
        const SideProfile& side = p.side(s);
        if (side.torqueVelocity) {
            const TorqueVelocityFit f = *side.torqueVelocity;
            // A weak fit is drawn grey and dashed: a line the points hardly follow.
            plot.curve(0.0, vMax * 1.05, [&](double v) { return f.intercept + f.slope * v; },
                       weakFit(f) ? Pen{kWeakGrey, m.pen, PenStyle::Dash} : Pen{colorOf(s), m.pen, PenStyle::Solid});
        }
        for (const LoadBest& l : side.loads) plot.marker(l.meanVelocityAcceleration, l.meanTorqueAcceleration, s);
    }
}

// The sides that have data, each with its marker, and each side's top where its parabola
// has one inside the loads tested.
void drawLegend(DrawContext& dc, const Metrics& m, const Profile& p, int x, int y, int dir) {
    for (Side s : kSides) {
        const SideProfile& side = p.side(s);
        if (side.loads.empty()) continue;
        const int r = m.marker;
        dc.selectPen(Pen{colorOf(s), 1, PenStyle::Solid});
        dc.selectBrush(Brush{colorOf(s), BrushStyle::Solid});
        const Rect bounds{x - r, y - r, x + r, y + r};
        if (s == Side::Left) dc.ellipse(bounds);
        else dc.rectangle(bounds);
        dc.setTextColor(colorOf(s));
        std::string text = sideName(s);
        bool bold = false;
        if (side.powerLoad && side.powerLoad->topLoad) {
            char top[64];
            std::snprintf(top, sizeof top, ": top %s kg, %.1f W", loadText(*side.powerLoad->topLoad).c_str(),
                          *side.powerLoad->topPower);
            text += top;
            bold = true;
        }
        const int w = textWidthEstimate(text, m.font, bold);
        dc.selectFont(Font{"Arial", m.font, bold ? 700 : 400});
        dc.text(Rect{x + 2 * r, y - dir * m.row / 2, x + 2 * r + w, y + dir * m.row / 2}, text, TextAlign::Left);
        x += 2 * r + w + 2 * m.row;
    }
    dc.setTextColor(kBlack);
}

}  // namespace

void drawProfile(DrawContext& dc, const Rect& area, const Profile& profile) {
    dc.save();
    const Metrics m = plotMetricsFor(dc);
    const Frame f{area, area.bottom > area.top ? 1 : -1};
    const int w = f.width();

    // The two plots take the upper part; the table and the lines go below them.
    const std::vector<std::vector<std::string>> rows = profileTableRows(profile, true);
    const std::vector<std::string> fits = profileFitLines(profile);
    const std::vector<std::string> asymmetry = profileAsymmetryLines(profile);
    const std::string note = profileNote(profile);
    const int textLines = static_cast<int>(rows.size() + 1 + fits.size() + asymmetry.size() + (note.empty() ? 0 : 1));
    const int textHeight = (textLines + 1) * m.row;
    const int plotHeight = std::max(6 * m.row, f.height() - textHeight - 4 * m.row);

    drawLegend(dc, m, profile, area.left + 4 * m.row, f.down(m.row / 2), f.dir);
    const int plotTop = f.down(2 * m.row), plotBottom = f.down(2 * m.row + plotHeight - 2 * m.row);
    const int leftPlotRight = area.left + w * 58 / 100;
    drawPowerLoad(dc, m, Rect{area.left + 4 * m.row, plotTop, leftPlotRight, plotBottom}, profile);
    // Its last tick label reaches two rows right of the plot: still inside the area.
    drawTorqueVelocity(dc, m, Rect{leftPlotRight + 5 * m.row, plotTop, area.right - 2 * m.row, plotBottom}, profile);

    // The table: columns in proportion to what they hold.
    static constexpr std::array<int, 10> kWeights = {6, 7, 6, 14, 4, 8, 8, 10, 9, 10};
    const int weightSum = 82;
    std::vector<int> edges{area.left};
    for (int wgt : kWeights) edges.push_back(edges.back() + w * wgt / weightSum);
    int y = f.down(plotHeight + 2 * m.row);
    const std::vector<std::string>& titles = profileTableTitles();
    dc.selectPen(Pen{kBlack, 1, PenStyle::Solid});
    dc.selectFont(Font{"Arial", m.small, 700});
    dc.setTextColor(kBlack);
    for (size_t c = 0; c < titles.size(); ++c)
        dc.text(Rect{edges[c], y, edges[c + 1] - m.row / 3, y + f.dir * m.row}, titles[c],
                c == static_cast<size_t>(kProfileFileColumn) ? TextAlign::Left : TextAlign::Right);
    y += f.dir * m.row;
    dc.line(area.left, y, area.right, y);
    dc.selectFont(Font{"Arial", m.font, 400});
    const std::vector<Side> sides = profileRowSides(profile);
    for (size_t r = 0; r < rows.size(); ++r) {
        dc.setTextColor(colorOf(sides[r]));
        for (size_t c = 0; c < rows[r].size(); ++c)
            dc.text(Rect{edges[c], y, edges[c + 1] - m.row / 3, y + f.dir * m.row}, rows[r][c],
                    c == static_cast<size_t>(kProfileFileColumn) ? TextAlign::Left : TextAlign::Right);
        y += f.dir * m.row;
    }
    dc.setTextColor(kBlack);
    dc.line(area.left, y, area.right, y);
    y += f.dir * m.row / 2;

    std::vector<std::string> lines = fits;
    lines.insert(lines.end(), asymmetry.begin(), asymmetry.end());
    if (!note.empty()) lines.push_back(note);
    for (const std::string& line : lines) {
        // A weak fit's numbers are greyed with their caveat.
        dc.setTextColor(line.find("weak fit") != std::string::npos ? kWeakGrey : kBlack);
        dc.text(Rect{area.left, y, area.right, y + f.dir * m.row}, line, TextAlign::Left);
        y += f.dir * m.row;
    }
    dc.restore();
}

}  // namespace vanta
