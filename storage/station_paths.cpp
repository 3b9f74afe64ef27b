#include "storage/station_paths.h"

#include <sys/stat.h>
#include <unistd.h>

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

std::string userDataFolder(const char* xdgDataHome, const char* home) {
    if (xdgDataHome && xdgDataHome[0] == '/') {
        std::string base = xdgDataHome;
        while (base.size() > 1 && base.back() == '/') base.pop_back();
        return (base == "/" ? "" : base) + "/vantacheck";
    }
    std::string h = home && home[0] ? home : "";
    while (h.size() > 1 && h.back() == '/') h.pop_back();
    return (h == "/" ? "" : h) + "/.local/share/vantacheck";
}

bool runsInstalled(const std::string& programDirectory) {
    if (programDirectory == "/usr" || programDirectory.rfind("/usr/", 0) == 0) return true;
    return ::access(programDirectory.c_str(), W_OK) != 0;
}

namespace {
StationPaths inUserFolder(const char* xdgDataHome, const char* home) {
    StationPaths user = pathsInDirectory(userDataFolder(xdgDataHome, home));
    // Two levels above the user's folder is no place for the subject register: it keeps
    // its directories in the user's DATA as well.
    user.subjectLibraryDirectory = user.dataDirectory;
    return user;
}

bool isProgram(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

StationPaths stationPaths(const std::string& programFile, const char* xdgDataHome, const char* home) {
    StationPaths beside = pathsForProgram(programFile);
    if (!runsInstalled(beside.programDirectory)) return beside;
    return inUserFolder(xdgDataHome, home);
}

StationPaths stationPathsForTool(const std::string& cliProgramFile, const char* xdgDataHome, const char* home) {
    const StationPaths own = pathsForProgram(cliProgramFile);
    if (runsInstalled(own.programDirectory)) return inUserFolder(xdgDataHome, home);
    if (isProgram(own.programDirectory + "/vantacheck")) return own;
    const std::string parent = parentOf(own.programDirectory);
    if (!parent.empty() && isProgram(parent + "/app/vantacheck")) {
        return stationPaths(parent + "/app/vantacheck", xdgDataHome, home);
    }
    return own;
}

bool ensureDirectory(const std::string& directory) {
    struct stat st {};
    if (::stat(directory.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    return ::mkdir(directory.c_str(), 0777) == 0;
}

}  // namespace vanta
