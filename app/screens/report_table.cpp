#include "app/screens/report_table.h"

#include <QEvent>
#include <QHeaderView>

#include "reports/report_layout.h"
#include "app/screens/two_line_header.h"

namespace vanta {

QFont reportFont(int pixelHeight, int weight) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixelHeight);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

ReportTable::ReportTable(QWidget* parent) : QTableWidget(parent), header_(new TwoLineHeader(this)) {
    setObjectName(QStringLiteral("reportTable"));
    setHorizontalHeader(header_);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(false);
    setWordWrap(false);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    // The digital report's columns add up to the table's full 730 pixels, two more than
    // fit inside its border: a horizontal scroll bar for those two pixels would cover the
    // last row and push the ten rows into scrolling, so the table never scrolls sideways.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The selected row keeps its highlight when the focus is elsewhere (the repetition box).
    QPalette pal = palette();
    pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Active, QPalette::Highlight));
    pal.setColor(QPalette::Inactive, QPalette::HighlightedText, pal.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(pal);
    setFont(reportFont(24, 700));
    setGeometry(0, 0, 0, 0);
}

void ReportTable::clearTable() {
    setRowCount(0);
    for (int c = columnCount() - 1; c >= 0; --c) removeColumn(c);
}

void ReportTable::addReportColumn(int column, const QString& title, int width) {
    insertColumn(column);
    setHorizontalHeaderItem(column, new QTableWidgetItem(title));
    setColumnWidth(column, width);
}

void ReportTable::fillDigitalReport(const RepetitionResults& results, float columnWidthScale) {
    for (int c = 0; c < digitalLayout.columnCount(); ++c) {
        const ReportColumnLayout& column = digitalLayout.columns[static_cast<size_t>(c)];
        addReportColumn(c, QString::fromUtf8(column.title.data(), static_cast<qsizetype>(column.title.size())),
                        screenColumnWidth(column.screenWidth, columnWidthScale));
    }
    const std::vector<ReportRow> rows = digitalReportRows(results);
    setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        for (int c = 0; c < columnCount() && c < kDigitalColumns; ++c) {
            const std::string& cell = rows[static_cast<size_t>(r)][static_cast<size_t>(c)];
            auto* item = new QTableWidgetItem(QString::fromStdString(shownNumber(cell)));
            // The cell as built, sign and all: the export reads it.
            item->setData(Qt::UserRole, QString::fromStdString(cell));
            item->setTextAlignment(Qt::Alignment(c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
            setItem(r, c, item);
        }
    }
}

void ReportTable::fitFirstColumn() {
    if (columnCount() < 1) return;
    int extra = sizeHintForColumn(0) - columnWidth(0);
    if (extra <= 0) return;
    setColumnWidth(0, columnWidth(0) + extra);
    for (int c = columnCount() - 1; c >= 1 && extra > 0; --c) {
        const int need = qMax(sizeHintForColumn(c), horizontalHeader()->sectionSizeHint(c));
        const int take = qBound(0, columnWidth(c) - need, extra);
        setColumnWidth(c, columnWidth(c) - take);
        extra -= take;
    }
}

std::vector<ReportRow> ReportTable::tableCells() const {
    std::vector<ReportRow> rows(static_cast<size_t>(rowCount()));
    for (int r = 0; r < rowCount(); ++r)
        for (int c = 0; c < columnCount() && c < kDigitalColumns; ++c)
            if (const QTableWidgetItem* it = item(r, c))
                rows[static_cast<size_t>(r)][static_cast<size_t>(c)] = it->data(Qt::UserRole).toString().toStdString();
    return rows;
}

void ReportTable::setTableFont(int pixelHeight, int weight) { setFont(reportFont(pixelHeight, weight)); }

void ReportTable::placeTable(const Rect& rect) {
    setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void ReportTable::changeEvent(QEvent* event) {
    QTableWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) fitRowHeight();
}

// Rows as high as the font and a little air: the digital report's ten rows in 12-pixel
// text fit below the 48-pixel header in the table's 220 pixels without a scroll bar.
void ReportTable::fitRowHeight() {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
}

}  // namespace vanta
