// Where the station keeps its files, derived once at start-up from the program's own
// location: the settings file and the DATA directory lie beside the program.
#pragma once

#include <string>

namespace vanta {

struct StationPaths {
    std::string programDirectory;         // without a trailing separator
    std::string settingsPath;             // <program directory>/vantacheck.cfg
    std::string dataDirectory;            // <program directory>/DATA
    std::string subjectLibraryDirectory;  // the program directory two levels up, + /DATA
};

// `programFile` is the full path of the program file.
StationPaths pathsForProgram(const std::string& programFile);

// The same names below another directory, for a station whose program directory cannot
// be written (an installed package keeps its settings and tests in the user's folder).
StationPaths pathsInDirectory(const std::string& directory);

// The user's own folder of an installed station: $XDG_DATA_HOME/vantacheck, or
// HOME/.local/share/vantacheck when XDG_DATA_HOME is unset, empty or not absolute (as the
// XDG base directory rules say). Either argument may be null.
std::string userDataFolder(const char* xdgDataHome, const char* home);

// Whether a station in this program directory runs from an installed package: its program
// lies below /usr, where even root must not keep tests, or its folder cannot be written.
bool runsInstalled(const std::string& programDirectory);

// Where the station started from `programFile` keeps its files: beside the program in a
// build folder, in userDataFolder() when installed (the register then in its DATA too).
StationPaths stationPaths(const std::string& programFile, const char* xdgDataHome, const char* home);

// The same for the command-line tool, which finds the station's folders without being the
// station: installed, the user's folder; in a build tree, the folder of the station program
// beside it (`app/` next to `cli/`); else its own folder. `cliProgramFile` is the tool's own
// path (/proc/self/exe).
StationPaths stationPathsForTool(const std::string& cliProgramFile, const char* xdgDataHome, const char* home);

// Creates the directory if it is missing (one level, as the station always has);
// true when it exists afterwards.
bool ensureDirectory(const std::string& directory);

}  // namespace vanta
