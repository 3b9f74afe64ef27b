#include "reports/printed_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/recording_draw_context.h"

namespace vanta {
namespace {

PageHeaderTexts headerTexts() { return pageHeaderTexts("Jan Novak", 0, 5.0, 0); }

std::vector<std::vector<std::string>> numberedRows(int n) {
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < n; ++i) rows.push_back({"row " + std::to_string(i), "a", "b", "c"});
    return rows;
}

PrintedReport digitalReport(int rows) {
    PrintedReport report;
    report.screen = PrintedScreen::DigitalReport;
    report.header = headerTexts();
    report.table = digitalPrintedTable({});
    report.table.rows = numberedRows(rows);
    return report;
}

// Pen and font a caller had before the page; the page must hand them back.
const Pen kCallerPen{kRed, 7, PenStyle::Dash};
const Font kCallerFont{"Courier", 11, 400};

RecordingDrawContext paper() {
    RecordingDrawContext dc(true);
    dc.selectPen(kCallerPen);
    dc.selectFont(kCallerFont);
    dc.clear();
    return dc;
}

std::vector<std::string> textsOfFont(const RecordingDrawContext& dc, const Font& font) {
    std::vector<std::string> out;
    for (const DrawCall& c : dc.callsOf(DrawOp::Text))
        if (c.state.font == font) out.push_back(c.text);
    return out;
}

// The one text call with this text; a missing or doubled text fails the test.
DrawCall textCall(const RecordingDrawContext& dc, const std::string& text) {
    std::vector<DrawCall> found;
    for (const DrawCall& c : dc.callsOf(DrawOp::Text))
        if (c.text == text) found.push_back(c);
    if (found.size() != 1) {
        ADD_FAILURE() << "\"" << text << "\" drawn " << found.size() << " times";
        return DrawCall{};
    }
    return found[0];
}

// The first cell texts of the rows printed on a page ("row 7" ...).
std::vector<std::string> printedRowLabels(const RecordingDrawContext& dc) {
    std::vector<std::string> out;
    for (const DrawCall& c : dc.callsOf(DrawOp::Text))
        if (c.text.rfind("row ", 0) == 0) out.push_back(c.text);
    return out;
}

TEST(PrintedReport, PageCountAndRowsPerPage) {
    struct Case { int rows, pages; };
    for (Case c : {Case{0, 1}, Case{10, 1}, Case{24, 1}, Case{25, 2}, Case{51, 2}, Case{52, 3}, Case{78, 3},
                   Case{79, 4}})
        EXPECT_EQ(printedPageCount(c.rows), c.pages) << c.rows << " rows";

    EXPECT_EQ(printedRowsOnPage(1, 100).first, 0);
    EXPECT_EQ(printedRowsOnPage(1, 100).last, 24);
    EXPECT_EQ(printedRowsOnPage(2, 100).first, 24);
    EXPECT_EQ(printedRowsOnPage(2, 100).last, 51);
    EXPECT_EQ(printedRowsOnPage(3, 100).first, 51);
    EXPECT_EQ(printedRowsOnPage(3, 60).last, 60);
    EXPECT_EQ(printedRowsOnPage(1, 10).last, 10);
}

TEST(PrintedReport, OtherScreensPrintOneErrorPageWithTheHeaderAndNothingElse) {
    for (int viewMode : {0, 3, 9}) {
        PrintedReport report;
        report.screen = printedScreenFor(viewMode);
        report.header = headerTexts();
        // The measurement screen shows the table too; only the report screen prints it.
        report.table = digitalPrintedTable({});
        report.table.rows = numberedRows(10);
        ASSERT_EQ(printedPageCount(report), 1);

        RecordingDrawContext dc = paper();
        printReportPage(dc, report, 1, 1);

        const std::vector<std::string> expected = {"ERROR", "Page: 1/1", report.header.left, report.header.right};
        EXPECT_EQ(dc.texts(), expected) << "ViewMode " << viewMode;
        const std::vector<DrawCall> band = dc.callsOf(DrawOp::Polyline);
        ASSERT_EQ(band.size(), 1u);
        EXPECT_EQ(band[0].numbers, (std::vector<int>{0, 0, 1800, 0, 1800, -80, 0, -80, 0, 0}));
        EXPECT_EQ(band[0].state.pen, (Pen{kBlack, 1, PenStyle::Solid}));
        ASSERT_EQ(dc.callsOf(DrawOp::Rectangle).size(), 1u);
        EXPECT_EQ(dc.callsOf(DrawOp::Rectangle)[0].rect(), (Rect{0, -160, 1800, -300}));
        EXPECT_TRUE(dc.callsOf(DrawOp::Line).empty());

        const std::vector<DrawCall> texts = dc.callsOf(DrawOp::Text);
        EXPECT_EQ(texts[0].rect(), (Rect{100, 0, 1000, -80}));
        EXPECT_EQ(texts[0].align, TextAlign::Left);
        EXPECT_EQ(texts[0].state.font, (Font{"Arial", 30, 700}));
        EXPECT_EQ(texts[1].rect(), (Rect{1000, 0, 1700, -80}));
        EXPECT_EQ(texts[1].align, TextAlign::Right);
        EXPECT_EQ(dc.pen(), kCallerPen);
        EXPECT_EQ(dc.font(), kCallerFont);
    }
}

TEST(PrintedReport, DigitalReportFitsOnePageWithAGridEvery80UnitsFromMinus480) {
    PrintedReport report = digitalReport(0);
    RepetitionResults results;
    results.value[MeanAll][0] = 123.4f;
    results.value[PeakAll][4] = -7.5f;
    report.table = digitalPrintedTable(digitalReportRows(results));
    ASSERT_EQ(printedPageCount(report), 1);

    RecordingDrawContext dc = paper();
    printReportPage(dc, report, 1, 1);

    EXPECT_EQ(dc.texts()[0], "DIGITAL REPORT");
    EXPECT_EQ(dc.callsOf(DrawOp::Rectangle).size(), 1u) << "the page header";

    // Title row and ten rows: 12 horizontal lines, then the five column edges.
    std::vector<std::vector<int>> expected;
    for (int j = 0; j <= 11; ++j) expected.push_back({0, -480 - 80 * j, 1800, -480 - 80 * j});
    for (int x : {0, 450, 900, 1350, 1800}) expected.push_back({x, -480, x, -1360});
    std::vector<std::vector<int>> lines;
    for (const DrawCall& c : dc.callsOf(DrawOp::Line)) lines.push_back(c.numbers);
    EXPECT_EQ(lines, expected);

    // Line breaks of the titles print as blanks, bold 2.5 mm, centred 1 mm short of the edge.
    const std::vector<std::string> titles = {"   ", "Total ", "Acceleration  Phase", "Deceleration  Phase"};
    EXPECT_EQ(textsOfFont(dc, Font{"Arial", 25, 700}), titles);
    const DrawCall title = textCall(dc, "Acceleration  Phase");
    EXPECT_EQ(title.rect(), (Rect{900, -480, 1340, -560}));
    EXPECT_EQ(title.align, TextAlign::Center);
    // Cells right-aligned 3 mm short of the column's right edge, in the row's band.
    EXPECT_EQ(textCall(dc, "F mean (N)").rect(), (Rect{0, -560, 420, -640}));
    const DrawCall cell = textCall(dc, "123.4");
    EXPECT_EQ(cell.rect(), (Rect{450, -560, 870, -640}));
    EXPECT_EQ(cell.align, TextAlign::Right);
    EXPECT_EQ(cell.state.font, (Font{"Arial", 30, 400}));
    // The last row, the torque peak, in the eleventh band.
    EXPECT_EQ(textCall(dc, "-7.5").rect(), (Rect{450, -1280, 870, -1360}));
    // Every cell the table shows is on the page, empty ones included.
    std::vector<std::string> cells;
    for (const ReportRow& row : digitalReportRows(results)) cells.insert(cells.end(), row.begin(), row.end());
    EXPECT_EQ(textsOfFont(dc, Font{"Arial", 30, 400}).size(), 2 + cells.size()) << "header texts and cells";
    EXPECT_EQ(dc.pen(), kCallerPen);
    EXPECT_EQ(dc.font(), kCallerFont);
}

TEST(PrintedReport, TwentyFiveRowsPutTheLastRowAloneOnPageTwoWithoutHeader) {
    const PrintedReport report = digitalReport(25);
    ASSERT_EQ(printedPageCount(report), 2);

    RecordingDrawContext first = paper();
    printReportPage(first, report, 1, 2);
    std::vector<std::string> expected;
    for (int i = 0; i <= 23; ++i) expected.push_back("row " + std::to_string(i));
    EXPECT_EQ(printedRowLabels(first), expected);
    EXPECT_EQ(first.texts()[1], "Page: 1/2");
    // Row 23 is the 24th row below the title row: its band ends 25 rows below -480.
    EXPECT_EQ(first.callsOf(DrawOp::Line).back().numbers, (std::vector<int>{1800, -480, 1800, -480 - 80 * 25}));

    RecordingDrawContext second = paper();
    printReportPage(second, report, 2, 2);
    EXPECT_EQ(printedRowLabels(second), (std::vector<std::string>{"row 24"}));
    EXPECT_EQ(second.texts()[1], "Page: 2/2");
    EXPECT_TRUE(second.callsOf(DrawOp::Rectangle).empty()) << "no page header after page 1";
    std::vector<std::vector<int>> lines;
    for (const DrawCall& c : second.callsOf(DrawOp::Line)) lines.push_back(c.numbers);
    const std::vector<std::vector<int>> grid = {{0, -160, 1800, -160},   {0, -240, 1800, -240},
                                                {0, -320, 1800, -320},   {0, -160, 0, -320},
                                                {450, -160, 450, -320},  {900, -160, 900, -320},
                                                {1350, -160, 1350, -320}, {1800, -160, 1800, -320}};
    EXPECT_EQ(lines, grid);
    EXPECT_EQ(textCall(second, "row 24").rect(), (Rect{0, -240, 420, -320}));
}

// Stands in for the graph code: keeps where it was asked to draw, and draws its own
// way (a pen of its own) as the real routines do.
class FakePaperGraph : public PaperGraph {
public:
    void drawReadouts(DrawContext& dc, const Rect& rect) override {
        order += "readouts ";
        readouts = rect;
        printing = dc.isPrinting();
    }
    void drawCurveGraph(DrawContext& dc, const Rect& plot) override {
        order += "graph ";
        this->plot = plot;
        dc.selectPen(Pen{kBlue, 1, PenStyle::Solid});
    }
    std::string order;
    Rect readouts, plot;
    bool printing = false;
};

TEST(PrintedReport, GraphReportPlacesReadoutsAndPlotBelowTheHeader) {
    FakePaperGraph graph;
    PrintedReport report;
    report.screen = printedScreenFor(1);
    report.header = headerTexts();
    report.graph = &graph;
    ASSERT_EQ(printedPageCount(report), 1);

    RecordingDrawContext dc = paper();
    printReportPage(dc, report, 1, 1);

    EXPECT_EQ(dc.texts()[0], "Graph report");
    EXPECT_EQ(dc.callsOf(DrawOp::Rectangle).size(), 1u) << "the page header";
    EXPECT_TRUE(dc.callsOf(DrawOp::Line).empty()) << "no table on the graph report";
    EXPECT_EQ(graph.order, "readouts graph ");
    EXPECT_EQ(graph.readouts, (Rect{0, -320, 1800, -380}));
    EXPECT_EQ(graph.plot, (Rect{200, -750, 1600, -1350}));
    EXPECT_TRUE(graph.printing);
    EXPECT_EQ(dc.pen(), kCallerPen) << "the graph's pen is not left behind";
}

}  // namespace
}  // namespace vanta
