#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cstdint>
#include <iostream>
#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "cli/cli_output.h"
#include "cli/commands.h"
#include "archive/local_index.h"
#include "archive/sha256.h"
#include "archive/subject_ids.h"
#include "cli/station_folders.h"
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

struct AnalyseOptions {
    std::string path;
    bool json = false;
};

int runAnalyse(const AnalyseOptions& options) {
    std::string message;
    auto test = openTest(options.path, message);
    if (!test) return fail(options.path + ": " + message);
    return writeOut(options.json ? analysisJson(*test) : analysisText(*test));
}

struct SeriesOptions {
    std::string path;
    long long repetition = -1;
};

int runSeries(const SeriesOptions& options) {
    const std::string& path = options.path;
    const long long repetition = options.repetition;
    std::string message;
    auto test = openTest(path, message, SampleStorage::Keep);
    if (!test) return fail(path + ": " + message);
    if (repetition > test->repetitionCount)
        return fail(path + " holds " + std::to_string(test->repetitionCount) + " repetitions, not " +
                    std::to_string(repetition));
    return writeOut(seriesCsv(*test, static_cast<int>(repetition - 1)));
}

struct SummaryOptions {
    std::vector<std::string> files;
    bool swapSides = false;
    bool noIndex = false;
    std::string data;
    ResultColumns columns = ResultColumns::Report;
    bool columnsGiven = false;
};

// What the station's archive knows of a test file beyond its bytes: the subject's id and
// how the recording station named the sides.
struct KnownFacts {
    std::string subjectId;
    std::optional<bool> sidesSwapped;  // unknown: the reader's --swap-sides
    std::optional<int32_t> utcOffset;  // the recording station's clock; unknown: this computer's
};

// Whether `data` holds an index summary should read: false with the reason when there is
// one it cannot read (a folder or file it may not read, a damaged or foreign file); no
// index at all is no index to read.
bool indexReadable(const std::string& data, bool& present, std::string& message) {
    const std::filesystem::path file = std::filesystem::path(data) / archive::LocalIndex::kFileName;
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    present = false;
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory) {
        message = "Cannot read the test index " + file.string() + ": " + ec.message() +
                  " (summary --no-index reads the files alone).";
        return false;
    }
    if (!std::filesystem::exists(status)) return true;
    present = true;
    archive::LocalIndex index;
    if (index.open(data, archive::Access::ReadOnly)) return true;
    message = index.lastMessage() + " (summary --no-index reads the files alone).";
    return false;
}

// What the station's archive knows of a test file: the index's facts for the same bytes
// (wherever the file lies now), else the register's subject (the subject whose folder holds
// the file, or the one subject of exactly its name). One per reading thread, as SQLite's
// connections are; it only reads, and a folder without an index or a register gives none.
class KnownTests {
public:
    KnownTests(const std::string& data, bool useIndex) : register_(data) {
        indexed_ = useIndex && index_.open(data, archive::Access::ReadOnly);
        if (useIndex && !indexed_) message_ = index_.lastMessage();
    }
    // The index was there and could be read when summary began, and no longer can.
    const std::string& message() const { return message_; }

    KnownFacts of(const std::string& sha256, const std::string& path, const std::string& subject) {
        archive::IndexedTest known;
        std::vector<std::string> paths;
        KnownFacts facts;
        if (indexed_ && !sha256.empty() && index_.pathsOf(sha256, paths) && !paths.empty() &&
            index_.testAt(paths.front(), known)) {
            facts.subjectId = known.subjectId;
            facts.sidesSwapped = known.sidesSwapped;
            facts.utcOffset = known.utcOffset;
            if (!facts.subjectId.empty()) return facts;
        }
        known = {};
        std::error_code ec;
        known.path = std::filesystem::absolute(path, ec).lexically_normal().string();
        known.subject = subject;
        facts.subjectId = register_.of(known);
        return facts;
    }

private:
    archive::LocalIndex index_;
    archive::SubjectIds register_;
    bool indexed_ = false;
    std::string message_;
};

// The test's identity for the study columns: the SHA-256 of the file's bytes, as the lab's
// archive names the same test. Empty when the file cannot be read again.
std::string fileSha256(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    std::string hex;
    int64_t size = 0;
    const bool ok = archive::sha256OfFile(fd, hex, size);
    ::close(fd);
    return ok ? hex : std::string();
}

int runSummary(const SummaryOptions& options) {
    const std::vector<std::string>& args = options.files;
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
    const std::string data = options.data.empty() ? stationFolders().subjectLibraryDirectory : options.data;
    // The index says how each test's station named the sides; rows without it would name
    // them by this reader's setting, unlike archive list: an index that is there but cannot
    // be read stops summary, unless --no-index asks for the files alone.
    bool useIndex = false;
    if (!options.noIndex) {
        std::string message;
        if (!indexReadable(data, useIndex, message)) return fail(message);
    }
    std::vector<std::unique_ptr<KnownTests>> known(fileThreads);
    forEachSideBySide(files, fileThreads, [&](int i, unsigned worker) {
        const std::string& path = args[static_cast<size_t>(i)];
        // Each file starts from a clean record: repetitions of one file never show up in
        // the rows of the next.
        auto test = std::make_unique<TestRecord>();
        std::string message;
        Outcome& outcome = outcomes[static_cast<size_t>(i)];
        if (readTestFile(path, *test, &message, SampleStorage::Discard, repetitionThreads)) {
            StudyColumns study = studyColumnsOf(*test);
            study.sha256 = fileSha256(path);
            std::unique_ptr<KnownTests>& facts = known[worker];
            if (!facts) facts = std::make_unique<KnownTests>(data, useIndex);
            if (!facts->message().empty()) {
                outcome.error = facts->message();
                return;
            }
            const KnownFacts f = facts->of(study.sha256, path, test->subject.name);
            study.subjectId = f.subjectId;
            study.sidesSwapped = f.sidesSwapped.value_or(options.swapSides);
            study.utcOffset = f.utcOffset;
            outcome.rows = summaryRows(*test, path, study, options.columns);
        } else {
            outcome.error = path + ": " + message;
        }
    });
    std::string out = summaryHeader(options.columns);
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

struct ExportOptions {
    std::string path;
    std::string output;
    long long repetition = -1;
};

int runExport(const ExportOptions& options) {
    const std::string& path = options.path;
    const std::string& output = options.output;
    const long long repetition = options.repetition;
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

struct DemoCommandOptions {
    std::string path;
    DemoOptions demo;
    bool overwrite = false;
    std::string skippedTime;  // a --time the clock skips (clocks going forward), as typed
};

int runDemo(const DemoCommandOptions& options) {
    const std::string& path = options.path;
    if (!options.skippedTime.empty())
        return fail("--time " + options.skippedTime +
                    " does not exist on this station's clock: it is skipped when the clocks go forward "
                    "(daylight saving time)");
    std::error_code ec;
    if (!options.overwrite && std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found)
        return fail(path + " exists; demo replaces a file only with --overwrite");
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, options.demo);
    std::string message, reason;
    if (!writeTestFile(path, *test, &message, &reason)) return fail(path + ": " + message + (message == kMsgFileSaveError ? "\n" + reason : ""));
    return writeOut("Wrote " + path + ": " + std::to_string(test->repetitionCount) + " repetitions\n");
}

// A load in kg from 0 to 1000, the point as separator.
bool parseLoad(const std::string& text, float& load) {
    char* end = nullptr;
    const double kg = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(kg >= 0.0 && kg <= 1000.0)) return false;
    load = static_cast<float>(kg);
    return true;
}

// "YYYY-MM-DDTHH:MM" as the station's clock reads it (local time, as the window stamps a
// test it records) into seconds since 1970 UTC. A day that does not exist (31 February) is
// refused, and so is the hour skipped when clocks go forward, with *skipped set: it is not
// moved on. The test file holds the time in 32 bits, so 2038 and later are refused too.
bool parseTestTime(const std::string& text, int32_t& seconds, bool* skipped = nullptr) {
    if (skipped) *skipped = false;
    if (text.size() != 16 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':') return false;
    long long y = 0, mo = 0, d = 0, h = 0, mi = 0;
    if (!parseInteger(text.substr(0, 4), 1971, 2037, y) || !parseInteger(text.substr(5, 2), 1, 12, mo) ||
        !parseInteger(text.substr(8, 2), 1, 31, d) || !parseInteger(text.substr(11, 2), 0, 23, h) ||
        !parseInteger(text.substr(14, 2), 0, 59, mi))
        return false;
    std::tm t{};
    t.tm_year = static_cast<int>(y) - 1900;
    t.tm_mon = static_cast<int>(mo) - 1;
    t.tm_mday = static_cast<int>(d);
    t.tm_hour = static_cast<int>(h);
    t.tm_min = static_cast<int>(mi);
    t.tm_isdst = -1;
    const std::time_t at = std::mktime(&t);
    if (at == static_cast<std::time_t>(-1) || t.tm_mday != d || t.tm_mon != mo - 1 || at <= 0 || at > INT32_MAX)
        return false;
    if (t.tm_hour != h || t.tm_min != mi) {
        // The day exists but not this time of it: the clocks jumped over it.
        if (skipped) *skipped = true;
        return false;
    }
    seconds = static_cast<int32_t>(at);
    return true;
}

void addAnalyseCommand(CommandLine& line) {
    auto analyse = std::make_shared<AnalyseOptions>();
    line.add("analyse", "the report of every repetition",
             "Reads a test file, analyses every repetition and prints the subject, the date and\n"
             "the report rows of each repetition.\n")
        .file("FILE.kvq", analyse->path, "the test file").required()
        .flag("--json", analyse->json,
              "one JSON object instead; its numbers read back as exactly the station's\n"
              "single-precision values")
        .incomplete("analyse needs a test file (see vantacheck-cli analyse --help)")
        .tooMany("analyse takes one file")
        .runs([analyse] { return runAnalyse(*analyse); });
}

void addSeriesCommand(CommandLine& line) {
    const std::string repetitionNeeds = "--repetition needs a repetition number from 1 to 100";
    auto series = std::make_shared<SeriesOptions>();
    line.add("series", "per-sample curves as CSV",
             "Prints one CSV row per sample of repetition N (1 is the first, as on the station's\n"
             "screens): sample, angular velocity (deg/s), position (deg), linear velocity (cm/s),\n"
             "linear acceleration (m/s2), force (N), power (W), torque (N.m).\n")
        .file("FILE.kvq", series->path, "the test file").required()
        .integer("--repetition", series->repetition, 1, kMaxRepetitions, "N", "the repetition, 1..100 (1 is the first)", repetitionNeeds).required()
        .incomplete("series needs a test file and --repetition N")
        .tooMany("series takes one file")
        .runs([series] { return runSeries(*series); });
}

void addSummaryCommand(CommandLine& line) {
    auto summary = std::make_shared<SummaryOptions>();
    line.add("summary", "one CSV row per repetition across files",
             "Prints one CSV row per repetition of every file: file, name, test time (ISO 8601,\n"
             "UTC), repetition number, load, radius, samples, then the mean rows of the report\n"
             "(total, acceleration and deceleration phase) and the peak rows, then what a study\n"
             "needs: sha256 (the file's, as the lab's archive names the test), subject_id (the\n"
             "id the station's index holds for the same bytes, else its register's subject whose\n"
             "folder holds the file or the one subject of its name; empty when neither knows),\n"
             "station (empty: a file does not hold it; archive list --csv --url gives it), side (left\n"
             "or right, as the station that indexed the test named them, as archive list does),\n"
             "body_mass_kg, sex and height_cm as the file holds the subject, and\n"
             "test_time_local (ISO 8601 in local time with its UTC offset). A file that cannot\n"
             "be read is reported on standard error; the others are still listed (exit status 2).\n"
             "Files are read side by side, one per processor core; the rows keep the order of the\n"
             "files named.\n")
        .files("FILE.kvq", summary->files, "the test files").required()
        .flag("--swap-sides", summary->swapSides,
              "direction +1 is the left side: a box mounted the other way round,\n"
              "as the station's setting (and history --swap-sides), for the tests\n"
              "whose station's setting the index does not know")
        .value("--columns", "report|view",
               "the result columns: report (default: the report's means and whole-stroke\n"
               "peaks under the report's names, as scripts have always read them) or view\n"
               "(all 30 results under the lab view's names, for a statistics package)",
               "--columns needs report or view",
               [summary](const std::string& t) {
                   if (t != "report" && t != "view") return false;
                   summary->columns = t == "view" ? ResultColumns::View : ResultColumns::Report;
                   summary->columnsGiven = true;
                   return true;
               })
        .flag("--no-index", summary->noIndex,
              "read the files alone: no subject ids or sides from the index (an\n"
              "index that cannot be read otherwise stops summary, exit status 2)")
        .text("--data", summary->data, "DIR",
              "the station's data folder whose index and register give the subject\n"
              "ids (default: the station's own)",
              "--data needs a folder")
        .incomplete("summary needs one or more test files")
        .runs([summary] { return runSummary(*summary); });
}

void addExportCommand(CommandLine& line) {
    const std::string repetitionNeeds = "--repetition needs a repetition number from 1 to 100";
    auto exported = std::make_shared<ExportOptions>();
    line.add("export", "the report as a spreadsheet",
             "Writes the digital report of repetition N (1 is the first, as in the repetition box)\n"
             "as the spreadsheet file that \"Export xml\" writes for it, byte for byte: XML\n"
             "Spreadsheet 2003 with the name, date and time (local time) and the repetition number\n"
             "above the table.\n")
        .file("FILE.kvq", exported->path, "the test file").required()
        .integer("--repetition", exported->repetition, 1, kMaxRepetitions, "N", "the repetition, 1..100 (1 is the first)", repetitionNeeds).required()
        .text("--output", exported->output, "OUT.xml", "the spreadsheet file; - writes it to standard output",
              "--output needs a file name, or - for standard output").required()
        .incomplete("export needs a test file, --repetition N and --output OUT.xml (see vantacheck-cli export --help)")
        .tooMany("export takes one file")
        .runs([exported] { return runExport(*exported); });
}

// A table more than a routine: one declaration per option, each with its own refusal,
// read top to bottom like the help it makes.
void addDemoCommand(CommandLine& line) {
    auto demo = std::make_shared<DemoCommandOptions>();
    line.add("demo", "write a synthetic test",
             "Writes a test of synthetic strokes: standing still, a wind-up to one side, the\n"
             "reversal and a stroke through to the other side, cut as the station cuts them.\n"
             "The attempts of one file are one athlete on one day: at one load their peak powers\n"
             "differ by about 5 to 10 % from the lowest to the highest (typically; under 20 %\n"
             "always), so SEM and MDC95 over demo sessions are those of a trained athlete.\n")
        .file("OUT.kvq", demo->path, "the test file to write").required()
        .value("--repetitions", "N", "0..100 repetitions (default 3)", "--repetitions needs a whole number from 0 to 100",
               [demo](const std::string& t) {
                   long long v = 0;
                   if (!parseInteger(t, 0, kMaxRepetitions, v)) return false;
                   demo->demo.repetitions = static_cast<int>(v);
                   return true;
               })
        .value("--samples", "N", "samples per repetition, 1..60000 (default: each stroke's own)",
               "--samples needs a whole number from 1 to 60000",
               [demo](const std::string& t) {
                   long long v = 0;
                   if (!parseInteger(t, 1, kMaxSamples, v)) return false;
                   demo->demo.samples = static_cast<int>(v);
                   return true;
               })
        .value("--seed", "S", "the same seed writes the same file (default 1)",
               "--seed needs a whole number from 0 to 4294967295",
               [demo](const std::string& t) {
                   long long v = 0;
                   if (!parseInteger(t, 0, 4294967295LL, v)) return false;
                   demo->demo.seed = static_cast<uint64_t>(v);
                   return true;
               })
        .value("--load", "KG",
               "the load on the bar, 0..1000 kg (default 5); a heavier bar is\n"
               "moved more slowly (peak velocity in proportion to 40 kg - load)",
               "--load needs a load in kg from 0 to 1000",
               [demo](const std::string& t) { return parseLoad(t, demo->demo.load); })
        .value("--direction", "D",
               "every stroke in direction 1 (right) or -1 (left); by default the\n"
               "sides alternate, starting with -1",
               "--direction needs 1 (right) or -1 (left)",
               [demo](const std::string& t) {
                   long long v = 0;
                   if (!parseInteger(t, -1, 1, v) || v == 0) return false;
                   demo->demo.direction = static_cast<int>(v);
                   return true;
               })
        .value("--subject", "NAME", "the subject's name in the test (default \"Demo Subject\")",
               "--subject needs a name",
               [demo](const std::string& t) {
                   if (t.find_first_not_of(" \t") == std::string::npos) return false;
                   demo->demo.subjectName = t;
                   return true;
               })
        .value("--time", "YYYY-MM-DDTHH:MM",
               "the test time on the station's clock (local time, as the window\n"
               "stamps a test); default a fixed day of the seed",
               "--time needs a local time YYYY-MM-DDTHH:MM from 1971 to 2037",
               [demo](const std::string& t) {
                   bool skipped = false;
                   if (parseTestTime(t, demo->demo.testTime, &skipped)) return true;
                   if (skipped) demo->skippedTime = t;  // refused with its own reason
                   return skipped;
               })
        .flag("--overwrite", demo->overwrite, "replace OUT.kvq when it exists (without it, demo refuses)")
        .value("--sex", "male|female", "the subject's sex (default male)", "--sex needs male or female",
               [demo](const std::string& t) {
                   if (t != "male" && t != "female") return false;
                   demo->demo.sex = t == "male" ? 1 : 0;
                   return true;
               })
        .value("--height", "CM", "the subject's height, 1..300 cm (default 180)",
               "--height needs a whole number of cm from 1 to 300",
               [demo](const std::string& t) {
                   long long v = 0;
                   if (!parseInteger(t, 1, 300, v)) return false;
                   demo->demo.height = static_cast<int>(v);
                   return true;
               })
        .value("--weight", "KG", "the subject's body mass, 1..200 kg (default 80)",
               "--weight needs a whole number of kg from 1 to 200",
               [demo](const std::string& t) {
                   long long v = 0;
                   if (!parseInteger(t, 1, 200, v)) return false;
                   demo->demo.weight = static_cast<int>(v);
                   return true;
               })
        .value("--form", "PERCENT",
               "the athlete's form against the seed's own, -50..100 % of stroke\n"
               "speed (default 0): raise it session after session to rehearse a\n"
               "training effect",
               "--form needs a percentage from -50 to 100",
               [demo](const std::string& t) {
                   char* end = nullptr;
                   const double v = std::strtod(t.c_str(), &end);
                   if (t.empty() || *end != '\0' || !(v >= -50.0 && v <= 100.0)) return false;
                   demo->demo.formPercent = v;
                   return true;
               })
        .incomplete("demo needs an output file (see vantacheck-cli demo --help)")
        .tooMany("demo takes one output file")
        .runs([demo] { return runDemo(*demo); });
}

}  // namespace

void addFileCommands(CommandLine& line) {
    addAnalyseCommand(line);
    addSeriesCommand(line);
    addSummaryCommand(line);
    addExportCommand(line);
    addDemoCommand(line);
}

}  // namespace vanta::cli
