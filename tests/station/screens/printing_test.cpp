// What Print and Print Preview take from the screen on show: the title, the header of the
// view's current repetition, and the digital report's rows.
#include "core/analysis.h"
#include "core/demo_test.h"
#include "reports/digital_report.h"
#include "tests/station/screens/screen_fixture.h"
#include "tests/support/recording_draw_context.h"

namespace vanta::testing {
namespace {

class PrintingTest : public ScreenTest {
protected:
    PrintingTest() {
        station.test.subject.name = "Ann Lee";
        station.test.repetitionCount = 3;
        for (int r = 0; r < 3; ++r) {
            station.test.repetitions[r].loadMass = 5.0f + 2.5f * r;
            station.test.results[r].value[MeanAll][0] = 100.0f + r;  // "F mean (N)", Total
        }
        station.resultsAvailable = 1;
    }

    std::vector<std::string> printedTexts(const PrintJob& job) {
        RecordingDrawContext paper(true);
        printReportPage(paper, job.report, 1, printedPageCount(job.report));
        return paper.texts();
    }
};

TEST_F(PrintingTest, ScreensWithoutAPrintoutGiveAnErrorPageWithTheHeader) {
    station.currentRepetition = 1;
    for (int viewMode : {kViewIdle, kViewMeasurement, kViewCalibration}) {
        station.viewMode = viewMode;
        const PrintJob job = screens.printJob();
        EXPECT_EQ(job.report.screen, PrintedScreen::Other);
        EXPECT_TRUE(job.report.table.rows.empty());
        EXPECT_EQ(job.report.graph, nullptr);
        const std::vector<std::string> texts = printedTexts(job);
        ASSERT_EQ(texts.size(), 4u);
        EXPECT_EQ(texts[0], "ERROR");
        EXPECT_EQ(texts[2], "Name: Ann Lee");
        EXPECT_NE(texts[3].find("Weight:  7.50 No: 2"), std::string::npos) << texts[3];
    }
}

TEST_F(PrintingTest, DigitalReportPrintsTheChosenRepetitionUnderTheViewsHeader) {
    ASSERT_TRUE(run(cmd::kDigitalReport));
    bars.selection[cmd::kReportRepetitionBox] = 2;
    run(cmd::kReportRepetitionBox, Notification::SelectionChanged);

    const PrintJob job = screens.printJob();
    EXPECT_EQ(job.report.screen, PrintedScreen::DigitalReport);
    ASSERT_EQ(job.report.table.rows.size(), 10u);
    const ReportRow expected = digitalReportRows(station.test.results[2])[0];
    EXPECT_EQ(job.report.table.rows[0], std::vector<std::string>(expected.begin(), expected.end()));
    EXPECT_EQ(job.report.table.rows[0][1], "102.0");

    // The header names the repetition the table holds, with its load: the box's choice
    // is the view's current repetition.
    const std::vector<std::string> texts = printedTexts(job);
    EXPECT_EQ(texts[0], "DIGITAL REPORT");
    EXPECT_NE(texts[3].find("Weight: 10.00 No: 3"), std::string::npos) << texts[3];
}

TEST_F(PrintingTest, GraphReportPrintsTheGraphAsShownAndKeepsTheScreensScales) {
    fillDemoTest(station.test, DemoOptions{});
    for (int r = 0; r < station.test.repetitionCount; ++r) analyseRepetition(station.test, r);
    ASSERT_TRUE(run(cmd::kCurveGraph));
    bars.selection[cmd::kRepetitionSelector] = 1;
    run(cmd::kRepetitionSelector, Notification::SelectionChanged);
    for (int i = 0; i < 3; ++i) run(cmd::kCursorLeftRight);
    run(cmd::kZoom);
    RecordingDrawContext screen(false);
    screens.draw(screen);
    const GraphViewState shown = screens.curveGraph().graph();
    ASSERT_EQ(shown.windowStart, 103);

    const PrintJob job = screens.printJob();
    ASSERT_NE(job.report.graph, nullptr);
    RecordingDrawContext paper(true);
    printReportPage(paper, job.report, 1, 1);
    const std::vector<std::string> texts = paper.texts();
    EXPECT_EQ(texts[0], "Graph report");
    EXPECT_NE(texts[3].find("No: 2"), std::string::npos) << texts[3];
    const std::string xr = "XR: " + std::to_string(shown.cursorRight);
    EXPECT_NE(std::find(texts.begin(), texts.end(), "XL: 103"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), xr), texts.end());
    // The frame of the paper plot: left side, bottom and right side, 140 by 60 mm.
    const std::vector<DrawCall> frames = paper.callsOf(DrawOp::Polyline);
    EXPECT_NE(std::find_if(frames.begin(), frames.end(),
                           [](const DrawCall& c) {
                               return c.numbers == std::vector<int>{200, -750, 200, -1350, 1600, -1350, 1600, -750};
                           }),
              frames.end());
    // The screen keeps its own scales for the mouse.
    EXPECT_EQ(screens.curveGraph().graph().xScale, shown.xScale);
    EXPECT_EQ(screens.curveGraph().graph().y1Scale, shown.y1Scale);
}

}  // namespace
}  // namespace vanta::testing
