#include "history/history_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "history/history_texts.h"
#include "profile/profile_drawing.h"
#include "profile/profile_texts.h"

namespace vanta {

namespace {

struct Metrics {
    int font, small, row, marker, tick, pen;
};

Metrics metricsFor(const DrawContext& dc) {
    if (dc.isPrinting()) return {24, 20, 44, 12, 15, 3};
    return {12, 11, 16, 3, 4, 1};
}

Color colorOf(Side s) { return s == Side::Left ? kLeftSideColor : kRightSideColor; }
// The band is the side's colour washed out, so the lines stay readable over it.
Color bandOf(Side s) {
    const Color c = colorOf(s);
    auto wash = [](uint8_t v) { return static_cast<uint8_t>(v + (255 - v) * 4 / 5); };
    return Color{wash(c.r), wash(c.g), wash(c.b)};
}
constexpr PenStyle kLoadStyles[] = {PenStyle::Solid, PenStyle::Dash, PenStyle::Dot, PenStyle::DashDot};

bool sameLoad(double a, double b) { return std::fabs(a - b) <= kSameLoadKg; }
bool wanted(double load, std::optional<double> only) { return !only || sameLoad(load, *only); }

double niceStep(double span) {
    if (!(span > 0.0)) return 1.0;
    const double raw = span / 5;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * p) return m * p;
    return 10.0 * p;
}

// One side's plot: test times across, watts up.
void drawSide(DrawContext& dc, const Metrics& m, const Rect& box, const History& h, Side side,
              std::optional<double> only) {
    const int dir = box.bottom > box.top ? 1 : -1;
    int64_t t0 = h.tests.front().testTime, t1 = h.tests.back().testTime;
    if (t1 <= t0) {
        t0 -= 43200;
        t1 += 43200;
    }
    const std::optional<double> mdc = h.mdc95Of(side);
    double top = 0.0;
    std::vector<double> loads;
    for (const HistoryTest& t : h.tests)
        for (const HistoryLoad& l : t.side(side)) {
            if (!wanted(l.load, only)) continue;
            top = std::max(top, l.meanPeakPower + mdc.value_or(0.0));
            if (std::none_of(loads.begin(), loads.end(), [&](double x) { return sameLoad(x, l.load); }))
                loads.push_back(l.load);
        }
    std::sort(loads.begin(), loads.end());
    const double step = niceStep(top * 1.05);
    const double yHi = std::max(step, std::ceil(top * 1.05 / step) * step);
    // Margins inside the time axis, so the first and the latest points are not on the frame.
    const int w = box.right - box.left, inset = w / 12;
    auto px = [&](int64_t t) {
        return box.left + inset + static_cast<int>(std::lround(double(t - t0) / double(t1 - t0) * (w - 2 * inset)));
    };
    auto py = [&](double v) { return box.bottom + static_cast<int>(std::lround(v / yHi * (box.top - box.bottom))); };

    // The MDC95 band around each load's first test, across the whole time axis.
    if (mdc)
        for (double load : loads)
            for (const HistoryTest& t : h.tests) {
                auto it = std::find_if(t.side(side).begin(), t.side(side).end(),
                                       [&](const HistoryLoad& l) { return sameLoad(l.load, load); });
                if (it == t.side(side).end()) continue;
                // Within the plot: a band reaching below 0 W stops at the axis.
                const double lo = std::max(0.0, it->meanPeakPower - *mdc), hi = std::min(yHi, it->meanPeakPower + *mdc);
                dc.fillRect(Rect{box.left + 1, py(hi), box.right - 1, py(lo)},
                            Brush{bandOf(side), BrushStyle::Solid});
                break;
            }

    dc.selectPen(Pen{kBlack, m.pen > 1 ? 2 : 1, PenStyle::Solid});
    dc.selectBrush(Brush{kWhite, BrushStyle::None});
    dc.rectangle(box);
    dc.selectFont(Font{"Arial", m.small, 400});
    dc.setTextColor(kBlack);
    for (double v = 0.0; v <= yHi + step / 2; v += step) {
        const int y = py(v);
        dc.line(box.left, y, box.left + m.tick, y);
        char text[24];
        std::snprintf(text, sizeof text, "%.0f", v);
        dc.textUnclipped(Rect{box.left - 4 * m.row, y - dir * m.row / 2, box.left - m.tick, y + dir * m.row / 2}, text,
                         TextAlign::Right);
    }
    // Dates under their tests; a date that would overlap the one before is left out.
    int lastRight = box.left - 10 * m.row;
    for (const HistoryTest& t : h.tests) {
        const int x = px(t.testTime);
        dc.line(x, box.bottom, x, box.bottom - dir * m.tick);
        if (x - 3 * m.row < lastRight) continue;
        dc.textUnclipped(Rect{x - 3 * m.row, box.bottom + dir * 2, x + 3 * m.row, box.bottom + dir * m.row},
                         historyDate(t.testTime), TextAlign::Center);
        lastRight = x + 3 * m.row;
    }
    dc.selectFont(Font{"Arial", m.font, 700});
    dc.setTextColor(colorOf(side));
    std::string title = std::string(sideName(side)) + ": mean peak power (W)";
    if (mdc) {
        char text[48];
        std::snprintf(text, sizeof text, ", MDC95 %.1f W", *mdc);
        title += text;
    }
    dc.textUnclipped(Rect{box.left, box.top - dir * m.row, box.right, box.top}, title, TextAlign::Left);

    // One line per load, the loads told apart by the pen's dashes and named at their end.
    dc.selectFont(Font{"Arial", m.small, 400});
    for (size_t k = 0; k < loads.size(); ++k) {
        std::vector<Point> points;
        for (const HistoryTest& t : h.tests)
            for (const HistoryLoad& l : t.side(side))
                if (sameLoad(l.load, loads[k])) points.push_back(Point{px(t.testTime), py(l.meanPeakPower)});
        dc.selectPen(Pen{colorOf(side), m.pen, kLoadStyles[k % std::size(kLoadStyles)]});
        dc.polyline(points);
        dc.selectPen(Pen{colorOf(side), 1, PenStyle::Solid});
        dc.selectBrush(Brush{colorOf(side), BrushStyle::Solid});
        for (const Point& p : points)
            dc.ellipse(Rect{p.x - m.marker, p.y - m.marker, p.x + m.marker, p.y + m.marker});
        // The load's name above its latest point, kept within the plot's width.
        const Point& last = points.back();
        const int centre = std::min(last.x, box.right - 3 * m.row);
        dc.textUnclipped(Rect{centre - 3 * m.row, last.y - dir * (m.row + m.marker), centre + 3 * m.row,
                              last.y - dir * m.marker},
                         loadText(loads[k]) + " kg", TextAlign::Center);
    }
    // A change beyond error: a black ring round the later test's point.
    dc.selectPen(Pen{kBlack, m.pen + 1, PenStyle::Solid});
    dc.selectBrush(Brush{kWhite, BrushStyle::None});
    for (const HistoryChange& c : h.changes) {
        if (c.side != side || !c.beyondError.value_or(false) || c.firstToLatest || !wanted(c.load, only)) continue;
        for (const HistoryLoad& l : h.tests[c.to].side(side))
            if (sameLoad(l.load, c.load)) {
                const int x = px(h.tests[c.to].testTime), y = py(l.meanPeakPower), r = 3 * m.marker;
                dc.ellipse(Rect{x - r, y - r, x + r, y + r});
            }
    }
    dc.setTextColor(kBlack);
}

// The history with only the loads equal to `only`: the tests stay (the changes point into
// them), the error stays as all the loads gave it.
History onlyLoad(const History& h, double only) {
    History out = h;
    for (HistoryTest& t : out.tests)
        for (auto& side : t.sides)
            std::erase_if(side, [&](const HistoryLoad& l) { return !sameLoad(l.load, only); });
    std::erase_if(out.changes, [&](const HistoryChange& c) { return !sameLoad(c.load, only); });
    return out;
}

}  // namespace

void drawHistory(DrawContext& dc, const Rect& area, const History& all, std::optional<double> only) {
    const History history = only ? onlyLoad(all, *only) : all;
    // Named in the heading, so a printed page says which load it shows.
    const std::string atLoad = only ? " at " + loadText(*only) + " kg" : "";
    only.reset();
    dc.save();
    const Metrics m = metricsFor(dc);
    const int dir = area.bottom > area.top ? 1 : -1;
    auto down = [&](int d) { return area.top + dir * d; };
    const int height = std::abs(area.bottom - area.top), w = area.right - area.left;
    dc.selectFont(Font{"Arial", m.font, 700});
    dc.setTextColor(kBlack);
    char heading[160];
    std::snprintf(heading, sizeof heading, "History of %s: %zu test%s%s", history.subject.c_str(), history.tests.size(),
                  history.tests.size() == 1 ? "" : "s", atLoad.c_str());
    dc.text(Rect{area.left, down(0), area.right, down(m.row)}, heading, TextAlign::Left);
    if (history.tests.empty()) {
        dc.selectFont(Font{"Arial", m.font, 400});
        dc.text(Rect{area.left, down(m.row), area.right, down(2 * m.row)}, "No indexed test of this subject.",
                TextAlign::Left);
        dc.restore();
        return;
    }

    // The plots take a little under half the height; the table and the lines go below.
    const int plotTop = down(3 * m.row), plotBottom = down(height * 45 / 100);
    const int half = w / 2;
    drawSide(dc, m, Rect{area.left + 4 * m.row, plotTop, area.left + half - 3 * m.row, plotBottom}, history, Side::Left,
             only);
    drawSide(dc, m, Rect{area.left + half + 4 * m.row, plotTop, area.right - 3 * m.row, plotBottom}, history,
             Side::Right, only);

    int y = plotBottom + dir * 2 * m.row;
    const int bottom = area.bottom;
    auto room = [&](int lines) { return dir > 0 ? y + dir * lines * m.row <= bottom : y + dir * lines * m.row >= bottom; };
    dc.selectFont(Font{"Arial", m.font, 400});
    for (const std::string& line : historyErrorLines(history)) {
        dc.text(Rect{area.left, y, area.right, y + dir * m.row}, line, TextAlign::Left);
        y += dir * m.row;
    }

    // Left: the table; right: the changes, beyond error in bold.
    const int tableRight = area.left + w * 42 / 100;
    const std::vector<std::string>& titles = historyTableTitles();
    static constexpr int kWeights[] = {10, 5, 8, 8, 7, 7};
    std::vector<int> edges{area.left};
    for (int wgt : kWeights) edges.push_back(edges.back() + (tableRight - area.left) * wgt / 45);
    const int tableTop = y + dir * m.row / 2;
    y = tableTop;
    dc.selectFont(Font{"Arial", m.small, 700});
    for (size_t c = 0; c < titles.size(); ++c)
        dc.text(Rect{edges[c], y, edges[c + 1] - m.row / 3, y + dir * m.row}, titles[c],
                c < 2 ? TextAlign::Left : TextAlign::Right);
    y += dir * m.row;
    dc.selectPen(Pen{kBlack, 1, PenStyle::Solid});
    dc.line(area.left, y, tableRight, y);
    dc.selectFont(Font{"Arial", m.small, 400});
    const auto rows = historyTableRows(history);
    const auto sides = historyRowSides(history);
    for (size_t r = 0; r < rows.size(); ++r) {
        if (!room(1)) {
            dc.setTextColor(kBlack);
            dc.text(Rect{area.left, y, tableRight, y + dir * m.row}, "...", TextAlign::Left);
            break;
        }
        dc.setTextColor(colorOf(sides[r]));
        for (size_t c = 0; c < rows[r].size(); ++c)
            dc.text(Rect{edges[c], y, edges[c + 1] - m.row / 3, y + dir * m.row}, rows[r][c],
                    c < 2 ? TextAlign::Left : TextAlign::Right);
        y += dir * m.row;
    }

    y = tableTop;
    dc.setTextColor(kBlack);
    dc.selectFont(Font{"Arial", m.small, 700});
    dc.text(Rect{tableRight + m.row, y, area.right, y + dir * m.row}, "Changes of the mean peak power", TextAlign::Left);
    y += dir * m.row;
    dc.line(tableRight + m.row, y, area.right, y);
    if (history.changes.empty()) {
        dc.selectFont(Font{"Arial", m.small, 400});
        dc.text(Rect{tableRight + m.row, y, area.right, y + dir * m.row}, "none: no side and load tested twice",
                TextAlign::Left);
    }
    for (const HistoryChange& c : history.changes) {
        if (!wanted(c.load, only)) continue;
        if (!room(1)) {
            dc.text(Rect{tableRight + m.row, y, area.right, y + dir * m.row}, "...", TextAlign::Left);
            break;
        }
        dc.selectFont(Font{"Arial", m.small, c.beyondError.value_or(false) ? 700 : 400});
        dc.setTextColor(colorOf(c.side));
        dc.text(Rect{tableRight + m.row, y, area.right, y + dir * m.row},
                (c.firstToLatest ? "first to latest: " : "") + historyChangeLine(history, c), TextAlign::Left);
        y += dir * m.row;
    }
    dc.setTextColor(kBlack);
    dc.restore();
}

PageHeaderTexts historyPageHeader(const History& history) {
    PageHeaderTexts h;
    h.left = "Name: " + history.subject;
    h.right = "Tests: " + std::to_string(history.tests.size());
    if (!history.tests.empty())
        h.right += "    " + historyDate(history.tests.front().testTime) + " to " + historyDate(history.tests.back().testTime);
    return h;
}

}  // namespace vanta
