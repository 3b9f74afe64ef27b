// The printed report: the pages that Print, Print Preview and the command line's PDF
// draw for the screen the view shows. A page is drawn on paper (0.1 mm, y up, the top of
// the printable area at y = 0): a title band with the page number, the page header on
// page 1, then the digital report table or the readout panel and the curve graph.
//
// Printing reads the view once, when it starts, into a PrintedReport; the pages are
// drawn from that copy, so nothing the view does later can change a page half printed.
#pragma once

#include <string>
#include <vector>

#include "canvas/draw_context.h"
#include "reports/digital_report.h"
#include "reports/page_header.h"

namespace vanta {

// What the view shows, as far as printing cares: each screen has its own title.
enum class PrintedScreen {
    DigitalReport,  // "DIGITAL REPORT", the table
    CurveGraph,     // "Graph report", readout panel and curve graph
    Profile,        // "Profile report", the load-power profile by side
    History,        // "History report", a subject's tests over time
    Other,          // idle, measurement, calibration: "ERROR", the header only
};

// The screen of the view's ViewMode (6 digital report, 1 curve graph, 12 profile).
PrintedScreen printedScreenFor(int viewMode);

// A table as the view shows it: per column its title (two lines joined by "\n") and its
// width on paper, and the cell texts row by row.
struct PrintedTable {
    std::vector<std::string> titles;
    std::vector<int> printWidths;  // paper units
    std::vector<std::vector<std::string>> rows;
};

// The graph part of the graph report. The page routine says where; the graph code draws
// the readout panel and the curve graph in their paper variants.
class PaperGraph {
public:
    virtual ~PaperGraph() = default;
    // The readout panel's rectangle; its rows are 80 units high, so it reaches below it.
    virtual void drawReadouts(DrawContext& dc, const Rect& rect) = 0;
    virtual void drawCurveGraph(DrawContext& dc, const Rect& plot) = 0;
};

// A screen's drawing on paper below the page header: the profile, the history.
class PaperDrawing {
public:
    virtual ~PaperDrawing() = default;
    virtual void draw(DrawContext& dc, const Rect& area) = 0;
    // A drawing longer than a page (the history of many tests) goes on over further
    // pages: how many it takes, and page `page` (1-based) into its area.
    virtual int pageCount() { return 1; }
    virtual void drawPage(DrawContext& dc, const Rect& area, int page) {
        if (page == 1) draw(dc, area);
    }
};

// The drawing's area below the page header on page 1 (the rest of an A4 page with 15 mm
// margins, 267 mm), and below the title band on the further pages.
inline constexpr Rect kDrawingRectFirstPage{0, -340, 1800, -2600};
inline constexpr Rect kDrawingRectFurtherPage{0, -160, 1800, -2600};

// The digital report table on paper: its rows under its column titles and print widths.
PrintedTable digitalPrintedTable(const std::vector<ReportRow>& rows);

struct PrintedReport {
    PrintedScreen screen = PrintedScreen::Other;
    PageHeaderTexts header;      // page 1 carries it on every screen
    PrintedTable table;          // the report table's rows at the start of printing
    PaperGraph* graph = nullptr; // the curve graph screen's drawing; may be null elsewhere
    PaperDrawing* drawing = nullptr;  // the profile's or the history's drawing
};

// The width of every printed page's drawing: title band, header and table, 180 mm.
inline constexpr int kPrintedPageWidth = 1800;

// Rows on the first page and on each further one: the page header takes the first
// page's top, so three rows fewer fit there.
inline constexpr int kRowsFirstPage = 24;
inline constexpr int kRowsFurtherPage = 27;

// Pages for a table of `rows` rows: 1 up to 24 rows, then one more per 27 (started).
int printedPageCount(int rows);
// The table's pages, or the drawing's.
int printedPageCount(const PrintedReport& report);

// The table rows on page p (1-based): [first, last).
struct PageRows {
    int first = 0;
    int last = 0;
};
PageRows printedRowsOnPage(int page, int rows);

// The texts of the title band.
const char* printedTitle(PrintedScreen screen);
std::string pageNumberText(int page, int pageCount);  // "Page: 2/3"

// Draws page `page` (1-based) of `pageCount` on a paper context. Pen and font are put
// back as they were; the graph part may leave its own state in its owner.
void printReportPage(DrawContext& dc, const PrintedReport& report, int page, int pageCount);

}  // namespace vanta
