// Print, Print Preview and Print Setup with the platform's dialogs. One printer serves the
// station's whole run, so the paper and printer chosen in Print Setup or in the print
// dialog are those of the next print. With no printer installed the print dialog still
// offers printing into a PDF file.
#pragma once

#include <QPrinter>

#include <functional>

#include "station/print_job.h"

class QDialog;
class QWidget;

namespace vanta {

class ReportPrinter {
public:
    ReportPrinter();

    // The print dialog (pages 1 to the job's page count), then the chosen pages on the
    // chosen printer or file. False when the operator cancels or the printer cannot start.
    bool print(const PrintJob& job, QWidget* parent);
    // The pages in the print preview window, whose print button prints them as they are.
    void preview(const PrintJob& job, QWidget* parent);
    // The page setup dialog: paper, orientation and margins of the next print.
    void pageSetup(QWidget* parent);

    QPrinter& printer() { return printer_; }

    // Runs a dialog and says whether the operator accepted it. Tests answer in place of
    // the operator.
    std::function<bool(QDialog&)> runDialog;

private:
    QPrinter printer_;
};

}  // namespace vanta
