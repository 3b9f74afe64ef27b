// The guidance screen's off-screen picture: the measurement screen draws each tick into
// it over what the earlier ticks left (erase-and-redraw, as the station has always drawn
// its guidance), and the view's paint shows it. Qt paints a widget only inside its paint
// event; the picture is what makes tick-by-tick drawing possible there.
#pragma once

#include <QImage>
#include <QSize>

#include <functional>
#include <vector>

#include "canvas/draw_context.h"
#include "core/records.h"

class QPainter;

namespace vanta {

class GuidancePicture {
public:
    // A white picture of this size.
    void reset(QSize size);
    bool isNull() const { return image_.isNull(); }
    QSize size() const { return image_.size(); }
    // Runs the drawing on the picture; returns the rectangles it drew into.
    std::vector<Rect> draw(const std::function<std::vector<Rect>(DrawContext&)>& drawing);
    // Shows the picture at the view's origin.
    void paint(QPainter& painter) const;
    const QImage& image() const { return image_; }

private:
    QImage image_;
};

}  // namespace vanta
