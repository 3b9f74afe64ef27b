#include "app/screens/two_line_header.h"

#include <QPainter>

#include "reports/report_layout.h"

namespace vanta {

TwoLineHeader::TwoLineHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setObjectName(QStringLiteral("twoLineHeader"));
    // The header only shows the titles: a click neither sorts nor selects a column.
    setSectionsClickable(false);
    setHighlightSections(false);
    setStretchLastSection(false);
    setMinimumHeight(kHeight);
    setMaximumHeight(kHeight);
}

QSize TwoLineHeader::sizeHint() const { return QSize(QHeaderView::sizeHint().width(), kHeight); }

void TwoLineHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    if (!rect.isValid()) return;
    const QString title = model() ? model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString() : QString();
    const std::string utf8 = title.toStdString();

    painter->save();
    painter->setPen(QPen(Qt::black, 1));
    painter->setBrush(QColor(200, 200, 200));
    // The outline lies inside the section, its right and bottom edge on the last pixel.
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->setFont(font());
    painter->setPen(Qt::black);
    // The first line from 2 to 22 pixels below the top, the second from 22 to 42.
    const QRect first(rect.left(), rect.top() + 2, rect.width(), 20);
    const QRect second(rect.left(), rect.top() + 22, rect.width(), 20);
    painter->drawText(first, Qt::AlignCenter | Qt::TextSingleLine, QString::fromStdString(std::string(titleLine(utf8, 0))));
    painter->drawText(second, Qt::AlignCenter | Qt::TextSingleLine, QString::fromStdString(std::string(titleLine(utf8, 1))));
    painter->restore();
}

}  // namespace vanta
