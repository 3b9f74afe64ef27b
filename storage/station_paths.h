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

// Creates the directory if it is missing (one level, as the station always has);
// true when it exists afterwards.
bool ensureDirectory(const std::string& directory);

}  // namespace vanta
