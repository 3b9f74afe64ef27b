#include "app/screens/guidance_picture.h"

#include <QPainter>

#include <algorithm>

#include "canvas/qpainter_draw_context.h"
#include "reports/digital_report.h"
#include "reports/report_layout.h"

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

void drawReportCells(DrawContext& dc, const Rect& where, const RepetitionResults& results, int fontHeight,
                     float columnWidthScale) {
    constexpr int kHeaderHeight = 48;  // the two title lines
    // Ten rows of a 24-pixel font under the header fit the 350 pixels of the list.
    const int rowHeight = fontHeight + fontHeight / 4;
    dc.save();
    dc.fillRect(where, Brush{kWhite, BrushStyle::Solid});
    dc.selectPen(Pen{Color{160, 160, 160}, 1, PenStyle::Solid});
    dc.selectBrush(Brush{kWhite, BrushStyle::None});
    dc.rectangle(where);
    dc.selectFont(Font{"Arial", fontHeight, 700});
    dc.setTextColor(kBlack);
    const std::vector<ReportRow> rows = digitalReportRows(results);
    int x = where.left;
    for (int c = 0; c < kDigitalColumns; ++c) {
        const ReportColumnLayout& col = digitalLayout.columns[static_cast<size_t>(c)];
        const int w = screenColumnWidth(col.screenWidth, columnWidthScale);
        const int right = std::min(x + w, where.right);
        if (x >= where.right) break;
        const TextAlign align = c == 0 ? TextAlign::Left : TextAlign::Right;
        const std::string line0(titleLine(col.title, 0)), line1(titleLine(col.title, 1));
        dc.text(Rect{x + 3, where.top, right - 3, where.top + kHeaderHeight / 2}, line0, TextAlign::Center);
        dc.text(Rect{x + 3, where.top + kHeaderHeight / 2, right - 3, where.top + kHeaderHeight}, line1, TextAlign::Center);
        for (size_t r = 0; r < rows.size(); ++r) {
            const int top = where.top + kHeaderHeight + static_cast<int>(r) * rowHeight;
            if (top + rowHeight > where.bottom) break;
            dc.text(Rect{x + 3, top, right - 3, top + rowHeight}, rows[r][static_cast<size_t>(c)], align);
        }
        dc.line(right, where.top, right, where.bottom);
        x = right;
    }
    dc.line(where.left, where.top + kHeaderHeight, where.right, where.top + kHeaderHeight);
    dc.restore();
}

}  // namespace vanta
