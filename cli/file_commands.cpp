#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "core/analysis.h"
#include "core/demo_test.h"
#include "core/side_by_side.h"
#include "reports/digital_report.h"
#include "reports/spreadsheet_export.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

// Holds a whole test: a full one is 240 MB of samples and series, so it lives on the heap.
std::unique_ptr<TestRecord> openTest(const std::string& path, std::string& message,
                                     SampleStorage storage = SampleStorage::Discard) {
    auto test = std::make_unique<TestRecord>();
    if (!readTestFile(path, *test, &message, storage)) return nullptr;
    return test;
}

int writeOut(const std::string& text) { return writeStandardOutput(text); }

int runAnalyse(const Args& args) {
    bool json = false;
    std::string path;
    for (const std::string& a : args) {
        if (a == "--json") json = true;
        else if (!a.empty() && a[0] == '-') return fail("Unknown option " + a + " (see vantacheck-cli analyse --help)");
        else if (path.empty()) path = a;
        else return fail("analyse takes one file");
    }
    if (path.empty()) return fail("analyse needs a test file (see vantacheck-cli analyse --help)");
    std::string message;
    auto test = openTest(path, message);
    if (!test) return fail(path + ": " + message);
    return writeOut(json ? analysisJson(*test) : analysisText(*test));
}

int runSeries(const Args& args) {
    std::string path;
    long long repetition = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--repetition") {
            if (i + 1 >= args.size() || !parseInteger(args[i + 1], 1, 100, repetition))
                return fail("--repetition needs a repetition number from 1 to 100");
            ++i;
        } else if (!a.empty() && a[0] == '-') {
            return fail("Unknown option " + a + " (see vantacheck-cli series --help)");
        } else if (path.empty()) {
            path = a;
        } else {
            return fail("series takes one file");
        }
    }
    if (path.empty() || repetition < 0) return fail("series needs a test file and --repetition N");
    std::string message;
    auto test = openTest(path, message, SampleStorage::Keep);
    if (!test) return fail(path + ": " + message);
    if (repetition > test->repetitionCount)
        return fail(path + " holds " + std::to_string(test->repetitionCount) + " repetitions, not " +
                    std::to_string(repetition));
    return writeOut(seriesCsv(*test, static_cast<int>(repetition - 1)));
}

int runSummary(const Args& args) {
    if (args.empty()) return fail("summary needs one or more test files");
    for (const std::string& path : args)
        if (!path.empty() && path[0] == '-') return fail("Unknown option " + path + " (see vantacheck-cli summary --help)");
    // One file per core, each read on its own; rows and messages come out in the order of
    // the arguments. A single file gets the cores for its repetitions instead.
    const int files = static_cast<int>(args.size());
    const unsigned fileThreads = threadsFor(0, files);
    const unsigned repetitionThreads = std::max(1u, threadsFor(0, kMaxRepetitions) / fileThreads);
    struct Outcome {
        std::string rows;
        std::string error;
    };
    std::vector<Outcome> outcomes(args.size());
    forEachSideBySide(files, fileThreads, [&](int i, unsigned) {
        const std::string& path = args[static_cast<size_t>(i)];
        // Each file starts from a clean record: repetitions of one file never show up in
        // the rows of the next.
        auto test = std::make_unique<TestRecord>();
        std::string message;
        if (readTestFile(path, *test, &message, SampleStorage::Discard, repetitionThreads))
            outcomes[static_cast<size_t>(i)].rows = summaryRows(*test, path);
        else
            outcomes[static_cast<size_t>(i)].error = path + ": " + message;
    });
    std::string out = summaryHeader();
    int status = 0;
    for (const Outcome& o : outcomes) {
        if (!o.error.empty()) {
            std::cerr << o.error << "\n";
            status = 2;
        }
        out += o.rows;
    }
    const int written = writeOut(out);
    return status ? status : written;
}

int runExport(const Args& args) {
    std::string path;
    std::string output;
    long long repetition = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--repetition") {
            if (i + 1 >= args.size() || !parseInteger(args[i + 1], 1, kMaxRepetitions, repetition))
                return fail("--repetition needs a repetition number from 1 to 100");
            ++i;
        } else if (a == "--output") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--output needs a file name, or - for standard output");
            output = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return fail("Unknown option " + a + " (see vantacheck-cli export --help)");
        } else if (path.empty()) {
            path = a;
        } else {
            return fail("export takes one file");
        }
    }
    if (path.empty() || repetition < 0 || output.empty())
        return fail("export needs a test file, --repetition N and --output OUT.xml (see vantacheck-cli export --help)");
    if (output != "-" && isSameFile(path, output))
        return fail("--output " + output + " is the test file " + path + " itself; it would be overwritten");
    std::string message;
    auto test = openTest(path, message);
    if (!test) return fail(path + ": " + message);
    if (test->repetitionCount <= 0) return fail(path + " holds no repetitions");
    if (repetition > test->repetitionCount)
        return fail(path + " holds repetitions 1 to " + std::to_string(test->repetitionCount) + ", not " +
                    std::to_string(repetition));
    // The very bytes of "Export xml" on the report of that repetition.
    const int r = static_cast<int>(repetition - 1);
    const std::string bytes = spreadsheetBytes(
        digitalLayout, digitalReportRows(test->results[r]),
        SpreadsheetLabels{test->subject.name, test->testTime, r});
    if (output == "-") return writeOut(bytes);
    int error = 0;
    if (!writeSpreadsheetFile(output, bytes, &error)) return fail(exportFailedMessage(output) + "\n" + std::strerror(error));
    return 0;
}

int runDemo(const Args& args) {
    std::string path;
    DemoOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        long long v = 0;
        const bool hasValue = i + 1 < args.size();
        if (a == "--repetitions") {
            if (!hasValue || !parseInteger(args[i + 1], 0, kMaxRepetitions, v))
                return fail("--repetitions needs a whole number from 0 to 100");
            options.repetitions = static_cast<int>(v);
            ++i;
        } else if (a == "--samples") {
            if (!hasValue || !parseInteger(args[i + 1], 1, kMaxSamples, v))
                return fail("--samples needs a whole number from 1 to 60000");
            options.samples = static_cast<int>(v);
            ++i;
        } else if (a == "--seed") {
            if (!hasValue || !parseInteger(args[i + 1], 0, 4294967295LL, v))
                return fail("--seed needs a whole number from 0 to 4294967295");
            options.seed = static_cast<uint64_t>(v);
            ++i;
        } else if (a == "--load") {
            char* end = nullptr;
            const double kg = hasValue ? std::strtod(args[i + 1].c_str(), &end) : -1.0;
            if (!hasValue || args[i + 1].empty() || *end != '\0' || !(kg >= 0.0 && kg <= 1000.0))
                return fail("--load needs a load in kg from 0 to 1000");
            options.load = static_cast<float>(kg);
            ++i;
        } else if (a == "--direction") {
            if (!hasValue || !parseInteger(args[i + 1], -1, 1, v) || v == 0)
                return fail("--direction needs 1 (right) or -1 (left)");
            options.direction = static_cast<int>(v);
            ++i;
        } else if (!a.empty() && a[0] == '-') {
            return fail("Unknown option " + a + " (see vantacheck-cli demo --help)");
        } else if (path.empty()) {
            path = a;
        } else {
            return fail("demo takes one output file");
        }
    }
    if (path.empty()) return fail("demo needs an output file (see vantacheck-cli demo --help)");
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, options);
    std::string message, reason;
    if (!writeTestFile(path, *test, &message, &reason)) return fail(path + ": " + message + (message == kMsgFileSaveError ? "\n" + reason : ""));
    std::cout << "Wrote " << path << ": " << test->repetitionCount << " repetitions\n";
    return 0;
}

}  // namespace

const std::vector<Command>& fileCommands() {
    static const std::vector<Command> commands = {
        {"analyse", "analyse FILE.kvq [--json]   the report of every repetition",
         "Usage: vantacheck-cli analyse FILE.kvq [--json]\n"
         "Reads a test file, analyses every repetition and prints the subject, the date and\n"
         "the report rows of each repetition. --json prints one JSON object instead; its\n"
         "numbers read back as exactly the station's single-precision values.\n",
         runAnalyse},
        {"series", "series FILE.kvq --repetition N   per-sample curves as CSV",
         "Usage: vantacheck-cli series FILE.kvq --repetition N\n"
         "Prints one CSV row per sample of repetition N (1 is the first, as on the station's\n"
         "screens): sample, angular velocity (deg/s), position (deg), linear velocity (cm/s),\n"
         "linear acceleration (m/s2), force (N), power (W), torque (N.m).\n",
         runSeries},
        {"summary", "summary FILE.kvq...   one CSV row per repetition across files",
         "Usage: vantacheck-cli summary FILE.kvq...\n"
         "Prints one CSV row per repetition of every file: file, name, test time (ISO 8601,\n"
         "UTC), repetition number, load, radius, samples, then the mean rows of the report\n"
         "(total, acceleration and deceleration phase) and the peak rows. A file that cannot\n"
         "be read is reported on standard error; the others are still listed (exit status 2).\n"
         "Files are read side by side, one per processor core; the rows keep the order of the\n"
         "files named.\n",
         runSummary},
        {"export", "export FILE.kvq --repetition N --output OUT.xml|-   the report as a spreadsheet",
         "Usage: vantacheck-cli export FILE.kvq --repetition N --output OUT.xml\n"
         "Writes the digital report of repetition N (1 is the first, as in the repetition box)\n"
         "as the spreadsheet file that \"Export xml\" writes for it, byte for byte: XML\n"
         "Spreadsheet 2003 with the name, date and time (local time) and the repetition number\n"
         "above the table. --output - writes it to standard output.\n",
         runExport},
        {"demo", "demo OUT.kvq [--repetitions N] [--samples N] [--seed S] [--load KG] [--direction D]   write a synthetic test",
         "Usage: vantacheck-cli demo OUT.kvq [--repetitions N] [--samples N] [--seed S] [--load KG] [--direction D]\n"
         "Writes a test of synthetic strokes: standing still, a wind-up to one side, the\n"
         "reversal and a stroke through to the other side, cut as the station cuts them.\n"
         "  --repetitions N  0..100 repetitions (default 3)\n"
         "  --samples N      samples per repetition, 1..60000 (default: each stroke's own)\n"
         "  --seed S         the same seed writes the same file (default 1)\n"
         "  --load KG        the load on the bar, 0..1000 kg (default 5); a heavier bar is\n"
         "                   moved more slowly (peak velocity in proportion to 40 kg - load)\n"
         "  --direction D    every stroke in direction 1 (right) or -1 (left); by default the\n"
         "                   sides alternate, starting with -1\n",
         runDemo},
    };
    return commands;
}

}  // namespace vanta::cli
