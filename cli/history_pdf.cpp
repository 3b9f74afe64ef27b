#include "cli/history_pdf.h"

#include "cli/profile_pdf.h"
#include "history/history_drawing.h"
#include "reports/paper_pages.h"
#include "reports/printed_report.h"

namespace vanta::cli {

namespace {

class HistoryOnPaper : public PaperDrawing {
public:
    explicit HistoryOnPaper(const History& history) : history_(history) {}
    void draw(DrawContext& dc, const Rect& area) override { drawHistory(dc, area, history_); }

private:
    const History& history_;
};

}  // namespace

bool writeHistoryPdf(const std::string& path, const History& history, std::string* message) {
    const auto app = guiForPdf();
    HistoryOnPaper drawing(history);
    PrintedReport report;
    report.screen = PrintedScreen::History;
    report.header = historyPageHeader(history);
    report.drawing = &drawing;
    return writeReportPdf(path, report, message);
}

}  // namespace vanta::cli
