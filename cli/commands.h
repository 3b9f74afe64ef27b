// The commands of vantacheck-cli. Each declares its words on the command line (an options
// struct filled by CLI11, cli/command_line.h) and has a body of its own that takes that
// struct and returns the exit status: 0 done, 1 a negative answer (where a command has
// one), 2 an error, reported on standard error with the station's message.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_types.h"
#include "cli/command_line.h"
#include "cli/subject_tests.h"
#include "reports/page_header.h"
#include "storage/settings_file.h"

namespace vanta {
struct Profile;
struct History;
}

namespace vanta::cli {

// The commands on test files (analyse, series, summary, export, demo).
void addFileCommands(CommandLine& line);

// The commands for a sensor box in the lab (probe, monitor).
void addDeviceCommands(CommandLine& line);

// record: a session of attempts on the sensor box, without a window.
void addRecordCommand(CommandLine& line);

// recover: the tests left in session journals.
void addRecoverCommand(CommandLine& line);

// archive: the station's index of its tests and the lab's shared archive (index, list,
// sync, fetch).
void addArchiveCommand(CommandLine& line);

// subjects: the lab's subjects with their ids (list) and two ids made one (merge).
void addSubjectsCommand(CommandLine& line);

// site: the coach's static report site from the lab's archive or a station's index.
void addSiteCommand(CommandLine& line);

// report: the printed report as a PDF file. It is drawn with Qt: vantacheck-cli declares it
// with a body that hands it over, vantacheck-serial-and-pdf with the one that draws.
struct ReportOptions {
    std::string path;
    std::string pdf;
    long long repetition = 0;  // 1-based, as on the station's screens
    std::string kind;
    // The station's default choice of quantities on the curve graph's two axes.
    long long y1 = GraphSettings{}.graphY1Quantity;
    long long y2 = GraphSettings{}.graphY2Quantity;
};
void addReportCommand(CommandLine& line, int (*run)(const ReportOptions& options));

// Where the Qt parts are missing (vantacheck-cli), the body that hands the whole command
// over to the program that has them; none in a build without Qt.
using HandOver = int (*)();

// profile: the load-power profile of one or more tests. The page is drawn with Qt, so
// vantacheck-cli passes no writer and hands a --pdf over; the Qt program passes its writer.
using ProfilePdfWriter = bool (*)(const std::string& path, const Profile& profile, const PageHeaderTexts& header,
                                  std::string* message);
struct ProfileOptions {
    std::vector<std::string> files;
    // Instead of files: one subject's indexed tests (as history finds them), in the days
    // from..to where given, from the index of `data` or the lab's archive at `url`.
    SubjectTestsQuery subjectTests;
    bool json = false;
    bool swapSides = false;
    bool subjectsMayDiffer = false;  // test files of different subjects taken together
    std::string pdf;
    bool overwrite = false;
};
void addProfileCommand(CommandLine& line, ProfilePdfWriter writePdf, HandOver handOver);
int runProfile(const ProfileOptions& options, ProfilePdfWriter writePdf, HandOver handOver);
// The page header of a profile: the first test's name and date, and the number of tests.
PageHeaderTexts profilePageHeader(const TestRecord& first, int tests);
PageHeaderTexts profilePageHeader(const std::string& name, int64_t testTime, int tests);

// history: one subject's tests over time from the station's index, the changes judged
// against the subject's own measurement error; --pdf as profile's.
using HistoryPdfWriter = bool (*)(const std::string& path, const History& history, std::string* message);
struct HistoryOptions {
    SubjectTestsQuery subjectTests;  // whose tests, from the index or the lab's archive (url)
    bool json = false;
    bool swapSides = false;
    std::string pdf;
    bool overwrite = false;
};
void addHistoryCommand(CommandLine& line, HistoryPdfWriter writePdf, HandOver handOver);
int runHistory(const HistoryOptions& options, HistoryPdfWriter writePdf, HandOver handOver);

// report, profile and history with the Qt parts that draw their pages: only in
// vantacheck-serial-and-pdf.
void addQtCommands(CommandLine& line);

// Reports an error the station's way: the message on standard error, exit status 2.
int fail(const std::string& message);

// Writes all of `text` to standard output and flushes it: 0, or 2 with "Cannot write the
// output" and the system's reason on standard error (a full disk, a closed pipe). Every
// command's output goes through it.
int writeStandardOutput(std::string_view text);

// `output` names the file `input` is (the same file, through a link too): writing one
// would destroy the other.
bool isSameFile(const std::string& input, const std::string& output);

// Parses a whole decimal number in [min, max]; false for anything else ("7x", "", "1e3").
bool parseInteger(const std::string& text, long long min, long long max, long long& value);

}  // namespace vanta::cli
