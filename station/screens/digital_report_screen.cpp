#include "station/screens/digital_report_screen.h"

#include "reports/digital_report.h"
#include "station/bar_contents.h"
#include "station/command_ids.h"

namespace vanta {

bool DigitalReportScreen::command(int id, Notification) {
    switch (id) {
        case cmd::kDigitalReport: show(); return true;
        case cmd::kReportRepetitionBox: selectRepetition(); return true;
        // The button exists only on the report bar, so the export does not ask which
        // screen is on show.
        case cmd::kExportXml: exportXml(); return true;
        default: return false;
    }
}

// Report > "Digital": the report bar with one entry per repetition, the first chosen, and
// the table of repetition 1 under the page header.
void DigitalReportScreen::show() {
    Station& s = context_.station;
    if (s.viewMode == kViewDigitalReport) return;
    context_.bars.showBar(kReportBarTemplate);
    const ListContents reps = reportRepetitionContents(s.test.repetitionCount);
    context_.bars.fillBarList(cmd::kReportRepetitionBox, reps.entries, reps.selected);
    s.selectedRepetition = 0;
    // The page header names the view's current repetition: it is the one in the table,
    // on screen and on paper.
    s.currentRepetition = 0;
    s.viewMode = kViewDigitalReport;
    context_.table.clearTable();
    context_.table.setTableFont(kDigitalReportFontHeight, kDigitalReportFontWeight);
    fillTable();
    context_.table.placeTable(kDigitalReportTableRect);
    context_.view.repaint();
}

// The rows the table shows: those of the repetition chosen in the box.
void DigitalReportScreen::fillPrintJob(PrintJob& job) const {
    const int r = context_.station.selectedRepetition;
    if (r < 0 || r >= kMaxRepetitions) return;
    job.report.table = digitalPrintedTable(digitalReportRows(context_.station.test.results[static_cast<size_t>(r)]));
}

void DigitalReportScreen::selectRepetition() {
    Station& s = context_.station;
    s.selectedRepetition = context_.bars.barSelection(cmd::kReportRepetitionBox);
    context_.table.clearTable();
    // The box belongs to the report screen; a change anywhere else is the station's own
    // fault, and the table stays empty.
    if (s.viewMode == kViewDigitalReport) {
        // The header's "No:" and "Weight:" follow the table's repetition (a box without a
        // choice leaves the header as it was and the table empty).
        if (s.selectedRepetition >= 0 && s.selectedRepetition < kMaxRepetitions)
            s.currentRepetition = s.selectedRepetition;
        fillTable();
    } else
        context_.dialogs.message(kMsgInternalErrorInterval);
    context_.view.repaint();
}

// The results of the chosen repetition; with no repetition recorded the box is empty and
// the table shows what index 0 holds (zeros in a station that has measured nothing). A
// choice outside the record leaves the table empty rather than reading beyond it.
void DigitalReportScreen::fillTable() {
    const Station& s = context_.station;
    if (s.selectedRepetition < 0 || s.selectedRepetition >= kMaxRepetitions) return;
    context_.table.fillDigitalReport(s.test.results[static_cast<size_t>(s.selectedRepetition)], s.columnWidthScale);
}

// "Export xml": the table as it is on screen into DATA/noname.xml, then the desktop's
// spreadsheet program on it. A file that cannot be written is said so, and nothing is
// opened: an earlier export left in the folder must not pass for this one. Where the file
// went is told every time: in the status bar when a program opened it, in a box when
// none did (the operator would otherwise see nothing at all).
void DigitalReportScreen::exportXml() {
    const Station& s = context_.station;
    std::string message, reason;
    bool opened = false;
    const SpreadsheetLabels labels{s.test.subject.name, s.test.testTime, s.selectedRepetition};
    if (!exportSpreadsheet(context_.table.tableCells(), labels, s.paths.dataDirectory, context_.openFile, &message,
                           &reason, &opened)) {
        context_.dialogs.message(message, reason);
        return;
    }
    const std::string told = exportedMessage(spreadsheetPath(s.paths.dataDirectory));
    if (opened)
        context_.dialogs.showStatus(told);
    else
        context_.dialogs.message(told, kExportNotOpened);
}

void DigitalReportScreen::leave() {
    context_.table.clearTable();
    context_.table.placeTable(kHiddenTableRect);
}

}  // namespace vanta
