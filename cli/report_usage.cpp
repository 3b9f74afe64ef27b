// The words and the help of vantacheck-cli report, in vantacheck-cli itself: its overview
// and report --help answer without Qt, and without the program that draws the PDF.
#include "cli/commands.h"

#include <memory>

namespace vanta::cli {

void addReportCommand(CommandLine& line, int (*run)(const ReportOptions& options)) {
    auto options = std::make_shared<ReportOptions>();
    line.add("report", "the printed report as PDF",
             "Writes the report the station prints for repetition N (1 is the first) into a PDF\n"
             "file on A4, without a window. The page header shows repetition N. Numbers follow\n"
             "the user's locale, as on the station's own printout.\n")
        .file("FILE.kvq", options->path, "the test file").required()
        .integer("--repetition", options->repetition, 1, kMaxRepetitions, "N", "the repetition, 1..100 (1 is the first)",
                 "--repetition needs a repetition number from 1 to 100")
        .required()
        .value("--kind", "digital|graph",
               "digital: the digital report table (\"DIGITAL REPORT\");\n"
               "graph: the readout panel and the curve graph (\"Graph report\") over the\n"
               "whole stroke, the cursors at sample 100 and N - 150, autoscaled",
               "--kind needs digital or graph",
               [options](const std::string& t) {
                   if (t != "digital" && t != "graph") return false;
                   options->kind = t;
                   return true;
               })
        .required()
        .integer("--y1", options->y1, 0, kGraphQuantities - 1, "Q",
                 "the quantity on the left axis (default 0): 0 velocity (deg/s),\n"
                 "1 Position (deg), 2 velocity (cm/s), 3 Force (N), 4 Power (W)",
                 "--y1 needs a quantity code from 0 to 4 (see vantacheck-cli report --help)")
        .integer("--y2", options->y2, 0, kGraphQuantities - 1, "Q", "the quantity on the right axis (default 3)",
                 "--y2 needs a quantity code from 0 to 4 (see vantacheck-cli report --help)")
        .text("--pdf", options->pdf, "OUT.pdf", "the PDF file to write", "--pdf needs an output file")
        .required()
        .incomplete("report needs a test file, --repetition N, --kind and --pdf OUT.pdf (see vantacheck-cli report --help)")
        .tooMany("report takes one test file")
        .runs([options, run] { return run(*options); });
}

}  // namespace vanta::cli
