#include "station/screens/digital_report_screen.h"

#include "station/bar_contents.h"
#include "station/command_ids.h"

namespace vanta {

bool DigitalReportScreen::command(int id, Notification) {
    switch (id) {
        case cmd::kDigitalReport: show(); return true;
        case cmd::kReportRepetitionBox: selectRepetition(); return true;
        case cmd::kExportXml: return true;
        default: return false;
    }
}

// Report > "Digital": the report bar with one entry per repetition.
void DigitalReportScreen::show() {
    Station& s = context_.station;
    if (s.viewMode == kViewDigitalReport) return;
    context_.bars.showBar(kReportBarTemplate);
    const ListContents reps = reportRepetitionContents(s.test.repetitionCount);
    context_.bars.fillBarList(cmd::kReportRepetitionBox, reps.entries, reps.selected);
    s.selectedRepetition = 0;
    s.viewMode = kViewDigitalReport;
    context_.view.repaint();
}

void DigitalReportScreen::selectRepetition() {
    Station& s = context_.station;
    s.selectedRepetition = context_.bars.barSelection(cmd::kReportRepetitionBox);
    // The box belongs to the report screen; a change anywhere else is the station's own fault.
    if (s.viewMode != kViewDigitalReport) context_.dialogs.message(kMsgInternalErrorInterval);
    context_.view.repaint();
}

}  // namespace vanta
