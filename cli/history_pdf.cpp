#include "cli/history_pdf.h"

#include "cli/profile_pdf.h"
#include "history/history_drawing.h"
#include "reports/paper_pages.h"
#include "reports/printed_report.h"

namespace vanta::cli {

bool writeHistoryPdf(const std::string& path, const History& history, std::string* message) {
    const auto app = guiForPdf();
    HistoryOnPaper drawing(history, std::nullopt);
    PrintedReport report;
    report.screen = PrintedScreen::History;
    report.header = historyPageHeader(history);
    report.drawing = &drawing;
    return writeReportPdf(path, report, message);
}

}  // namespace vanta::cli
