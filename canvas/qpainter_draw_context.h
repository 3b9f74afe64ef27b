// The drawing context on a QPainter: the view's widget on screen, the printer or the
// print preview on paper. Paper units (0.1 mm, y up) are turned into device pixels here,
// point by point, and the painter keeps its plain y-down transform: a flipped painter
// transform would mirror every glyph on the page.
#pragma once

#include <QPointF>
#include <QRectF>
#include <QRegion>

#include "canvas/draw_context.h"

class QPainter;

namespace vanta {

class QPainterDrawContext : public DrawContext {
public:
    // Screen: one logical unit is one device pixel, y down.
    explicit QPainterDrawContext(QPainter& painter);
    // Paper with the given device resolution in dots per inch; logical (0, 0) is the
    // painter's origin (the top left corner of the printable area).
    QPainterDrawContext(QPainter& painter, double dpiX, double dpiY);
    // Paper at the resolution of the painter's device (printer, preview, image).
    static QPainterDrawContext forPaper(QPainter& painter);

    bool isPrinting() const override { return paper_; }
    double devicePixelsPerUnit() const override;

    Pen selectPen(const Pen& pen) override;
    Brush selectBrush(const Brush& brush) override;
    Font selectFont(const Font& font) override;
    void restore() override;
    void clipTo(const Rect& r) override;
    void clipOff() override;

    void line(int x1, int y1, int x2, int y2) override;
    void polyline(std::span<const Point> points) override;
    void rectangle(const Rect& r) override;
    void fillRect(const Rect& r, const Brush& brush) override;
    void ellipse(const Rect& bounds) override;
    void pie(const Rect& bounds, double startDeg, double sweepDeg) override;
    void text(const Rect& r, std::string_view utf8, TextAlign align) override;
    void textUnclipped(const Rect& r, std::string_view utf8, TextAlign align) override;
    void textElided(const Rect& r, std::string_view utf8, TextAlign align) override;

    // The device point of a logical point, and the device rectangle (normalised) of a
    // logical rectangle.
    QPointF toDevice(Point p) const;
    QRectF toDevice(const Rect& r) const;
    // Device pixels of a length of logical units along x and along y.
    double deviceX(double units) const { return units * scaleX_; }
    double deviceY(double units) const { return units * scaleY_; }
    // The pixel size of the font of a character height in logical units.
    int fontPixelSize(int height) const;

private:
    void applyPen();
    void applyBrush();
    void applyFont();
    void applyClip();
    void drawText(const Rect& r, std::string_view utf8, TextAlign align, int extraFlags);

    QPainter& painter_;
    bool paper_;
    double scaleX_ = 1.0, scaleY_ = 1.0;  // device pixels per logical unit
    // The painter's own clip when this context set its first one, given back by clipOff.
    bool painterClipped_ = false;
    QRegion painterClip_;
    bool clipTaken_ = false;
};

}  // namespace vanta
