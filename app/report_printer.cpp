#include "app/report_printer.h"

#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>

#include "reports/paper_pages.h"

namespace vanta {

ReportPrinter::ReportPrinter()
    : runDialog([](QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }),
      printer_(QPrinter::HighResolution) {}

bool ReportPrinter::print(const PrintJob& job, QWidget* parent) {
    // The page count is fixed now, from the rows the table holds as printing starts.
    const int pages = printedPageCount(job.report);
    QPrintDialog dialog(&printer_, parent);
    dialog.setMinMax(1, pages);
    dialog.setFromTo(1, pages);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, pages > 1);
    if (!runDialog(dialog)) return false;
    // All pages leave fromPage and toPage at 0, which paints every page.
    return paintReportPages(printer_, job.report, printer_.fromPage(), printer_.toPage());
}

void ReportPrinter::preview(const PrintJob& job, QWidget* parent) {
    QPrintPreviewDialog dialog(&printer_, parent);
    // The preview paints into its own printer for the screen and into the printer for its
    // print button; both get every page.
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [&job](QPrinter* printer) { paintReportPages(*printer, job.report); });
    runDialog(dialog);
}

void ReportPrinter::pageSetup(QWidget* parent) {
    QPageSetupDialog dialog(&printer_, parent);
    runDialog(dialog);
}

}  // namespace vanta
