// vantacheck-cli report: the station's printed report of one repetition as a PDF file,
// drawn by the same page routine as Print and Print Preview, without a window.
#include <QGuiApplication>
#include <QString>

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "cli/history_pdf.h"
#include "cli/profile_pdf.h"
#include "graphs/graph_view_state.h"
#include "reports/digital_report.h"
#include "reports/paper_pages.h"
#include "reports/printed_report.h"
#include "station/print_job.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

// Fonts and the PDF painter need a GUI application object, but no screen: without a
// platform of the user's choosing the offscreen one serves, so the command works over
// ssh and in CI where no display exists.
std::unique_ptr<QGuiApplication> guiWithoutWindow() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's notes on the session's runtime folder (none under cron or in CI, or one owned by
    // someone else) say nothing about the report; every other message of Qt still reaches
    // standard error.
    static QtMessageHandler qtDefault = nullptr;
    qtDefault = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (text.startsWith(QLatin1String("QStandardPaths:")) &&
            (text.contains(QLatin1String("XDG_RUNTIME_DIR")) || text.contains(QLatin1String("runtime directory"))))
            return;
        if (qtDefault) qtDefault(type, context, text);
        else std::cerr << text.toStdString() << "\n";
    });
    static int argc = 1;
    static char name[] = "vantacheck-cli";
    static char* argv[] = {name, nullptr};
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    // Numbers in the user's format, as the station prints them (it adopts the user's
    // numeric locale at start).
    std::setlocale(LC_NUMERIC, "");
    return app;
}

}  // namespace

// Fonts and the PDF painter, as for report.
std::unique_ptr<QGuiApplication> guiForPdf() { return guiWithoutWindow(); }

namespace {

int runReport(const ReportOptions& options) {
    if (isSameFile(options.path, options.pdf))
        return fail("--pdf " + options.pdf + " is the test file " + options.path + " itself; it would be overwritten");
    const bool graph = options.kind == "graph";
    auto test = std::make_unique<TestRecord>();
    std::string message;
    // The graph draws every sample of its window; the table needs only the results.
    if (!readTestFile(options.path, *test, &message, graph ? SampleStorage::Keep : SampleStorage::Discard))
        return fail(options.path + ": " + message);
    if (options.repetition > test->repetitionCount) {
        if (test->repetitionCount == 0) return fail(options.path + " holds no repetitions");
        return fail(options.path + " holds repetitions 1 to " + std::to_string(test->repetitionCount) + ", not " +
                    std::to_string(options.repetition));
    }
    const int r = static_cast<int>(options.repetition - 1);

    const auto app = guiWithoutWindow();

    // As the curve graph screen opens on a repetition: the whole stroke, the cursors at its
    // ends, and the axes of the station's default settings apart from the chosen quantities.
    GraphSettings settings;
    settings.graphY1Quantity = static_cast<int32_t>(options.y1);
    settings.graphY2Quantity = static_cast<int32_t>(options.y2);
    GraphViewState view;
    view.y1 = settings.graphY1Quantity;
    view.y2 = settings.graphY2Quantity;
    showRepetition(view, *test, r);
    GraphOnPaper graphOnPaper(*test, settings, view);

    PrintedReport report;
    report.header = pageHeaderTexts(*test, r);
    if (graph) {
        report.screen = PrintedScreen::CurveGraph;
        report.graph = &graphOnPaper;
    } else {
        report.screen = PrintedScreen::DigitalReport;
        report.table = digitalPrintedTable(digitalReportRows(test->results[static_cast<size_t>(r)]));
    }

    std::string reason;
    if (!writeReportPdf(options.pdf, report, &message, &reason)) return fail(options.pdf + ": " + message + "\n" + reason);
    return writeStandardOutput("Wrote " + options.pdf + ": " + std::to_string(printedPageCount(report)) + " page(s)\n");
}

}  // namespace

void addQtCommands(CommandLine& line) {
    addReportCommand(line, runReport);
    addProfileCommand(line, writeProfilePdf, nullptr);
    addHistoryCommand(line, writeHistoryPdf, nullptr);
}

}  // namespace vanta::cli
