// The sub-commands of vantacheck-cli. Each takes the words after its name and returns
// the exit status: 0 done, 1 a negative answer (where a command has one), 2 an error,
// reported on standard error with the station's message.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "reports/page_header.h"

namespace vanta {
struct Profile;
}

namespace vanta::cli {

using Args = std::vector<std::string>;

struct Command {
    const char* name;
    const char* synopsis;  // one line for the overview
    const char* help;      // the whole --help text
    int (*run)(const Args& args);
};

// The commands on test files (analyse, series, summary, export, demo).
const std::vector<Command>& fileCommands();

// The commands for a sensor box in the lab (probe, monitor).
const std::vector<Command>& deviceCommands();

// The printed report as a PDF file (report): drawn with Qt, so only in
// vantacheck-serial-and-pdf.
const std::vector<Command>& reportCommands();

// report's name, overview line and help, which vantacheck-cli shows without Qt, with the
// routine that runs it.
Command reportCommand(int (*run)(const Args& args));

// record: a session of attempts on the sensor box, without a window.
const std::vector<Command>& recordCommands();

// recover: the tests left in session journals.
const std::vector<Command>& recoverCommands();

// profile: the load-power profile of one or more tests. The page is drawn with Qt, so
// vantacheck-cli passes no writer and hands a --pdf over (handOver); the Qt program
// passes its writer.
using ProfilePdfWriter = bool (*)(const std::string& path, const Profile& profile, const PageHeaderTexts& header,
                                  std::string* message);
int runProfile(const Args& args, ProfilePdfWriter writePdf, int (*handOver)(const Args&));
Command profileCommand(int (*run)(const Args& args));
// The page header of a profile: the first test's name and date, and the number of tests.
PageHeaderTexts profilePageHeader(const TestRecord& first, int tests);

// archive: the station's index of its tests (index, list).
const std::vector<Command>& archiveCommands();

// Reports an error the station's way: the message on standard error, exit status 2.
int fail(const std::string& message);

bool wantsHelp(const Args& args);

// Writes all of `text` to standard output and flushes it: 0, or 2 with "Cannot write the
// output" and the system's reason on standard error (a full disk, a closed pipe).
int writeStandardOutput(std::string_view text);

// `output` names the file `input` is (the same file, through a link too): writing one
// would destroy the other.
bool isSameFile(const std::string& input, const std::string& output);

// Parses a whole decimal number in [min, max]; false for anything else ("7x", "", "1e3").
bool parseInteger(const std::string& text, long long min, long long max, long long& value);

}  // namespace vanta::cli
