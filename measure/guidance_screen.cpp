#include "measure/guidance_screen.h"

#include <algorithm>

#include "measure/live_detection.h"

namespace vanta {

namespace {

constexpr int kMaxListWidth = 730;
constexpr int kMaxListHeight = 350;
constexpr int kFullFont = 24;
constexpr int kFullLineHeight = 40;
// The red disc moves 100 pixels for a whole g off the level direction.
constexpr double kDiscTravel = 100.0;
// Angle 0 points straight up on the dial.
constexpr double kDialOffset = 270.0;

Font guidanceFont(int height) { return Font{"Arial", height, 700}; }

Rect discBounds(int x, int y, int r) { return Rect{x - r, y - r, x + r, y + r}; }

void disc(DrawContext& dc, int x, int y, int r, Color outline, Color fill) {
    dc.selectPen(Pen{outline, 1, PenStyle::Solid});
    dc.selectBrush(Brush{fill, BrushStyle::Solid});
    dc.ellipse(discBounds(x, y, r));
}

// One line of guidance: blue on white, left aligned, vertically centred in its band. The
// band reaches 250 or 300 pixels past the dial, less than the longest line needs in the
// full 24-pixel font; the line may run on to the view's right edge rather than be cut
// (nothing else is drawn at these heights).
Rect lineBand(const Rect& band, const GuidanceLayout& g) { return Rect{band.left, band.top, std::max(band.right, g.right), band.bottom}; }

void line(DrawContext& dc, const Rect& band, std::string_view text) {
    dc.fillRect(band, Brush{kWhite, BrushStyle::Solid});
    dc.text(band, text, TextAlign::Left);
}

}  // namespace

GuidanceLayout guidanceLayout(const Rect& client) {
    GuidanceLayout g;
    const int L = client.left, T = client.top, R = client.right, B = client.bottom;
    g.left = L, g.top = T, g.right = R, g.bottom = B;
    const int h = B - T - 20;
    g.x1 = L + (R - L) / 3;
    g.y1 = T + 20 + h / 4;
    g.y3 = T + 20 + 3 * h / 4;

    const int w = R - g.x1;
    int listWidth = kMaxListWidth;
    int s = 1;
    if (w > kMaxListWidth) {
        g.largeFont = g.smallFont = kFullFont;
    } else {
        listWidth = w;
        // A window narrower than 30 pixels on the right (minimised, or dragged down to
        // nothing) would give a font of height 0 and a division by zero below.
        const int perLetter = w / 30 > 0 ? w / 30 : 1;
        g.largeFont = perLetter;
        g.smallFont = static_cast<int>(0.8 * w / 30);
        if (g.smallFont < 1) g.smallFont = 1;
        s = kFullFont / perLetter;
    }
    const int gap = g.y3 - (T + 20);
    int listHeight = kMaxListHeight;
    if (gap > kMaxListHeight) {
        g.lineHeight = kFullLineHeight;
    } else {
        listHeight = gap / s;
        g.lineHeight = kFullLineHeight / (s + 1);
    }
    g.resultList = Rect{g.x1, g.y1 + 25, g.x1 + listWidth, g.y1 + 25 + listHeight};
    g.dial = Rect{L, g.y1 + 25, g.x1, g.y3 + 20};
    g.cx = L + (g.x1 - L) / 2;
    g.cy = static_cast<int>(g.y1 + 5 + 0.5 * (g.y3 - g.y1 + 15));
    g.radius = static_cast<int>(0.4 * (g.x1 - L));
    g.columnWidthScale = w > kMaxListWidth ? 1.0f : static_cast<float>(kFullFont) / static_cast<float>(g.largeFont);
    return g;
}

void GuidanceScreen::drawStrokeDial(DrawContext& dc, const GuidanceLayout& g, double startAngle, double angle,
                                    double peakAngle, int direction) {
    disc(dc, g.cx, g.cy, g.radius, kBlack, kGreen);
    const bool pastPeak = direction < 0 ? angle <= peakAngle : angle >= peakAngle;
    if (!pastPeak) return;
    dc.selectBrush(Brush{kBlue, BrushStyle::Solid});
    dc.pie(discBounds(g.cx, g.cy, g.radius), startAngle + kDialOffset, angle - startAngle);
}

void GuidanceScreen::drawStandStillLine(DrawContext& dc, const GuidanceLayout& g) {
    const int b = g.lineHeight;
    dc.save();
    dc.selectFont(guidanceFont(g.smallFont));
    dc.setTextColor(kBlue);
    line(dc, lineBand(Rect{g.left, g.y1 - 3 * b - 5, g.x1 + 250, g.y1 - 2 * b - 5}, g), kTextStandStill);
    dc.restore();
}

std::vector<Rect> GuidanceScreen::drawTick(DrawContext& dc, const GuidanceLayout& g, const GuidanceFrame& f) {
    std::vector<Rect> drawn;
    const int b = g.lineHeight;
    const int L = g.left;
    const int y1 = g.y1;
    // Band k (1..5) of guidance text lies from y1 - k*b - 5 to y1 - (k-1)*b - 5.
    auto band = [&](int k, int right) { return Rect{L, y1 - k * b - 5, right, y1 - (k - 1) * b - 5}; };

    dc.save();
    dc.selectFont(guidanceFont(g.smallFont));
    dc.setTextColor(kBlue);

    if (f.phaseBefore == PhaseStandStill) {
        if (redDisc_.shown) {
            disc(dc, redDisc_.x, redDisc_.y, g.radius, kWhite, kWhite);
            drawn.push_back(discBounds(redDisc_.x, redDisc_.y, g.radius));
            redDisc_.shown = false;
        }
        const Rect blank = band(4, g.x1);
        dc.fillRect(blank, Brush{kWhite, BrushStyle::Solid});
        drawn.push_back(blank);
        // Once the second of stillness is complete the line goes away: the subject only
        // has to level the bar now.
        const Rect standStill = lineBand(band(3, g.x1 + 250), g);
        if (f.stillCountBefore < kStillSamples) line(dc, standStill, kTextStandStill);
        else dc.fillRect(standStill, Brush{kWhite, BrushStyle::Solid});
        line(dc, lineBand(band(2, g.x1 + 250), g), kTextMoveBarbel);
        drawn.push_back(standStill);
        drawn.push_back(lineBand(band(2, g.x1 + 250), g));
    } else if (f.phaseBefore == PhaseReady) {
        const Rect blank = band(5, g.x1 + 300);
        dc.fillRect(blank, Brush{kWhite, BrushStyle::Solid});
        drawn.push_back(blank);
        for (int k = 0; k < 4; ++k) {
            line(dc, lineBand(band(4 - k, g.x1 + 300), g), kTextsReady[k]);
            drawn.push_back(lineBand(band(4 - k, g.x1 + 300), g));
        }
    }

    switch (f.phaseNow) {
    case PhaseStandStill:
        disc(dc, g.cx, g.cy, g.radius, kBlack, kBlue);
        drawn.push_back(discBounds(g.cx, g.cy, g.radius));
        if (f.sampleCount > 100) {
            redDisc_ = {g.cx + static_cast<int>(kDiscTravel * f.unit[0]), g.cy + static_cast<int>(kDiscTravel * f.unit[2]),
                        true};
            disc(dc, redDisc_.x, redDisc_.y, g.radius, kRed, kRed);
            drawn.push_back(discBounds(redDisc_.x, redDisc_.y, g.radius));
        }
        break;
    case PhaseReady:
        dc.fillRect(g.dial, Brush{kWhite, BrushStyle::Solid});
        disc(dc, g.cx, g.cy, g.radius, kBlack, kGreen);
        drawn.push_back(g.dial);
        break;
    case PhaseStroke:
        drawStrokeDial(dc, g, f.startAngle, f.angle, f.peakAngle, f.direction);
        drawn.push_back(discBounds(g.cx, g.cy, g.radius));
        break;
    default: break;  // the tail draws nothing new; the stored attempt is the view's paint
    }
    dc.restore();
    return drawn;
}

}  // namespace vanta
