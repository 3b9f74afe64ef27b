#include "storage/station_paths.h"

#include <sys/stat.h>

namespace vanta {

namespace {
std::string parentOf(const std::string& dir) {
    const size_t cut = dir.find_last_of('/');
    if (cut == std::string::npos || cut == 0) return std::string();  // reached the root
    return dir.substr(0, cut);
}
}  // namespace

StationPaths pathsInDirectory(const std::string& directory) {
    StationPaths p;
    p.programDirectory = directory;
    while (p.programDirectory.size() > 1 && p.programDirectory.back() == '/') p.programDirectory.pop_back();
    const std::string withSeparator = p.programDirectory == "/" ? "/" : p.programDirectory + "/";
    p.settingsPath = withSeparator + "vantacheck.cfg";
    p.dataDirectory = withSeparator + "DATA";
    // The subject register lives two levels above the program; with fewer levels to
    // remove it lands at the root.
    p.subjectLibraryDirectory = parentOf(parentOf(p.programDirectory)) + "/DATA";
    return p;
}

StationPaths pathsForProgram(const std::string& programFile) {
    const size_t cut = programFile.find_last_of('/');
    if (cut == std::string::npos) return pathsInDirectory(".");
    return pathsInDirectory(cut == 0 ? "/" : programFile.substr(0, cut));
}

bool ensureDirectory(const std::string& directory) {
    struct stat st {};
    if (::stat(directory.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return ::mkdir(directory.c_str(), 0777) == 0;
}

}  // namespace vanta
