// vantacheck-cli history: one subject's tests from the station's index or the lab's archive,
// over time, with the changes judged against the measurement error of the subject's own
// attempts.
#include <iostream>

#include "cli/commands.h"
#include "cli/output_file.h"
#include "cli/history_output.h"
#include "cli/station_folders.h"
#include "cli/subject_tests.h"
#include "history/history.h"
#include "station/subject_history.h"

namespace vanta::cli {

int runHistory(const HistoryOptions& given, HistoryPdfWriter writePdf, HandOver handOver) {
    HistoryOptions options = given;
    SubjectTestsQuery& query = options.subjectTests;
    if (query.subject.has_value() == query.id.has_value())
        return fail("history needs one of --subject TEXT and --id UUID (see vantacheck-cli history --help)");
    if (!options.pdf.empty())
        if (const std::string refused = refusedOutput("history", "--pdf", options.pdf, options.overwrite); !refused.empty())
            return fail(refused);
    if (!options.pdf.empty() && !writePdf) {
        if (handOver) return handOver();
        return fail("history --pdf needs the Qt parts, which this build does not have");
    }
    if (query.data.empty()) query.data = stationFolders().subjectLibraryDirectory;

    SubjectTests found;
    if (std::string message; !readSubjectTests(query, found, message)) return fail(message);
    const std::vector<archive::IndexedTest>& tests = found.tests;
    if (tests.empty()) return fail("No indexed test of this subject.");
    // Without the register's name, the name the subject's latest test holds (tests come
    // oldest first).
    const std::string name = found.name.empty() ? tests.back().subject : found.name;
    const History history = buildHistory(historyAttemptsOf(tests), name, options.swapSides);

    if (writeStandardOutput(options.json ? historyJson(history, subjectIdOf(tests)) : historyText(history)) != 0) return 2;
    if (!options.pdf.empty()) {
        std::string message;
        if (!writePdf(options.pdf, history, &message)) return fail(options.pdf + ": " + message);
        std::cerr << "Wrote " << options.pdf << "\n";
    }
    return 0;
}

void addHistoryCommand(CommandLine& line, HistoryPdfWriter writePdf, HandOver handOver) {
    auto options = std::make_shared<HistoryOptions>();
    Command history = line.add("history", "a subject's tests over time",
             "The indexed tests of one subject (see vantacheck-cli archive), oldest first: per test,\n"
             "side and load (equal within 0.005 kg) the number of attempts and their best and mean\n"
             "peak power. The measurement error per side is pooled from every test and load with\n"
             "two attempts or more: SEM = sqrt(sum (n-1) s^2 / sum (n-1)), s^2 the sample variance\n"
             "of a group of n attempts (at least two such groups, else none), and\n"
             "MDC95 = 1.96 x sqrt(2) x SEM. Each change of the mean peak power between tests at the\n"
             "same side and load (consecutive ones, and the first against the latest) is \"beyond\n"
             "error\" when its size exceeds MDC95, else \"within error\". One of --subject and --id.\n"
             "With --url the tests come from the lab's shared archive, whichever station\n"
             "recorded them (rows only, never the test files).\n");
    declareSubjectChoice(history, options->subjectTests,
                         {"the tests whose subject's name contains TEXT (any case, with or\n"
                          "without accents); it must name one subject",
                          "the tests of the register subject with this id",
                          "the station's data folder whose index is used (default: the\n"
                          "folder the station beside this program uses)"},
                         false);
    history
        .flag("--json", options->json, "one JSON object, every number at full double precision")
        .flag("--swap-sides", options->swapSides,
              "direction +1 is the left side: a box mounted the other way round,\n"
              "as the station's setting (and profile --swap-sides), for the tests\n"
              "whose station's own setting the archive does not know")
        .text("--pdf", options->pdf, "OUT.pdf", "also the page the station prints from its History screen (A4)",
              "--pdf needs an output file")
        .flag("--overwrite", options->overwrite, "replace OUT.pdf when it exists (never a test file)")
        .runs([options, writePdf, handOver] { return runHistory(*options, writePdf, handOver); });
}

}  // namespace vanta::cli
