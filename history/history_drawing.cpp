#include "history/history_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "history/history_texts.h"
#include "profile/plot_metrics.h"
#include "profile/profile_drawing.h"
#include "profile/profile_texts.h"

namespace vanta {

namespace {

using Metrics = PlotMetrics;

Color colorOf(Side s) { return s == Side::Left ? kLeftSideColor : kRightSideColor; }
// The band is the side's colour washed out, so the lines stay readable over it.
Color bandOf(Side s) {
    const Color c = colorOf(s);
    auto wash = [](uint8_t v) { return static_cast<uint8_t>(v + (255 - v) * 4 / 5); };
    return Color{wash(c.r), wash(c.g), wash(c.b)};
}
constexpr PenStyle kLoadStyles[] = {PenStyle::Solid, PenStyle::Dash, PenStyle::Dot, PenStyle::DashDot};

// The history's loads are already group loads (distinctLoads): two name one load when they
// lie within the tolerance of each other.
bool sameLoad(double a, double b) { return std::fabs(a - b) <= kSameLoadKg; }

// Positions measured from the area's top edge, whichever way y grows.
struct Frame {
    Rect area;
    int dir;  // +1 on screen, -1 on paper
    int down(int d) const { return area.top + dir * d; }
    int height() const { return std::abs(area.bottom - area.top); }
};

// ---------------------------------------------------------------- the time axis

struct DateTick {
    int64_t time = 0;
    std::string label;
    std::string day;  // hour ticks: the date under the first tick of each day
};

std::string localText(int64_t t, const char* pattern) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm)) return "?";
    char text[32];
    std::strftime(text, sizeof text, pattern, &tm);
    return text;
}

// The ticks of one step on [lo, hi], at local midnights, Mondays, firsts of a month or
// of a year; none when they would be more than `most`.
enum class Unit { Hour, Day, Week, Month, Year };
std::vector<DateTick> ticksOf(int64_t lo, int64_t hi, Unit unit, int step, int most) {
    const std::time_t start = static_cast<std::time_t>(lo);
    std::tm tm{};
    if (!localtime_r(&start, &tm)) return {};
    tm.tm_sec = tm.tm_min = 0;
    if (unit != Unit::Hour) tm.tm_hour = 0;
    else tm.tm_hour -= tm.tm_hour % step;
    if (unit == Unit::Week) tm.tm_mday -= (tm.tm_wday + 6) % 7;  // back to Monday
    if (unit == Unit::Month || unit == Unit::Year) tm.tm_mday = 1;
    if (unit == Unit::Month) tm.tm_mon -= tm.tm_mon % step;
    if (unit == Unit::Year) {
        tm.tm_mon = 0;
        tm.tm_year -= (tm.tm_year + 1900) % step;
    }
    const char* pattern = unit == Unit::Hour ? "%H:%M" : unit == Unit::Month ? "%Y-%m" : unit == Unit::Year ? "%Y" : "%Y-%m-%d";
    std::vector<DateTick> ticks;
    std::string lastDay;
    for (int i = 0; i < 4 * most + 8; ++i) {
        std::tm at = tm;
        at.tm_isdst = -1;
        const int64_t t = static_cast<int64_t>(std::mktime(&at));
        if (t > hi) break;
        if (t >= lo) {
            if (static_cast<int>(ticks.size()) == most) return {};
            DateTick tick{t, localText(t, pattern), {}};
            if (unit == Unit::Hour) {
                const std::string day = localText(t, "%Y-%m-%d");
                if (day != lastDay) tick.day = lastDay = day;
            }
            ticks.push_back(std::move(tick));
        }
        switch (unit) {
            case Unit::Hour: tm.tm_hour += step; break;
            case Unit::Day: tm.tm_mday += step; break;
            case Unit::Week: tm.tm_mday += 7 * step; break;
            case Unit::Month: tm.tm_mon += step; break;
            case Unit::Year: tm.tm_year += step; break;
        }
    }
    return ticks;
}

// The finest steps that give at most `most` ticks and at least two: hours for a day's
// tests, days or weeks for a few months, months, then years.
std::vector<DateTick> dateTicks(int64_t lo, int64_t hi, int most) {
    static constexpr struct {
        Unit unit;
        int step;
    } kSteps[] = {{Unit::Hour, 1},  {Unit::Hour, 2},  {Unit::Hour, 3},  {Unit::Hour, 6},  {Unit::Hour, 12},
                  {Unit::Day, 1},   {Unit::Day, 2},   {Unit::Week, 1},  {Unit::Week, 2},  {Unit::Month, 1},
                  {Unit::Month, 2}, {Unit::Month, 3}, {Unit::Month, 6}, {Unit::Year, 1},  {Unit::Year, 2},
                  {Unit::Year, 5},  {Unit::Year, 10}, {Unit::Year, 20}, {Unit::Year, 50}, {Unit::Year, 100}};
    std::vector<DateTick> fallback;
    for (const auto& s : kSteps) {
        // Too many ticks of a fine step would take long to count: skip them by the span.
        const int64_t seconds = s.unit == Unit::Hour ? 3600 : s.unit == Unit::Day ? 86400 : s.unit == Unit::Week ? 604800
                                : s.unit == Unit::Month ? 2419200 : 31536000;
        if ((hi - lo) / (seconds * s.step) > 4 * most + 4) continue;
        std::vector<DateTick> ticks = ticksOf(lo, hi, s.unit, s.step, most);
        if (ticks.size() >= 2) return ticks;
        if (fallback.empty()) fallback = std::move(ticks);
    }
    return fallback;
}

// ---------------------------------------------------------------- one side's plot

// One load's line: its points and its name at the line's end.
struct LoadLine {
    double load = 0.0;
    PenStyle style = PenStyle::Solid;
    std::vector<Point> points;
};

// The loads of one side, ascending, each once.
std::vector<double> loadsOf(const History& h, Side side) {
    std::vector<double> loads;
    for (const HistoryTest& t : h.tests)
        for (const HistoryLoad& l : t.side(side)) loads.push_back(l.load);
    return distinctLoads(std::move(loads));
}

// The labels' places along the plot's height (distances from its top), each as near its
// line's end as can be without two closer than `gap`, all within [0, span].
std::vector<int> spreadLabels(std::vector<int> wanted, int gap, int span) {
    std::vector<size_t> order(wanted.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return wanted[a] < wanted[b]; });
    std::vector<int> at(wanted.size());
    int previous = 0;
    for (size_t k = 0; k < order.size(); ++k) {
        const int d = std::clamp(wanted[order[k]], 0, span);
        at[order[k]] = k == 0 ? d : std::max(d, previous + gap);
        previous = at[order[k]];
    }
    // Pushed beyond the bottom: back up, each keeping its gap to the one below.
    int next = span + gap;
    for (size_t k = order.size(); k-- > 0;) {
        at[order[k]] = std::max(0, std::min(at[order[k]], next - gap));
        next = at[order[k]];
    }
    return at;
}

class SidePlot {
public:
    SidePlot(DrawContext& dc, const Metrics& m, const History& h, Side side, const std::vector<DateTick>& ticks,
             int64_t lo, int64_t hi)
        : dc_(dc), m_(m), h_(h), side_(side), ticks_(ticks), lo_(lo), hi_(hi) {}

    // The width the load names need right of the plot.
    int labelWidth() const {
        int w = 0;
        for (double load : loadsOf(h_, side_)) w = std::max(w, textWidthEstimate(loadText(load) + " kg", m_.small));
        // The dashes' sample and the gaps on either side of it: three rows.
        return w + 3 * m_.row;
    }

    // `box` is the plot's frame; its title and band legend go in the two rows above it,
    // the dates in the rows below, the load names right of it.
    void draw(const Rect& box) {
        box_ = box;
        dir_ = box.bottom > box.top ? 1 : -1;
        scaleWatts();
        drawBands();
        drawFrame();
        drawTitle();
        drawLines();
        drawRings();
        dc_.setTextColor(kBlack);
    }

private:
    int px(int64_t t) const {
        return box_.left + static_cast<int>(std::lround(double(t - lo_) / double(hi_ - lo_) * (box_.right - box_.left)));
    }
    int py(double v) const { return box_.bottom + static_cast<int>(std::lround(v / yHi_ * (box_.top - box_.bottom))); }

    void scaleWatts() {
        double top = 0.0;
        for (const HistoryTest& t : h_.tests)
            for (const HistoryLoad& l : t.side(side_)) top = std::max(top, l.meanPeakPower + mdcAt(l.load).value_or(0.0));
        step_ = niceStep(top * 1.05, 5);
        yHi_ = std::max(step_, std::ceil(top * 1.05 / step_) * step_);
    }

    // The side and load's own error (MDC95); none where no test repeated an attempt there.
    std::optional<double> mdcAt(double load) const {
        const HistoryError* e = h_.errorAt(side_, load);
        return e ? e->mdc95 : std::nullopt;
    }

    // The error band of each load, its own, around its first test, across the whole time
    // axis.
    void drawBands() {
        for (double load : loadsOf(h_, side_))
            for (const HistoryTest& t : h_.tests) {
                const std::optional<double> mdc = mdcAt(load);
                if (!mdc) break;
                auto it = std::find_if(t.side(side_).begin(), t.side(side_).end(),
                                       [&](const HistoryLoad& l) { return sameLoad(l.load, load); });
                if (it == t.side(side_).end()) continue;
                // Within the plot: a band reaching below 0 W stops at the axis.
                const double lo = std::max(0.0, it->meanPeakPower - *mdc), hi = std::min(yHi_, it->meanPeakPower + *mdc);
                dc_.fillRect(Rect{box_.left + 1, py(hi), box_.right - 1, py(lo)}, Brush{bandOf(side_), BrushStyle::Solid});
                break;
            }
    }

    void drawFrame() {
        dc_.selectPen(Pen{kBlack, m_.pen > 1 ? 2 : 1, PenStyle::Solid});
        dc_.selectBrush(Brush{kWhite, BrushStyle::None});
        dc_.rectangle(box_);
        dc_.selectFont(Font{"Arial", m_.small, 400});
        dc_.setTextColor(kBlack);
        for (double v = 0.0; v <= yHi_ + step_ / 2; v += step_) {
            const int y = py(v);
            dc_.line(box_.left, y, box_.left + m_.tick, y);
            char text[24];
            std::snprintf(text, sizeof text, "%.0f", v);
            dc_.text(Rect{box_.left - 4 * m_.row, y - dir_ * m_.row / 2, box_.left - m_.tick, y + dir_ * m_.row / 2}, text,
                     TextAlign::Right);
        }
        // Each test a short tick; the dates on the ticks of the axis' own step.
        for (const HistoryTest& t : h_.tests) dc_.line(px(t.testTime), box_.bottom, px(t.testTime), box_.bottom - dir_ * m_.tick);
        for (const DateTick& tick : ticks_) {
            const int x = px(tick.time), half = textWidthEstimate(tick.label, m_.small) / 2 + m_.tick;
            dc_.line(x, box_.bottom, x, box_.bottom + dir_ * m_.tick);
            dc_.text(Rect{x - half, box_.bottom + dir_ * m_.tick, x + half, box_.bottom + dir_ * (m_.tick + m_.row)},
                     tick.label, TextAlign::Center);
            if (!tick.day.empty()) {
                const int w = textWidthEstimate(tick.day, m_.small);
                const int left = std::clamp(x - w / 2, box_.left, box_.right - w);
                dc_.text(Rect{left, box_.bottom + dir_ * (m_.tick + m_.row), left + w, box_.bottom + dir_ * (m_.tick + 2 * m_.row)},
                         tick.day, TextAlign::Center);
            }
        }
    }

    void drawTitle() {
        dc_.selectFont(Font{"Arial", m_.font, 700});
        dc_.setTextColor(colorOf(side_));
        const std::string title = std::string(sideName(side_)) + ": mean peak power (W)";
        dc_.text(Rect{box_.left, box_.top - dir_ * 2 * m_.row, box_.right, box_.top - dir_ * m_.row}, title, TextAlign::Left);
        // The band's legend: a swatch of its colour and what it means.
        dc_.selectFont(Font{"Arial", m_.small, 400});
        bool anyBand = false;
        for (double load : loadsOf(h_, side_)) anyBand = anyBand || mdcAt(load).has_value();
        const int y0 = box_.top - dir_ * m_.row, y1 = box_.top - dir_ * m_.row / 4;
        if (anyBand) {
            dc_.fillRect(Rect{box_.left, y0 + dir_ * m_.row / 4, box_.left + m_.row, y1 - dir_ * m_.row / 4},
                         Brush{bandOf(side_), BrushStyle::Solid});
            dc_.text(Rect{box_.left + m_.row * 3 / 2, y0, box_.right, y1}, "each load's error (MDC95)",
                     TextAlign::Left);
        } else {
            dc_.text(Rect{box_.left, y0, box_.right, y1}, "no error estimate yet", TextAlign::Left);
        }
    }

    // One line per load, told apart by the pen's dashes and named right of the plot at
    // the height of its latest point, the names kept a row apart.
    void drawLines() {
        const std::vector<double> loads = loadsOf(h_, side_);
        std::vector<LoadLine> lines;
        for (size_t k = 0; k < loads.size(); ++k) {
            LoadLine line{loads[k], kLoadStyles[k % std::size(kLoadStyles)], {}};
            for (const HistoryTest& t : h_.tests)
                for (const HistoryLoad& l : t.side(side_))
                    if (sameLoad(l.load, loads[k])) line.points.push_back(Point{px(t.testTime), py(l.meanPeakPower)});
            lines.push_back(std::move(line));
        }
        for (const LoadLine& line : lines) {
            dc_.selectPen(Pen{colorOf(side_), m_.pen, line.style});
            dc_.polyline(line.points);
            dc_.selectPen(Pen{colorOf(side_), 1, PenStyle::Solid});
            dc_.selectBrush(Brush{colorOf(side_), BrushStyle::Solid});
            for (const Point& p : line.points)
                dc_.ellipse(Rect{p.x - m_.marker, p.y - m_.marker, p.x + m_.marker, p.y + m_.marker});
        }
        std::vector<int> wanted;
        for (const LoadLine& line : lines) wanted.push_back((line.points.back().y - box_.top) * dir_);
        const int span = std::abs(box_.bottom - box_.top);
        const std::vector<int> at = spreadLabels(wanted, m_.row, std::max(0, span - m_.row / 2));
        dc_.selectFont(Font{"Arial", m_.small, 400});
        dc_.setTextColor(colorOf(side_));
        for (size_t k = 0; k < lines.size(); ++k) {
            const int y = box_.top + dir_ * at[k], x = box_.right + m_.row / 3;
            // A piece of the line's own dashes before the name ties the two together.
            dc_.selectPen(Pen{colorOf(side_), m_.pen, lines[k].style});
            dc_.line(x, y, x + 3 * m_.row / 2, y);
            const std::string name = loadText(lines[k].load) + " kg";
            dc_.text(Rect{x + 2 * m_.row - m_.row / 3, y - dir_ * m_.row / 2,
                          x + 2 * m_.row + textWidthEstimate(name, m_.small), y + dir_ * m_.row / 2},
                     name, TextAlign::Left);
        }
    }

    // A real change: a black ring round the later test's point.
    void drawRings() {
        dc_.selectPen(Pen{kBlack, m_.pen + 1, PenStyle::Solid});
        dc_.selectBrush(Brush{kWhite, BrushStyle::None});
        for (const HistoryChange& c : h_.changes) {
            if (c.side != side_ || !c.beyondError.value_or(false) || c.firstToLatest) continue;
            for (const HistoryLoad& l : h_.tests[c.to].side(side_))
                if (sameLoad(l.load, c.load)) {
                    const int x = px(h_.tests[c.to].testTime), y = py(l.meanPeakPower), r = 3 * m_.marker;
                    dc_.ellipse(Rect{x - r, y - r, x + r, y + r});
                }
        }
    }

    DrawContext& dc_;
    const Metrics& m_;
    const History& h_;
    Side side_;
    const std::vector<DateTick>& ticks_;
    int64_t lo_, hi_;
    Rect box_{};
    int dir_ = 1;
    double step_ = 1.0, yHi_ = 1.0;
};

// ---------------------------------------------------------------- the blocks below

struct Block {
    enum class Kind { Plots, Lines, TableTitles, TableRow, Heading } kind = Kind::Lines;
    std::vector<std::string> lines;  // Lines, Heading: wrapped to the width; TableRow: its cells
    Color color = kBlack;
    bool bold = false;
    int rows = 1;  // the height in text rows (not for the plots)
};

// The history with only the loads equal to `only`: the tests stay (the changes point into
// them), and the errors of that load alone.
History onlyLoad(const History& h, double only) {
    History out = h;
    std::erase_if(out.errors, [&](const HistoryError& e) { return !sameLoad(e.load, only); });
    for (HistoryTest& t : out.tests)
        for (auto& side : t.sides) std::erase_if(side, [&](const HistoryLoad& l) { return !sameLoad(l.load, only); });
    std::erase_if(out.changes, [&](const HistoryChange& c) { return !sameLoad(c.load, only); });
    return out;
}

size_t testsShown(const History& h) {
    return static_cast<size_t>(std::count_if(h.tests.begin(), h.tests.end(), [](const HistoryTest& t) {
        return !t.sides[0].empty() || !t.sides[1].empty();
    }));
}

class HistoryLayout {
public:
    HistoryLayout(DrawContext& dc, const Rect& area, const History& all, std::optional<double> load)
        : dc_(dc),
          m_(plotMetricsFor(dc)),
          f_{area, area.bottom > area.top ? 1 : -1},
          h_(load ? onlyLoad(all, *load) : all),
          atLoad_(load ? " at " + loadText(*load) + " kg" : "") {
        if (!h_.tests.empty()) buildBlocks();
    }

    HistoryPart draw(int first) {
        dc_.save();
        int y = drawHeading();
        const int count = static_cast<int>(blocks_.size());
        first = std::clamp(first, 0, std::max(0, count - 1));
        int k = first;
        if (h_.tests.empty()) {
            dc_.selectFont(Font{"Arial", m_.font, 400});
            dc_.text(Rect{f_.area.left, f_.down(y), f_.area.right, f_.down(y + m_.row)}, "No indexed test of this subject.",
                     TextAlign::Left);
            dc_.restore();
            return {0, 0};
        }
        // Whether every block from `first` fits; if not, the screen keeps a row for the hint.
        int need = 0;
        for (int i = first; i < count; ++i) need += heightOf(i);
        // A view scrolled down keeps it too: it says where the lines on show stand.
        const bool screenHint = !dc_.isPrinting() && (first > 0 || y + need > f_.height());
        const int bottom = f_.height() - (screenHint ? m_.row : 0);
        // A page or view that starts inside the table repeats its column titles.
        if (blocks_[k].kind == Block::Kind::TableRow) {
            drawBlock(titlesBlock_, y);
            y += m_.row;
        }
        for (; k < count; ++k) {
            if (k > first && y + heightOf(k) > bottom) break;  // at least one block, or paging never ends
            drawBlock(k, y);
            y += heightOf(k);
        }
        if (screenHint) {
            dc_.selectFont(Font{"Arial", m_.small, 400});
            dc_.setTextColor(kBlack);
            char hint[128];
            if (k < count)
                std::snprintf(hint, sizeof hint, "Lines %d to %d of %d. More below: Page Down or the mouse wheel", first + 1,
                              k, count);
            else
                std::snprintf(hint, sizeof hint, "Lines %d to %d of %d. Above: Page Up or Home", first + 1, k, count);
            dc_.text(Rect{f_.area.left, f_.down(bottom), f_.area.right, f_.down(bottom + m_.row)}, hint, TextAlign::Left);
        }
        dc_.restore();
        return {k, count};
    }

private:
    int width() const { return f_.area.right - f_.area.left; }
    int heightOf(int k) const { return blocks_[k].kind == Block::Kind::Plots ? plotsHeight() : blocks_[k].rows * m_.row; }
    // The plots take a little under half of the area, never less than twelve rows.
    int plotsHeight() const { return std::max(12 * m_.row, (f_.height() - 2 * m_.row) * 45 / 100); }

    int drawHeading() {
        dc_.selectFont(Font{"Arial", m_.font, 700});
        dc_.setTextColor(kBlack);
        const size_t n = testsShown(h_);
        const std::string heading = "History of " + h_.subject + ": " + std::to_string(n) + (n == 1 ? " test" : " tests") + atLoad_;
        dc_.text(Rect{f_.area.left, f_.down(0), f_.area.right, f_.down(m_.row)}, heading, TextAlign::Left);
        return m_.row * 3 / 2;
    }

    void addLines(const std::string& text, Color color, bool bold, Block::Kind kind = Block::Kind::Lines) {
        Block b;
        b.kind = kind;
        b.lines = wrapText(text, width() - m_.row, m_.small, bold);
        b.rows = static_cast<int>(b.lines.size()) + (kind == Block::Kind::Heading ? 1 : 0);
        b.color = color;
        b.bold = bold;
        blocks_.push_back(std::move(b));
    }

    void buildBlocks() {
        blocks_.push_back(Block{Block::Kind::Plots, {}, kBlack, false, 0});
        for (Side s : {Side::Left, Side::Right})
            for (const std::string& line : historyErrorLines(h_, s)) addLines(line, colorOf(s), false);
        titlesBlock_ = Block{Block::Kind::TableTitles, historyTableTitles(), kBlack, true, 1};
        blocks_.push_back(titlesBlock_);
        const auto rows = historyTableRows(h_);
        const auto sides = historyRowSides(h_);
        for (size_t r = 0; r < rows.size(); ++r)
            blocks_.push_back(Block{Block::Kind::TableRow, rows[r], colorOf(sides[r]), false, 1});
        addLines("Changes of the mean peak power", kBlack, true, Block::Kind::Heading);
        if (h_.changes.empty()) addLines("none: no side and load tested twice", kBlack, false);
        for (const HistoryChange& c : h_.changes)
            addLines((c.firstToLatest ? "first to latest: " : "") + historyChangeLine(h_, c), colorOf(c.side),
                     c.beyondError.value_or(false));
        if (h_.leftOut > 0)
            addLines(std::to_string(h_.leftOut) + " repetition(s) left out: no peak, no side, or a load of 0 or below.",
                     kBlack, false);
        // The table's columns: each as wide as its longest text, the gaps even.
        std::vector<int> widths(historyTableTitles().size(), 0);
        for (const Block& b : blocks_)
            if (b.kind == Block::Kind::TableRow || b.kind == Block::Kind::TableTitles)
                for (size_t c = 0; c < b.lines.size() && c < widths.size(); ++c)
                    widths[c] = std::max(widths[c], textWidthEstimate(b.lines[c], m_.font, true));
        edges_ = {f_.area.left};
        for (int w : widths) edges_.push_back(edges_.back() + w + m_.row);
    }

    void drawBlock(int k, int y) { drawBlock(blocks_[k], y); }

    void drawBlock(const Block& b, int y) {
        const Rect& a = f_.area;
        dc_.setTextColor(b.color);
        switch (b.kind) {
            case Block::Kind::Plots: drawPlots(y); break;
            case Block::Kind::Heading:
                dc_.selectFont(Font{"Arial", m_.small, 700});
                for (const std::string& line : b.lines) {
                    y += m_.row;
                    dc_.text(Rect{a.left, f_.down(y - m_.row / 2), a.right, f_.down(y + m_.row / 2)}, line, TextAlign::Left);
                }
                dc_.selectPen(Pen{kBlack, 1, PenStyle::Solid});
                dc_.line(a.left, f_.down(y + m_.row * 3 / 4), a.right, f_.down(y + m_.row * 3 / 4));
                break;
            case Block::Kind::Lines:
                dc_.selectFont(Font{"Arial", m_.small, b.bold ? 700 : 400});
                for (size_t i = 0; i < b.lines.size(); ++i, y += m_.row)
                    dc_.text(Rect{a.left + (i ? m_.row : 0), f_.down(y), a.right, f_.down(y + m_.row)}, b.lines[i],
                             TextAlign::Left);
                break;
            case Block::Kind::TableTitles:
            case Block::Kind::TableRow: {
                const bool titles = b.kind == Block::Kind::TableTitles;
                dc_.selectFont(Font{"Arial", titles ? m_.small : m_.font, titles ? 700 : 400});
                for (size_t c = 0; c < b.lines.size() && c + 1 < edges_.size(); ++c)
                    dc_.text(Rect{edges_[c], f_.down(y), edges_[c + 1] - m_.row / 2, f_.down(y + m_.row)}, b.lines[c],
                             c < 2 ? TextAlign::Left : TextAlign::Right);
                if (titles) {
                    dc_.selectPen(Pen{kBlack, 1, PenStyle::Solid});
                    dc_.line(a.left, f_.down(y + m_.row), edges_.back(), f_.down(y + m_.row));
                }
                break;
            }
        }
    }

    // The two sides' plots side by side, each with its title above and its dates below.
    void drawPlots(int y) {
        const Rect& a = f_.area;
        const int height = plotsHeight();
        int64_t t0 = h_.tests.front().testTime, t1 = h_.tests.back().testTime;
        // Room at either end, so the first and the latest points are not on the frame.
        const int64_t pad = std::max<int64_t>(1800, (t1 - t0) / 12);
        const int64_t lo = t0 - pad, hi = t1 + pad;
        const int half = (a.right - a.left) / 2;
        const int yTop = y + 2 * m_.row, yBottom = y + height - 3 * m_.row;
        for (Side side : {Side::Left, Side::Right}) {
            const int left = side == Side::Left ? a.left : a.left + half;
            const int right = side == Side::Left ? a.left + half - m_.row : a.right;
            std::vector<DateTick> none;
            SidePlot measuring(dc_, m_, h_, side, none, lo, hi);
            const Rect box{left + 4 * m_.row, f_.down(yTop), right - measuring.labelWidth(), f_.down(yBottom)};
            const int most = std::max(2, (box.right - box.left) / (textWidthEstimate("2026-12-07", m_.small) + m_.row));
            const std::vector<DateTick> ticks = dateTicks(lo, hi, most);
            SidePlot(dc_, m_, h_, side, ticks, lo, hi).draw(box);
        }
    }

    DrawContext& dc_;
    Metrics m_;
    Frame f_;
    History h_;
    std::string atLoad_;
    std::vector<Block> blocks_;
    Block titlesBlock_;
    std::vector<int> edges_;
};

// Draws nothing: the paper's pages are counted by laying them out on it.
class CountingContext : public DrawContext {
public:
    explicit CountingContext(bool printing = true) : printing_(printing) {}
    bool isPrinting() const override { return printing_; }
    void line(int, int, int, int) override {}
    void polyline(std::span<const Point>) override {}
    void rectangle(const Rect&) override {}
    void fillRect(const Rect&, const Brush&) override {}
    void ellipse(const Rect&) override {}
    void pie(const Rect&, double, double) override {}
    void text(const Rect&, std::string_view, TextAlign) override {}

private:
    bool printing_;
};

}  // namespace

HistoryPart drawHistory(DrawContext& dc, const Rect& area, const History& history, std::optional<double> load, int first) {
    return HistoryLayout(dc, area, history, load).draw(first);
}

int historyLastViewStart(const Rect& area, const History& history, std::optional<double> load) {
    CountingContext counting(false);
    const int count = drawHistory(counting, area, history, load, 0).count;
    int start = std::max(0, count - 1);
    for (int first = count - 2; first >= 0; --first) {
        if (drawHistory(counting, area, history, load, first).next < count) break;
        start = first;
    }
    return start;
}

PageHeaderTexts historyPageHeader(const History& history, std::optional<double> load) {
    PageHeaderTexts h;
    h.left = "Name: " + history.subject;
    const History shown = load ? onlyLoad(history, *load) : history;
    const size_t n = testsShown(shown);
    h.right = std::to_string(n) + (n == 1 ? " test" : " tests") + (load ? " at " + loadText(*load) + " kg" : "");
    std::vector<int64_t> times;
    for (const HistoryTest& t : shown.tests)
        if (!t.sides[0].empty() || !t.sides[1].empty()) times.push_back(t.testTime);
    if (!times.empty()) {
        const std::string from = historyDate(times.front()), to = historyDate(times.back());
        h.right += ", " + (from == to ? from : from + " to " + to);
    }
    return h;
}

HistoryOnPaper::HistoryOnPaper(History history, std::optional<double> load)
    : history_(std::move(history)), load_(load) {}

const std::vector<int>& HistoryOnPaper::pageStarts() {
    if (!starts_.empty()) return starts_;
    CountingContext counting;
    int first = 0;
    for (;;) {
        starts_.push_back(first);
        const Rect& area = starts_.size() == 1 ? kDrawingRectFirstPage : kDrawingRectFurtherPage;
        const HistoryPart part = drawHistory(counting, area, history_, load_, first);
        if (part.next >= part.count || part.next <= first) break;
        first = part.next;
    }
    return starts_;
}

int HistoryOnPaper::pageCount() { return static_cast<int>(pageStarts().size()); }

void HistoryOnPaper::drawPage(DrawContext& dc, const Rect& area, int page) {
    const std::vector<int>& starts = pageStarts();
    if (page < 1 || page > static_cast<int>(starts.size())) return;
    drawHistory(dc, area, history_, load_, starts[page - 1]);
}

}  // namespace vanta
