// vantacheck-cli report: the station's printed report of one repetition as a PDF file,
// drawn by the same page routine as Print and Print Preview, without a window.
#include <QGuiApplication>
#include <QString>

#include <clocale>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "cli/commands.h"
#include "reports/digital_report.h"
#include "reports/paper_pages.h"
#include "reports/printed_report.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

struct ReportArgs {
    std::string path;
    std::string pdf;
    long long repetition = 0;  // 1-based, as on the station's screens
    std::string kind;
};

// Parses the words after "report"; an empty result is a good parse, otherwise the message.
std::string parseReportArgs(const Args& args, ReportArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--repetition") {
            if (!hasValue || !parseInteger(args[i + 1], 1, kMaxRepetitions, out.repetition))
                return "--repetition needs a repetition number from 1 to 100";
            ++i;
        } else if (a == "--kind") {
            if (!hasValue || args[i + 1] != "digital") return "--kind needs digital";
            out.kind = args[++i];
        } else if (a == "--pdf") {
            if (!hasValue || args[i + 1].empty()) return "--pdf needs an output file";
            out.pdf = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return "Unknown option " + a + " (see vantacheck-cli report --help)";
        } else if (out.path.empty()) {
            out.path = a;
        } else {
            return "report takes one test file";
        }
    }
    if (out.path.empty() || out.repetition == 0 || out.kind.empty() || out.pdf.empty())
        return "report needs a test file, --repetition N, --kind and --pdf OUT.pdf (see vantacheck-cli report --help)";
    return {};
}

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

int runReport(const Args& args) {
    ReportArgs options;
    if (const std::string error = parseReportArgs(args, options); !error.empty()) return fail(error);

    auto test = std::make_unique<TestRecord>();
    std::string message;
    if (!readTestFile(options.path, *test, &message, SampleStorage::Discard))
        return fail(options.path + ": " + message);
    if (options.repetition > test->repetitionCount) {
        if (test->repetitionCount == 0) return fail(options.path + " holds no repetitions");
        return fail(options.path + " holds repetitions 1 to " + std::to_string(test->repetitionCount) + ", not " +
                    std::to_string(options.repetition));
    }
    const int r = static_cast<int>(options.repetition - 1);

    const auto app = guiWithoutWindow();

    PrintedReport report;
    report.header = pageHeaderTexts(*test, r);
    report.screen = PrintedScreen::DigitalReport;
    report.table = digitalPrintedTable(digitalReportRows(test->results[static_cast<size_t>(r)]));

    if (!writeReportPdf(options.pdf, report, &message)) return fail(options.pdf + ": " + message);
    std::cout << "Wrote " << options.pdf << ": " << printedPageCount(report) << " page(s)\n";
    return 0;
}

}  // namespace

const std::vector<Command>& reportCommands() {
    static const std::vector<Command> commands = {
        {"report", "report FILE.kvq --repetition N --kind digital --pdf OUT.pdf   the printed report as PDF",
         "Usage: vantacheck-cli report FILE.kvq --repetition N --kind digital --pdf OUT.pdf\n"
         "Writes the report the station prints for repetition N (1 is the first) into a PDF\n"
         "file on A4, without a window:\n"
         "  --kind digital   the digital report table (\"DIGITAL REPORT\")\n"
         "The page header shows repetition N. Numbers follow the user's locale, as on the\n"
         "station's own printout.\n",
         runReport},
    };
    return commands;
}

}  // namespace vanta::cli
