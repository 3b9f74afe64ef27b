#include "canvas/qpainter_draw_context.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPolygonF>
#include <QString>

#include <algorithm>
#include <cmath>

namespace vanta {

namespace {
// 0.1 mm per inch: paper units per inch.
constexpr double kPaperUnitsPerInch = 254.0;

QColor toQColor(Color c) { return QColor(c.r, c.g, c.b); }

Qt::PenStyle toQtStyle(PenStyle s) {
    switch (s) {
        case PenStyle::Solid: return Qt::SolidLine;
        case PenStyle::Dash: return Qt::DashLine;
        case PenStyle::Dot: return Qt::DotLine;
        case PenStyle::DashDot: return Qt::DashDotLine;
        case PenStyle::None: return Qt::NoPen;
    }
    return Qt::SolidLine;
}

QBrush toQBrush(const Brush& b) {
    if (b.style == BrushStyle::None) return QBrush(Qt::NoBrush);
    return QBrush(toQColor(b.color));
}
}  // namespace

QPainterDrawContext::QPainterDrawContext(QPainter& painter) : painter_(painter), paper_(false) {
    applyPen();
    applyBrush();
    applyFont();
}

QPainterDrawContext::QPainterDrawContext(QPainter& painter, double dpiX, double dpiY)
    : painter_(painter), paper_(true), scaleX_(dpiX / kPaperUnitsPerInch), scaleY_(dpiY / kPaperUnitsPerInch) {
    applyPen();
    applyBrush();
    applyFont();
}

QPainterDrawContext QPainterDrawContext::forPaper(QPainter& painter) {
    const QPaintDevice* device = painter.device();
    const double dpiX = device ? device->logicalDpiX() : 96.0;
    const double dpiY = device ? device->logicalDpiY() : 96.0;
    return QPainterDrawContext(painter, dpiX, dpiY);
}

QPointF QPainterDrawContext::toDevice(Point p) const {
    if (!paper_) return QPointF(p.x, p.y);
    // Paper y grows upwards from the top of the page; the device's grows downwards.
    return QPointF(p.x * scaleX_, -p.y * scaleY_);
}

QRectF QPainterDrawContext::toDevice(const Rect& r) const {
    return QRectF(toDevice(Point{r.left, r.top}), toDevice(Point{r.right, r.bottom})).normalized();
}

int QPainterDrawContext::fontPixelSize(int height) const {
    const int px = static_cast<int>(std::lround(std::abs(height) * scaleY_));
    return std::max(px, 1);
}

void QPainterDrawContext::applyPen() {
    const Pen& p = state_.pen;
    QPen pen(toQColor(p.color));
    pen.setStyle(toQtStyle(p.style));
    // Width 0 is the device's thinnest line (a cosmetic pen), as on screen.
    pen.setWidthF(p.width <= 0 ? 0.0 : p.width * scaleX_);
    painter_.setPen(pen);
}

void QPainterDrawContext::applyBrush() { painter_.setBrush(toQBrush(state_.brush)); }

void QPainterDrawContext::applyFont() {
    QFont font(QString::fromStdString(state_.font.face));
    font.setPixelSize(fontPixelSize(state_.font.height));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(state_.font.weight, 1, 1000)));
    painter_.setFont(font);
}

Pen QPainterDrawContext::selectPen(const Pen& pen) {
    Pen previous = DrawContext::selectPen(pen);
    applyPen();
    return previous;
}

Brush QPainterDrawContext::selectBrush(const Brush& brush) {
    Brush previous = DrawContext::selectBrush(brush);
    applyBrush();
    return previous;
}

Font QPainterDrawContext::selectFont(const Font& font) {
    Font previous = DrawContext::selectFont(font);
    applyFont();
    return previous;
}

void QPainterDrawContext::restore() {
    DrawContext::restore();
    applyPen();
    applyBrush();
    applyFont();
    applyClip();
}

void QPainterDrawContext::clipTo(const Rect& r) {
    DrawContext::clipTo(r);
    applyClip();
}

void QPainterDrawContext::clipOff() {
    DrawContext::clipOff();
    applyClip();
}

void QPainterDrawContext::applyClip() {
    if (!clipTaken_ && !state_.clip) return;
    if (!clipTaken_) {
        clipTaken_ = true;
        painterClipped_ = painter_.hasClipping();
        painterClip_ = painter_.clipRegion();
    }
    if (state_.clip) {
        // The edges belong to the rectangle: a one-unit line drawn on the right or bottom
        // edge covers the device pixels just past it.
        const QRectF r = toDevice(*state_.clip).adjusted(0, 0, std::max(1.0, scaleX_), std::max(1.0, scaleY_));
        painter_.setClipRect(r, Qt::ReplaceClip);
        if (painterClipped_) painter_.setClipRegion(painterClip_, Qt::IntersectClip);
    } else if (painterClipped_) {
        painter_.setClipRegion(painterClip_, Qt::ReplaceClip);
    } else {
        painter_.setClipping(false);
    }
}

void QPainterDrawContext::line(int x1, int y1, int x2, int y2) {
    painter_.drawLine(toDevice(Point{x1, y1}), toDevice(Point{x2, y2}));
}

void QPainterDrawContext::polyline(std::span<const Point> points) {
    if (points.size() < 2) return;
    QPolygonF poly;
    poly.reserve(static_cast<qsizetype>(points.size()));
    for (const Point& p : points) poly << toDevice(p);
    painter_.drawPolyline(poly);
}

void QPainterDrawContext::rectangle(const Rect& r) { painter_.drawRect(toDevice(r)); }

void QPainterDrawContext::fillRect(const Rect& r, const Brush& brush) {
    if (brush.style == BrushStyle::None) return;
    painter_.fillRect(toDevice(r), toQColor(brush.color));
}

void QPainterDrawContext::ellipse(const Rect& bounds) { painter_.drawEllipse(toDevice(bounds)); }

void QPainterDrawContext::pie(const Rect& bounds, double startDeg, double sweepDeg) {
    // Qt counts angles anticlockwise as seen on the device, in 1/16 degree. On screen a
    // logical angle turns clockwise (y down), so its sign flips; on paper (y up) the
    // logical angle already turns anticlockwise as seen.
    const double sign = paper_ ? 1.0 : -1.0;
    const int start = static_cast<int>(std::lround(sign * startDeg * 16.0));
    const int span = static_cast<int>(std::lround(sign * sweepDeg * 16.0));
    painter_.drawPie(toDevice(bounds), start, span);
}

double QPainterDrawContext::devicePixelsPerUnit() const {
    if (paper_) return scaleX_;
    const QPaintDevice* device = painter_.device();
    return device ? device->devicePixelRatioF() : 1.0;
}

void QPainterDrawContext::text(const Rect& r, std::string_view utf8, TextAlign align) { drawText(r, utf8, align, 0); }

void QPainterDrawContext::textUnclipped(const Rect& r, std::string_view utf8, TextAlign align) {
    drawText(r, utf8, align, Qt::TextDontClip);
}

void QPainterDrawContext::textElided(const Rect& r, std::string_view utf8, TextAlign align) {
    const QString whole = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    const QString shown = QFontMetricsF(painter_.font(), painter_.device()).elidedText(whole, Qt::ElideRight, toDevice(r).width());
    const QByteArray bytes = shown.toUtf8();
    drawText(r, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), align, 0);
}

void QPainterDrawContext::drawText(const Rect& r, std::string_view utf8, TextAlign align, int extraFlags) {
    int flags = Qt::AlignVCenter | Qt::TextSingleLine | extraFlags;
    switch (align) {
        case TextAlign::Left: flags |= Qt::AlignLeft; break;
        case TextAlign::Center: flags |= Qt::AlignHCenter; break;
        case TextAlign::Right: flags |= Qt::AlignRight; break;
    }
    // The painter draws text with its pen: lend it the text colour for this one call.
    const QPen pen = painter_.pen();
    painter_.setPen(toQColor(state_.textColor));
    painter_.drawText(toDevice(r), flags, QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    painter_.setPen(pen);
}

}  // namespace vanta
