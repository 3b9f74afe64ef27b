#include "reports/printed_report.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "reports/digital_report.h"
#include "reports/report_layout.h"

namespace vanta {

namespace {

// The page is 180 mm wide; the title band and every table row are 8 mm high.
constexpr int kPageWidth = kPrintedPageWidth;
constexpr int kRowHeight = 80;
constexpr Rect kTitleRect{100, 0, 1000, -kRowHeight};
constexpr Rect kPageNumberRect{1000, 0, 1700, -kRowHeight};
constexpr Rect kHeaderRect{0, -160, kPageWidth, -300};
// The table starts below the header on page 1 and below the title band further on.
constexpr int kTableTopFirstPage = -480;
constexpr int kTableTopFurtherPage = -160;
// Readout panel above the plot, both 180 mm wide like the page.
constexpr Rect kReadoutRect{0, -320, kPageWidth, -380};
constexpr Rect kPlotRect{200, -750, 1600, -1350};
// Cells keep 3 mm from their right edge, titles 1 mm.
constexpr int kCellRightGap = 30;
constexpr int kTitleRightGap = 10;

const Pen kPaperPen{kBlack, 1, PenStyle::Solid};
const Font kTitleBandFont{"Arial", 30, 700};
const Font kColumnTitleFont{"Arial", 25, 700};
const Font kCellFont{"Arial", 30, 400};

std::string oneLine(std::string title) {
    std::replace(title.begin(), title.end(), '\n', ' ');
    return title;
}

void drawTable(DrawContext& dc, const PrintedTable& table, int page) {
    const int n = static_cast<int>(table.rows.size());
    const PageRows range = printedRowsOnPage(page, n);
    const int count = std::max(0, range.last - range.first);
    const int top = page == 1 ? kTableTopFirstPage : kTableTopFurtherPage;
    const int bottom = top - kRowHeight * (count + 1);

    const size_t columns = std::min(table.titles.size(), table.printWidths.size());
    std::vector<int> edges{0};
    for (size_t i = 0; i < columns; ++i) edges.push_back(edges.back() + table.printWidths[i]);

    for (int j = 0; j <= count + 1; ++j) dc.line(0, top - kRowHeight * j, kPageWidth, top - kRowHeight * j);
    for (int x : edges) dc.line(x, top, x, bottom);

    dc.selectFont(kColumnTitleFont);
    for (size_t i = 0; i < columns; ++i)
        dc.text(Rect{edges[i], top, edges[i + 1] - kTitleRightGap, top - kRowHeight}, oneLine(table.titles[i]),
                TextAlign::Center);

    dc.selectFont(kCellFont);
    for (int k = 0; k < count; ++k) {
        const std::vector<std::string>& row = table.rows[static_cast<size_t>(range.first + k)];
        const int rowTop = top - kRowHeight * (k + 1);
        for (size_t i = 0; i < columns && i < row.size(); ++i)
            dc.text(Rect{edges[i], rowTop, edges[i + 1] - kCellRightGap, rowTop - kRowHeight}, row[i],
                    TextAlign::Right);
    }
}

}  // namespace

PrintedTable digitalPrintedTable(const std::vector<ReportRow>& rows) {
    PrintedTable table;
    for (const ReportColumnLayout& column : digitalLayout.columns) {
        table.titles.emplace_back(column.title);
        table.printWidths.push_back(column.printWidth);
    }
    for (const ReportRow& row : rows) table.rows.emplace_back(row.begin(), row.end());
    return table;
}

PrintedScreen printedScreenFor(int viewMode) {
    switch (viewMode) {
        case 6: return PrintedScreen::DigitalReport;
        case 1: return PrintedScreen::CurveGraph;
        case 12: return PrintedScreen::Profile;
        case 13: return PrintedScreen::History;
        default: return PrintedScreen::Other;
    }
}

int printedPageCount(int rows) {
    if (rows <= kRowsFirstPage) return 1;
    return 1 + (rows - kRowsFirstPage + kRowsFurtherPage - 1) / kRowsFurtherPage;
}

int printedPageCount(const PrintedReport& report) {
    if ((report.screen == PrintedScreen::Profile || report.screen == PrintedScreen::History) && report.drawing)
        return std::max(1, report.drawing->pageCount());
    return printedPageCount(static_cast<int>(report.table.rows.size()));
}

PageRows printedRowsOnPage(int page, int rows) {
    // Page 1 holds rows 0..23; page p > 1 holds 27 rows from 24 + 27 (p - 2) on.
    PageRows r = page <= 1 ? PageRows{0, kRowsFirstPage}
                           : PageRows{kRowsFurtherPage * page - 30, kRowsFurtherPage * page - 3};
    r.last = std::min(r.last, rows);
    return r;
}

const char* printedTitle(PrintedScreen screen) {
    switch (screen) {
        case PrintedScreen::DigitalReport: return "DIGITAL REPORT";
        case PrintedScreen::CurveGraph: return "Graph report";
        case PrintedScreen::Profile: return "Profile report";
        case PrintedScreen::History: return "History report";
        case PrintedScreen::Other: break;
    }
    return "ERROR";
}

std::string pageNumberText(int page, int pageCount) {
    char text[48];
    std::snprintf(text, sizeof text, "Page: %d/%d", page, pageCount);
    return text;
}

void printReportPage(DrawContext& dc, const PrintedReport& report, int page, int pageCount) {
    const Pen previousPen = dc.selectPen(kPaperPen);
    const Font previousFont = dc.selectFont(kTitleBandFont);

    const std::array<Point, 5> band = {
        Point{0, 0}, Point{kPageWidth, 0}, Point{kPageWidth, -kRowHeight}, Point{0, -kRowHeight}, Point{0, 0}};
    dc.polyline(band);
    dc.text(kTitleRect, printedTitle(report.screen), TextAlign::Left);
    dc.text(kPageNumberRect, pageNumberText(page, pageCount), TextAlign::Right);

    if (page == 1)
        drawPageHeader(dc, kHeaderRect.left, kHeaderRect.top, kHeaderRect.right, kHeaderRect.bottom, report.header);

    if (report.screen == PrintedScreen::DigitalReport) {
        drawTable(dc, report.table, page);
    } else if (report.screen == PrintedScreen::CurveGraph && report.graph) {
        report.graph->drawReadouts(dc, kReadoutRect);
        report.graph->drawCurveGraph(dc, kPlotRect);
    } else if ((report.screen == PrintedScreen::Profile || report.screen == PrintedScreen::History) && report.drawing) {
        report.drawing->drawPage(dc, page == 1 ? kDrawingRectFirstPage : kDrawingRectFurtherPage, page);
    }

    dc.selectFont(previousFont);
    dc.selectPen(previousPen);
}

}  // namespace vanta
