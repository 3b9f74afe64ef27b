// vantacheck-cli history: one subject's tests from the station's index, over time, with the
// changes judged against the measurement error of the subject's own attempts.
#include <iostream>

#include "archive/local_index.h"
#include "cli/commands.h"
#include "cli/history_output.h"
#include "cli/station_folders.h"
#include "history/history.h"
#include "station/subject_history.h"

namespace vanta::cli {

namespace {

struct HistoryArgs {
    archive::TestQuery query;
    std::string data;
    bool json = false;
    std::string pdf;
};

std::string parseHistoryArgs(const Args& args, HistoryArgs& out) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size() && !args[i + 1].empty();
        if (a == "--json") {
            out.json = true;
        } else if (a == "--subject") {
            if (!hasValue) return "--subject needs a name or part of one";
            out.query.subject = args[++i];
        } else if (a == "--id") {
            if (!hasValue) return "--id needs the subject's UUID";
            out.query.subjectId = args[++i];
        } else if (a == "--data") {
            if (!hasValue) return "--data needs a folder";
            out.data = args[++i];
        } else if (a == "--pdf") {
            if (!hasValue) return "--pdf needs an output file";
            out.pdf = args[++i];
        } else {
            return "Unknown option " + a + " (see vantacheck-cli history --help)";
        }
    }
    if (out.query.subject.has_value() == out.query.subjectId.has_value())
        return "history needs one of --subject TEXT and --id UUID (see vantacheck-cli history --help)";
    return {};
}

}  // namespace

int runHistory(const Args& args, HistoryPdfWriter writePdf, int (*handOver)(const Args&)) {
    HistoryArgs options;
    if (const std::string error = parseHistoryArgs(args, options); !error.empty()) return fail(error);
    if (!options.pdf.empty() && !writePdf) {
        if (handOver) return handOver(args);
        return fail("history --pdf needs the Qt parts, which this build does not have");
    }
    if (options.data.empty()) options.data = stationFolders().subjectLibraryDirectory;

    archive::LocalIndex index;
    if (!index.open(options.data, archive::Access::ReadOnly)) return fail(index.lastMessage());
    std::vector<archive::IndexedTest> tests;
    std::string name;
    if (options.query.subject) {
        // A name goes through the register to the subject's id where the register knows
        // her, so the tests from before a rename come too; a part of a name may match
        // several people, and a history mixes no two of them.
        const SubjectLookup found = lookUpSubject(index, options.data, *options.query.subject);
        if (!found.subject) return fail(found.error);
        if (!listSubjectTests(index, *found.subject, tests)) return fail(index.lastMessage());
        name = found.subject->name;
    } else if (!index.listTests(options.query, tests)) {
        return fail(index.lastMessage());
    }
    if (tests.empty()) return fail("No indexed test of this subject.");
    // Without the register's name, the name the subject's latest test holds (tests come
    // oldest first).
    if (name.empty()) name = tests.back().subject;
    const History history = buildHistory(historyAttemptsOf(tests), name, false);

    std::cout << (options.json ? historyJson(history) : historyText(history)) << std::flush;
    if (!std::cout) return fail("Cannot write the output.");
    if (!options.pdf.empty()) {
        std::string message;
        if (!writePdf(options.pdf, history, &message)) return fail(options.pdf + ": " + message);
        std::cerr << "Wrote " << options.pdf << "\n";
    }
    return 0;
}

Command historyCommand(int (*run)(const Args& args)) {
    return {"history", "history (--subject TEXT | --id UUID) [--json] [--pdf OUT]   a subject's tests over time",
            "Usage: vantacheck-cli history (--subject TEXT | --id UUID) [--data DIR] [--json] [--pdf OUT.pdf]\n"
            "The indexed tests of one subject (see vantacheck-cli archive), oldest first: per test,\n"
            "side and load (equal within 0.005 kg) the number of attempts and their best and mean\n"
            "peak power. The measurement error per side is pooled from every test and load with\n"
            "two attempts or more: SEM = sqrt(sum (n-1) s^2 / sum (n-1)), s^2 the sample variance\n"
            "of a group of n attempts (at least two such groups, else none), and\n"
            "MDC95 = 1.96 x sqrt(2) x SEM. Each change of the mean peak power between tests at the\n"
            "same side and load (consecutive ones, and the first against the latest) is \"beyond\n"
            "error\" when its size exceeds MDC95, else \"within error\".\n"
            "  --subject TEXT  the tests whose subject's name contains TEXT (any case, with or\n"
            "                  without accents); it must name one subject\n"
            "  --id UUID       the tests of the register subject with this id\n"
            "  --data DIR      the station's data folder whose index is used (default: the\n"
            "                  folder the station beside this program uses)\n"
            "  --json          one JSON object, every number at full double precision\n"
            "  --pdf OUT.pdf   also the page the station prints from its History screen (A4)\n",
            run};
}

}  // namespace vanta::cli
