// The digital report and the curve graph: their bars, the repetition and quantity choices,
// and the one number 1075 that is IGNORE as a click and the curve bar's list as a change.
#include "tests/station/screens/screen_fixture.h"
#include "reports/spreadsheet_export.h"
#include "tests/support/recording_draw_context.h"
#include "tests/support/temp_dir.h"

namespace vanta::testing {
namespace {

TEST_F(ScreenTest, DigitalReportOffersEveryRepetition) {
    station.test.repetitionCount = 3;
    station.resultsAvailable = 1;
    ASSERT_TRUE(run(cmd::kDigitalReport));
    EXPECT_EQ(station.viewMode, kViewDigitalReport);
    EXPECT_EQ(bars.shownTemplate, kReportBarTemplate);
    ASSERT_EQ(bars.lists[cmd::kReportRepetitionBox].size(), 3u);
    EXPECT_EQ(bars.lists[cmd::kReportRepetitionBox][2], "Repetition No(#) 3");

    bars.selection[cmd::kReportRepetitionBox] = 2;
    run(cmd::kReportRepetitionBox, Notification::SelectionChanged);
    EXPECT_EQ(station.selectedRepetition, 2);
    // "Digital" again changes nothing, not even the chosen repetition.
    run(cmd::kDigitalReport);
    EXPECT_EQ(station.selectedRepetition, 2);
    EXPECT_EQ(bars.log.size(), 2u);  // one show, one fill
    EXPECT_TRUE(dialogs.messages.empty());

    // The box changing off the report screen is the station's own fault, and said so;
    // the table stays empty.
    station.viewMode = kViewIdle;
    run(cmd::kReportRepetitionBox, Notification::SelectionChanged);
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Internal error: nInterv"});
    EXPECT_TRUE(table.rows.empty());
}

// Each repetition's results carry its own number, so the table shows which one it holds.
class DigitalReportTable : public ScreenTest {
protected:
    DigitalReportTable() {
        station.test.repetitionCount = 3;
        station.resultsAvailable = 1;
        for (int r = 0; r < 3; ++r) station.test.results[r].at(PeakAll, ResultColumn::Force) = 100.0f * (r + 1);
    }
    std::string forcePeak() const { return table.rows.size() == 10 ? table.rows[6][1] : "no table"; }
};

TEST_F(DigitalReportTable, ShowsTheChosenRepetitionUnderThePageHeader) {
    station.columnWidthScale = 2.0f;  // left by the live screen; the report keeps it
    run(cmd::kDigitalReport);
    EXPECT_EQ(table.log, (std::vector<std::string>{"clear", "font 12 400", "fill", "place"}));
    EXPECT_EQ(table.rect, (Rect{10, 50, 740, 270}));
    EXPECT_EQ(forcePeak(), "100.0");
    EXPECT_EQ(table.widths, (std::vector<int>{110, 60, 100, 95}));
    EXPECT_EQ(station.columnWidthScale, 2.0f);

    bars.selection[cmd::kReportRepetitionBox] = 2;
    run(cmd::kReportRepetitionBox, Notification::SelectionChanged);
    EXPECT_EQ(forcePeak(), "300.0");
    EXPECT_EQ(table.rect, (Rect{10, 50, 740, 270}));  // font and place stay

    // "Digital" again changes nothing.
    const size_t steps = table.log.size();
    run(cmd::kDigitalReport);
    EXPECT_EQ(table.log.size(), steps);
    EXPECT_EQ(forcePeak(), "300.0");

    // Another screen begins: the table is cleared into the empty rectangle.
    run(cmd::kCurveGraph);
    EXPECT_TRUE(table.rows.empty());
    EXPECT_EQ(table.rect, kHiddenTableRect);
    run(cmd::kResetToIdle);

    // Reopened, the report shows repetition 1 again, the first entry chosen.
    run(cmd::kDigitalReport);
    EXPECT_EQ(station.selectedRepetition, 0);
    EXPECT_EQ(bars.selection[cmd::kReportRepetitionBox], 0);
    EXPECT_EQ(forcePeak(), "100.0");

    // Leaving for the idle screen hides it too.
    run(cmd::kResetToIdle);
    EXPECT_EQ(table.rect, kHiddenTableRect);
    EXPECT_TRUE(table.rows.empty());
}

// The header above the table names the repetition the table holds, with that
// repetition's load, whatever the curve graph showed last (the printout: printing_test).
TEST_F(DigitalReportTable, TheHeaderNamesTheRepetitionOfTheTable) {
    for (int r = 0; r < 3; ++r) station.test.repetitions[r].loadMass = 5.0f + r;
    auto headerRight = [this] {
        RecordingDrawContext dc;
        screens.draw(dc);
        const auto texts = dc.texts();
        return texts.size() >= 2 ? texts[1] : std::string("no header");
    };
    run(cmd::kCurveGraph);
    bars.selection[cmd::kRepetitionSelector] = 1;
    run(cmd::kRepetitionSelector, Notification::SelectionChanged);
    run(cmd::kResetToIdle);
    station.currentRepetition = 1;  // as the curve graph left it
    run(cmd::kDigitalReport);
    EXPECT_NE(headerRight().find("Weight:  5.00 No: 1"), std::string::npos) << headerRight();

    bars.selection[cmd::kReportRepetitionBox] = 2;
    run(cmd::kReportRepetitionBox, Notification::SelectionChanged);
    EXPECT_NE(headerRight().find("Weight:  7.00 No: 3"), std::string::npos) << headerRight();
    EXPECT_EQ(forcePeak(), "300.0");
}

TEST_F(DigitalReportTable, ATestWithoutRepetitionsShowsIndexZero) {
    station.test.repetitionCount = 0;
    station.test.results[0] = RepetitionResults{};
    run(cmd::kDigitalReport);
    EXPECT_TRUE(bars.lists[cmd::kReportRepetitionBox].empty());
    ASSERT_EQ(table.rows.size(), 10u);
    EXPECT_EQ(table.rows[0][1], " 0.0");
    // A box without a choice does not read beyond the record.
    bars.selection[cmd::kReportRepetitionBox] = -1;
    run(cmd::kReportRepetitionBox, Notification::SelectionChanged);
    EXPECT_TRUE(table.rows.empty());
}

TEST_F(DigitalReportTable, ExportWritesTheShownTableAndOpensIt) {
    TempDir data;
    station.paths.dataDirectory = data.path().string();
    station.test.subject.name = "Eva & Ida";
    station.test.testTime = 1700000000;
    run(cmd::kDigitalReport);
    bars.selection[cmd::kReportRepetitionBox] = 1;
    run(cmd::kReportRepetitionBox, Notification::SelectionChanged);

    ASSERT_TRUE(run(cmd::kExportXml));
    const std::string path = data.file("noname.xml");
    EXPECT_EQ(opened, std::vector<std::string>{path});
    EXPECT_EQ(readFileBytes(path),
              spreadsheetBytes(digitalLayout, digitalReportRows(station.test.results[1]),
                               {"Eva & Ida", 1700000000, 1}));
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_EQ(dialogs.statuses, std::vector<std::string>{"Exported to " + path});

    // A desktop without a program for the file: the operator is told where the file is,
    // and that nothing opened it.
    desktopOpens = false;
    run(cmd::kExportXml);
    EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Exported to " + path});
    EXPECT_EQ(dialogs.details, std::vector<std::string>{"No program on this desktop opens the file."});
    dialogs.messages.clear();
    dialogs.details.clear();

    // A DATA folder that is gone: said so, and nothing is opened.
    station.paths.dataDirectory = data.file("gone");
    opened.clear();
    run(cmd::kExportXml);
    EXPECT_EQ(dialogs.messages,
              std::vector<std::string>{"Export failed: " + data.file("gone/noname.xml") + " could not be written."});
    EXPECT_EQ(dialogs.details, std::vector<std::string>{"No such file or directory"});
    EXPECT_TRUE(opened.empty());
}

TEST_F(ScreenTest, CurveGraphChoosesRepetitionAndQuantities) {
    station.test.repetitionCount = 3;
    station.currentRepetition = 2;
    station.settings.graph.graphY1Quantity = 1;
    station.settings.graph.graphY2Quantity = 3;
    ASSERT_TRUE(run(cmd::kCurveGraph));
    EXPECT_EQ(station.viewMode, kViewCurveGraph);
    EXPECT_EQ(station.currentRepetition, 0);
    EXPECT_EQ(bars.shownTemplate, kCurveBarTemplate);
    EXPECT_EQ(bars.lists[cmd::kRepetitionSelector][0], "Rep No.  1");
    EXPECT_EQ(bars.selection[cmd::kY1Box], 1);
    EXPECT_EQ(bars.lists[cmd::kY2Box][size_t(bars.selection[cmd::kY2Box])], "Force (N)");

    // A selection change of 1075 chooses the repetition and drops nothing.
    bars.selection[cmd::kRepetitionSelector] = 1;
    run(cmd::kRepetitionSelector, Notification::SelectionChanged);
    EXPECT_EQ(station.currentRepetition, 1);
    EXPECT_EQ(station.test.repetitionCount, 3);
    // A list without a choice changes nothing.
    bars.selection[cmd::kRepetitionSelector] = -1;
    run(cmd::kRepetitionSelector, Notification::SelectionChanged);
    EXPECT_EQ(station.currentRepetition, 1);

    // The quantity boxes write into the settings, which survive a restart.
    bars.selection[cmd::kY1Box] = 4;
    run(cmd::kY1Box, Notification::SelectionChanged);
    bars.selection[cmd::kY2Box] = 0;
    run(cmd::kY2Box, Notification::SelectionChanged);
    EXPECT_EQ(station.settings.graph.graphY1Quantity, 4);
    EXPECT_EQ(station.settings.graph.graphY2Quantity, 0);

    // A click on 1075 is IGNORE, whichever screen is on show.
    run(cmd::kIgnore, Notification::Clicked);
    EXPECT_EQ(station.test.repetitionCount, 2);
}

TEST_F(ScreenTest, TheScreenOnShowFollowsViewModeAndTheHeaderFollowsResults) {
    run(cmd::kCurveGraph);
    EXPECT_EQ(&screens.current(), &screens.curveGraph());
    station.viewMode = 42;
    EXPECT_EQ(&screens.current(), &screens.idle());

    // Command 32822 from any screen: idle, no bar, repetition 0, painted at once.
    station.viewMode = kViewCurveGraph;
    station.currentRepetition = 2;
    const int repaints = view.repaints;
    ASSERT_TRUE(run(cmd::kResetToIdle));
    EXPECT_EQ(station.viewMode, kViewIdle);
    EXPECT_EQ(station.currentRepetition, 0);
    EXPECT_EQ(bars.shownTemplate, 0);
    EXPECT_EQ(view.repaints, repaints + 1);

    // The commands of the window and of other owners are not the screens'.
    EXPECT_FALSE(run(cmd::kFileOpen));
    EXPECT_FALSE(run(cmd::kSubjectInfoSetup));
}

TEST_F(ScreenTest, ThePageHeaderIsDrawnOnEveryScreenOnlyWhenATestMayBeReported) {
    // Before a test: no header, only whom the next test is for.
    RecordingDrawContext nothing;
    screens.draw(nothing);
    EXPECT_EQ(nothing.texts(), (std::vector<std::string>{"Subject: none chosen"})) << nothing.describe();

    station.resultsAvailable = 1;
    station.test.subject.name = "Ann Lee";
    station.test.repetitions[1].loadMass = 12.25f;
    station.currentRepetition = 1;  // the header shows the view's current repetition
    for (int mode : {kViewIdle, kViewCurveGraph, kViewDigitalReport, kViewMeasurement, kViewCalibration}) {
        station.viewMode = mode;
        RecordingDrawContext dc;
        screens.draw(dc);
        // The header comes first; the curve graph draws its panel and plot after it.
        const auto rects = dc.callsOf(DrawOp::Rectangle);
        ASSERT_EQ(rects.size(), mode == kViewCurveGraph ? 2u : 1u) << mode;
        EXPECT_EQ(rects.front().rect(), (Rect{10, 5, 740, 30}));
        const auto texts = dc.texts();
        ASSERT_GE(texts.size(), 2u) << dc.describe();
        EXPECT_EQ(texts[0], "Name: Ann Lee");
        EXPECT_NE(texts[1].find("Weight: 12.25 No: 2"), std::string::npos) << texts[1];
    }
}

}  // namespace
}  // namespace vanta::testing
