#include "app/screens/guidance_picture.h"

#include <QPainter>

#include "canvas/qpainter_draw_context.h"

namespace vanta {

void GuidancePicture::reset(QSize size) {
    image_ = QImage(size.expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image_.fill(Qt::white);
}

std::vector<Rect> GuidancePicture::draw(const std::function<std::vector<Rect>(DrawContext&)>& drawing) {
    QPainter painter(&image_);
    QPainterDrawContext dc(painter);
    return drawing(dc);
}

void GuidancePicture::paint(QPainter& painter) const {
    if (!image_.isNull()) painter.drawImage(0, 0, image_);
}

}  // namespace vanta
