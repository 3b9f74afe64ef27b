// The report table widget on the offscreen platform: its columns, rows, header band and
// what it hands to the export.
#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QStyle>
#include <QTest>

#include "app/screens/report_table.h"
#include "reports/spreadsheet_export.h"
#include "app/screens/two_line_header.h"
#include "tests/reports/decimal_comma_locale.h"

namespace vanta {

class ReportTableTest : public QObject {
    Q_OBJECT

    static int darkPixels(const QImage& image, const QRect& area) {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (qGray(image.pixel(x, y)) < 100) ++n;
        return n;
    }

private slots:
    void columnsFollowTheLayoutAndTheWidthScale() {
        ReportTable table;
        table.setGeometry(10, 50, 730, 220);
        table.fillDigitalReport(RepetitionResults{}, 2.0f);
        QCOMPARE(table.columnCount(), 4);
        QCOMPARE(table.rowCount(), 10);
        QList<int> widths;
        for (int c = 0; c < 4; ++c) widths << table.columnWidth(c);
        QCOMPARE(widths, (QList<int>{110, 60, 100, 95}));
        QCOMPARE(table.horizontalHeaderItem(2)->text(), QStringLiteral("Acceleration\n Phase"));
        // Labels to the left, numbers to the right.
        QCOMPARE(Qt::Alignment(table.item(0, 0)->textAlignment()) & Qt::AlignHorizontal_Mask, Qt::AlignLeft);
        for (int c = 1; c < 4; ++c)
            QCOMPARE(Qt::Alignment(table.item(0, c)->textAlignment()) & Qt::AlignHorizontal_Mask, Qt::AlignRight);

        // Rebuilding replaces everything: no fifth column, no eleventh row.
        table.clearTable();
        QCOMPARE(table.columnCount(), 0);
        QCOMPARE(table.rowCount(), 0);
        table.fillDigitalReport(RepetitionResults{}, 1.0f);
        QCOMPARE(table.columnCount(), 4);
        QCOMPARE(table.rowCount(), 10);
        QCOMPARE(table.columnWidth(0), 220);
    }

    // The measurement screen's large font: the first column takes the width its longest
    // row title needs from the others' spare room; the table keeps its width and every
    // column still holds its own texts. At the full 24 pixels and at the 17 pixels of a
    // 780-pixel window (where the scaled 155 pixels cut the title).
    void firstColumnFitsItsLongestTitleInTheLargeFont() {
        for (const auto& [font, scale] : {std::pair{24, 1.0f}, std::pair{17, 24.0f / 17.0f}}) {
            ReportTable table;
            table.setTableFont(font, 700);
            table.fillDigitalReport(RepetitionResults{}, scale);
            int before = 0;
            for (int c = 0; c < 4; ++c) before += table.columnWidth(c);
            table.fitFirstColumn();
            const QFontMetrics fm(table.font());
            const int longest = qMax(fm.horizontalAdvance(QStringLiteral("torque mean (N.m)")),
                                     fm.horizontalAdvance(QStringLiteral("torque peak (N.m)")));
            // The cell lays its text out inside a margin on either side; less room elides it
            // ("torque mean (N.…").
            const int margin = table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1;
            QVERIFY2(table.columnWidth(0) >= longest + 2 * margin, qPrintable(QString::number(font)));
            int after = 0;
            for (int c = 0; c < 4; ++c) after += table.columnWidth(c);
            QCOMPARE(after, before);
            for (int c = 1; c < 4; ++c) {
                QVERIFY(table.columnWidth(c) >= table.horizontalHeader()->sectionSizeHint(c));
                QVERIFY(table.columnWidth(c) > fm.horizontalAdvance(table.item(0, c)->text()));
            }
        }
    }

    void headerIsA48PixelGreyBandWithTwoTitleLines() {
        ReportTable table;
        table.setFont(reportFont(12, 400));
        table.setGeometry(10, 50, 730, 220);
        table.fillDigitalReport(RepetitionResults{}, 1.0f);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        QHeaderView* header = table.horizontalHeader();
        QCOMPARE(header->height(), TwoLineHeader::kHeight);
        // The rows begin right below the band, inside the border.
        QCOMPARE(table.viewport()->geometry().top() - table.contentsRect().top(), 48);
        // The ten rows fit in the 220 pixels without scrolling.
        QVERIFY(!table.verticalScrollBar()->isVisible());

        const QImage image = header->grab().toImage();
        const int total = header->sectionPosition(1);           // "Total\n": one line
        const int acceleration = header->sectionPosition(2);    // "Acceleration\n Phase"
        QCOMPARE(QColor(image.pixel(total + 3, 45)), QColor(200, 200, 200));
        QCOMPARE(QColor(image.pixel(total, 24)), QColor(Qt::black));       // left border
        QCOMPARE(QColor(image.pixel(total + 60, 0)), QColor(Qt::black));  // top border
        QCOMPARE(QColor(image.pixel(total + 60, 47)), QColor(Qt::black));  // bottom border
        const auto line = [&](int left, int width, int top) { return QRect(left + 2, top + 1, width - 4, 18); };
        QVERIFY(darkPixels(image, line(total, 120, 2)) > 0);
        QCOMPARE(darkPixels(image, line(total, 120, 22)), 0);
        QVERIFY(darkPixels(image, line(acceleration, 200, 2)) > 0);
        QVERIFY(darkPixels(image, line(acceleration, 200, 22)) > 0);
        // Centred: as much grey to the left of "Total" as to its right, give or take a pixel.
        int first = -1, last = -1;
        for (int x = total + 2; x < total + 118; ++x)
            if (darkPixels(image, QRect(x, 3, 1, 18)) > 0) (first < 0 ? first : last) = x, last = x;
        QVERIFY(first > 0);
        QVERIFY(qAbs((first - total) - (total + 119 - last)) <= 2);
    }

    void aClickSelectsTheWholeRowAndSortsNothing() {
        ReportTable table;
        table.setFont(reportFont(12, 400));
        table.setGeometry(0, 0, 730, 220);
        RepetitionResults results;
        results.at(MeanAll, ResultColumn::Force) = 3.0f;
        table.fillDigitalReport(results, 1.0f);
        table.show();
        QVERIFY(QTest::qWaitForWindowExposed(&table));
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {}, table.visualItemRect(table.item(2, 2)).center());
        QCOMPARE(table.selectionModel()->selectedRows().size(), 1);
        QCOMPARE(table.selectedItems().size(), 4);
        QTest::mouseClick(table.horizontalHeader()->viewport(), Qt::LeftButton, {},
                          QPoint(table.horizontalHeader()->sectionPosition(1) + 20, 20));
        QCOMPARE(table.item(0, 0)->text(), QStringLiteral("F mean (N)"));
        QCOMPARE(table.item(9, 0)->text(), QStringLiteral("torque peak (N.m)"));
    }

    void exportTakesTheShownCellsWithPoints() {
        test::DecimalCommaLocale comma;
        if (!comma.active()) QSKIP("no locale with a decimal comma could be made here");
        ReportTable table;
        RepetitionResults results;
        results.at(MeanDeceleration, ResultColumn::Velocity) = -120.25f;
        table.fillDigitalReport(results, 1.0f);
        QCOMPARE(table.item(2, 3)->text(), QStringLiteral("-120,2"));
        const std::vector<ReportRow> cells = table.tableCells();
        QCOMPARE(cells.size(), size_t(10));
        QCOMPARE(QString::fromStdString(cells[2][3]), QStringLiteral("-120,2"));
        const std::string file = spreadsheetBytes(digitalLayout, cells, {"", 0, 0});
        QVERIFY(file.find("<ss:Data ss:Type=\"Number\">-120.2</ss:Data>") != std::string::npos);
        QVERIFY(file.find(",") == std::string::npos);
    }
};

}  // namespace vanta

QTEST_MAIN(vanta::ReportTableTest)
#include "report_table_test.moc"
