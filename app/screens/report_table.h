// The report table: the digital report's ten rows under the two-line header. It lives as
// long as the view; a screen that does not show it clears it and gives it the empty
// rectangle, which hides it. The digital report and the measurement screen fill it the
// same way, the export and the printed report read back what it shows.
#pragma once

#include <QFont>
#include <QTableWidget>
#include <vector>

#include "core/records.h"
#include "reports/digital_report.h"
#include "station/report_table_host.h"

namespace vanta {

class TwoLineHeader;

class ReportTable : public QTableWidget, public ReportTableHost {
    Q_OBJECT
public:
    explicit ReportTable(QWidget* parent = nullptr);

    // Deletes every row, then the columns from the last to the first.
    void clearTable() override;
    void setTableFont(int pixelHeight, int weight) override;

    // Inserts a column with the title (two lines joined by "\n") and the width in pixels.
    // The first column's cells are left-aligned, all others right-aligned.
    void addReportColumn(int column, const QString& title, int width);

    // Builds the digital report of one repetition on a cleared table: the columns of
    // digitalLayout, each screen width divided by `columnWidthScale`, then the ten rows.
    void fillDigitalReport(const RepetitionResults& results, float columnWidthScale) override;

    // The first column as wide as its longest row title in the table's font (the
    // measurement screen's large font cuts "torque mean (N.m)" at the layout's width). The
    // pixels come from the other columns where their own texts leave room, the last
    // column first, so the table keeps its width. Call after filling.
    void fitFirstColumn();

    // In the view's pixels; the empty rectangle hides the table.
    void placeTable(const Rect& rect) override;

    // The texts on show, one row per table row, as the export and the printout take them.
    std::vector<ReportRow> tableCells() const override;

    TwoLineHeader* twoLineHeader() const { return header_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void fitRowHeight();

    TwoLineHeader* header_;
};

// Arial by character height in pixels, as the view's fonts are given: 12 normal for the
// digital report, 24 bold for the table at creation and on the measurement screen.
QFont reportFont(int pixelHeight, int weight);

}  // namespace vanta
