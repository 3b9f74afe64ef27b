// The report table's column header: every title on two centred lines in a fixed
// 48-pixel band, grey with a black border, as the printed report and the labs' screenshots
// show it.
#pragma once

#include <QHeaderView>

namespace vanta {

class TwoLineHeader : public QHeaderView {
    Q_OBJECT
public:
    static constexpr int kHeight = 48;

    explicit TwoLineHeader(QWidget* parent = nullptr);

    // Always 48 pixels high, whatever the font: the rows start at 48.
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

}  // namespace vanta
