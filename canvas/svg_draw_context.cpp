#include "canvas/svg_draw_context.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vanta {

namespace {

std::string num(int v) { return std::to_string(v); }

// One decimal, whatever the C library's locale: "12.5", "-3", "0.4".
std::string num(double v) {
    const long tenths = std::lround(v * 10.0);
    std::string out = tenths < 0 ? "-" : "";
    const long a = std::labs(tenths);
    out += std::to_string(a / 10);
    if (a % 10 != 0) out += "." + std::to_string(a % 10);
    return out;
}

std::string colorText(Color c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    return text;
}

Rect normalised(const Rect& r) {
    return Rect{std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right),
                std::max(r.top, r.bottom)};
}

int characters(std::string_view utf8) {
    int n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
}

// The width a line takes in Arial of the font's height, a little more than it really takes
// (the drawings lay out their labels with the same estimate; an SVG cannot be asked).
double widthOf(std::string_view utf8, const Font& font) {
    return characters(utf8) * font.height * (font.weight >= 600 ? 0.64 : 0.6);
}

// Arial where the reader has it, its metric twin Liberation Sans on Linux, any sans else.
constexpr const char* kFontFamily = "Arial, 'Liberation Sans', Helvetica, sans-serif";

}  // namespace

std::string xmlEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

SvgDrawContext::SvgDrawContext(const Rect& view, std::string idPrefix)
    : view_(normalised(view)), prefix_(std::move(idPrefix)) {}

bool SvgDrawContext::shows(Rect box, int reach) const {
    box = normalised(box);
    reach /= 2;  // a pen reaches half its width beyond the line
    box = Rect{box.left - reach, box.top - reach, box.right + reach, box.bottom + reach};
    auto meets = [&](const Rect& a) {
        return box.right >= a.left && box.left <= a.right && box.bottom >= a.top && box.top <= a.bottom;
    };
    if (!meets(view_)) return false;
    return !state_.clip || meets(normalised(*state_.clip));
}

void SvgDrawContext::emit(const std::string& element) {
    // A change of the clip closes the group of the previous one.
    if (!groupOpen_ || openClip_ != state_.clip) {
        if (groupOpen_) body_ += "</g>\n";
        if (state_.clip) {
            // The clip's edges belong to it: one unit more than the rectangle's span.
            const Rect c = normalised(*state_.clip);
            const std::string id = prefix_ + "-c" + std::to_string(++clipIds_);
            body_ += "<clipPath id=\"" + id + "\"><rect x=\"" + num(c.left) + "\" y=\"" + num(c.top) + "\" width=\"" +
                     num(c.right - c.left + 1) + "\" height=\"" + num(c.bottom - c.top + 1) + "\"/></clipPath>\n";
            body_ += "<g clip-path=\"url(#" + id + ")\">\n";
        } else {
            body_ += "<g>\n";
        }
        openClip_ = state_.clip;
        groupOpen_ = true;
    }
    body_ += element;
    body_ += '\n';
    ++elements_;
}

std::string SvgDrawContext::strokeOf(const Pen& pen) const {
    if (pen.style == PenStyle::None) return " stroke=\"none\"";
    const int w = std::max(1, pen.width);
    std::string s = " stroke=\"" + colorText(pen.color) + "\" stroke-width=\"" + num(w) + "\"";
    // The dashes in multiples of the pen's width, as a painter draws them.
    switch (pen.style) {
        case PenStyle::Dash: s += " stroke-dasharray=\"" + num(4 * w) + " " + num(2 * w) + "\""; break;
        case PenStyle::Dot: s += " stroke-dasharray=\"" + num(w) + " " + num(2 * w) + "\""; break;
        case PenStyle::DashDot:
            s += " stroke-dasharray=\"" + num(4 * w) + " " + num(2 * w) + " " + num(w) + " " + num(2 * w) + "\"";
            break;
        default: break;
    }
    return s;
}

std::string SvgDrawContext::fillOf(const Brush& brush) const {
    return brush.style == BrushStyle::None ? " fill=\"none\"" : " fill=\"" + colorText(brush.color) + "\"";
}

void SvgDrawContext::line(int x1, int y1, int x2, int y2) {
    if (pen().style == PenStyle::None || !shows(Rect{x1, y1, x2, y2}, pen().width)) return;
    // A line along an axis stays on whole pixels, as on screen.
    const bool straight = x1 == x2 || y1 == y2;
    emit("<line x1=\"" + num(x1) + "\" y1=\"" + num(y1) + "\" x2=\"" + num(x2) + "\" y2=\"" + num(y2) + "\"" +
         strokeOf(pen()) + (straight ? " shape-rendering=\"crispEdges\"" : "") + "/>");
}

void SvgDrawContext::polyline(std::span<const Point> points) {
    if (points.size() < 2 || pen().style == PenStyle::None) return;
    Rect box{points[0].x, points[0].y, points[0].x, points[0].y};
    std::string list;
    for (const Point& p : points) {
        box = Rect{std::min(box.left, p.x), std::min(box.top, p.y), std::max(box.right, p.x), std::max(box.bottom, p.y)};
        if (!list.empty()) list += ' ';
        list += num(p.x) + "," + num(p.y);
    }
    if (!shows(box, pen().width)) return;
    emit("<polyline points=\"" + list + "\" fill=\"none\"" + strokeOf(pen()) + " stroke-linejoin=\"round\"/>");
}

void SvgDrawContext::rectangle(const Rect& given) {
    const Rect r = normalised(given);
    if (!shows(r, pen().width)) return;
    emit("<rect x=\"" + num(r.left) + "\" y=\"" + num(r.top) + "\" width=\"" + num(r.right - r.left) + "\" height=\"" +
         num(r.bottom - r.top) + "\"" + fillOf(brush()) + strokeOf(pen()) + " shape-rendering=\"crispEdges\"/>");
}

void SvgDrawContext::fillRect(const Rect& given, const Brush& with) {
    const Rect r = normalised(given);
    if (with.style == BrushStyle::None || !shows(r, 0)) return;
    emit("<rect x=\"" + num(r.left) + "\" y=\"" + num(r.top) + "\" width=\"" + num(r.right - r.left) + "\" height=\"" +
         num(r.bottom - r.top) + "\"" + fillOf(with) + " shape-rendering=\"crispEdges\"/>");
}

void SvgDrawContext::ellipse(const Rect& given) {
    const Rect r = normalised(given);
    if (!shows(r, pen().width)) return;
    emit("<ellipse cx=\"" + num((r.left + r.right) / 2.0) + "\" cy=\"" + num((r.top + r.bottom) / 2.0) + "\" rx=\"" +
         num((r.right - r.left) / 2.0) + "\" ry=\"" + num((r.bottom - r.top) / 2.0) + "\"" + fillOf(brush()) +
         strokeOf(pen()) + "/>");
}

void SvgDrawContext::pie(const Rect& given, double startDeg, double sweepDeg) {
    const Rect r = normalised(given);
    if (!shows(r, pen().width) || sweepDeg == 0.0) return;
    if (std::fabs(sweepDeg) >= 360.0) {
        ellipse(r);
        return;
    }
    const double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
    const double rx = (r.right - r.left) / 2.0, ry = (r.bottom - r.top) / 2.0;
    constexpr double kRad = 3.14159265358979323846 / 180.0;
    const double a0 = startDeg * kRad, a1 = (startDeg + sweepDeg) * kRad;
    // y grows downwards here, as the angle's sine does: a growing angle is SVG's
    // positive sweep.
    const std::string d = "M" + num(cx) + "," + num(cy) + " L" + num(cx + rx * std::cos(a0)) + "," +
                          num(cy + ry * std::sin(a0)) + " A" + num(rx) + "," + num(ry) + " 0 " +
                          (std::fabs(sweepDeg) > 180.0 ? "1" : "0") + " " + (sweepDeg > 0 ? "1" : "0") + " " +
                          num(cx + rx * std::cos(a1)) + "," + num(cy + ry * std::sin(a1)) + " Z";
    emit("<path d=\"" + d + "\"" + fillOf(brush()) + strokeOf(pen()) + "/>");
}

void SvgDrawContext::writeText(const Rect& given, std::string_view utf8, TextAlign align, bool clipToRect) {
    const Rect r = normalised(given);
    if (utf8.empty() || !shows(r, 0)) return;
    const Font& f = font();
    const double x = align == TextAlign::Left ? r.left : align == TextAlign::Right ? r.right : (r.left + r.right) / 2.0;
    // Centred vertically: the baseline a third of the em below the middle puts Arial's
    // capitals and digits in the middle of the rectangle.
    const double y = (r.top + r.bottom) / 2.0 + f.height * 0.35;
    std::string clip;
    if (clipToRect && widthOf(utf8, f) > r.right - r.left) {
        const std::string id = prefix_ + "-c" + std::to_string(++clipIds_);
        body_ += "<clipPath id=\"" + id + "\"><rect x=\"" + num(r.left) + "\" y=\"" + num(r.top) + "\" width=\"" +
                 num(r.right - r.left + 1) + "\" height=\"" + num(r.bottom - r.top + 1) + "\"/></clipPath>\n";
        clip = " clip-path=\"url(#" + id + ")\"";
    }
    const char* anchor = align == TextAlign::Left ? "start" : align == TextAlign::Right ? "end" : "middle";
    emit("<text x=\"" + num(x) + "\" y=\"" + num(y) + "\" font-size=\"" + num(f.height) + "\"" +
         (f.weight >= 600 ? " font-weight=\"bold\"" : "") + " fill=\"" + colorText(textColor()) + "\" text-anchor=\"" +
         anchor + "\"" + clip + ">" + xmlEscaped(utf8) + "</text>");
}

void SvgDrawContext::text(const Rect& r, std::string_view utf8, TextAlign align) { writeText(r, utf8, align, true); }

void SvgDrawContext::textUnclipped(const Rect& r, std::string_view utf8, TextAlign align) {
    writeText(r, utf8, align, false);
}

void SvgDrawContext::textElided(const Rect& given, std::string_view utf8, TextAlign align) {
    const Rect r = normalised(given);
    if (widthOf(utf8, font()) <= r.right - r.left) {
        writeText(r, utf8, align, false);
        return;
    }
    // Whole characters while the text and "…" fit.
    const std::string_view ellipsis = "\xE2\x80\xA6";
    std::string kept;
    size_t at = 0;
    while (at < utf8.size()) {
        size_t next = at + 1;
        while (next < utf8.size() && (static_cast<unsigned char>(utf8[next]) & 0xC0) == 0x80) ++next;
        const std::string longer = kept + std::string(utf8.substr(at, next - at));
        if (widthOf(longer + std::string(ellipsis), font()) > r.right - r.left) break;
        kept = longer;
        at = next;
    }
    writeText(r, kept + std::string(ellipsis), align, false);
}

std::string SvgDrawContext::svg(std::string_view label) const {
    const int w = view_.right - view_.left, h = view_.bottom - view_.top;
    std::string out = "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"" + num(view_.left) + " " + num(view_.top) +
                      " " + num(w) + " " + num(h) + "\" width=\"" + num(w) + "\" height=\"" + num(h) +
                      "\" role=\"img\" aria-label=\"" + xmlEscaped(label) + "\" font-family=\"" + kFontFamily + "\">\n";
    out += body_;
    if (groupOpen_) out += "</g>\n";
    out += "</svg>";
    return out;
}

}  // namespace vanta
