#include "cli/station_folders.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

namespace vanta::cli {

StationPaths stationFolders() {
    // The kernel's path of this program: argv[0] may be a bare name found on the PATH.
    std::string self(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", self.data(), self.size());
    self.resize(n > 0 && static_cast<size_t>(n) < self.size() ? static_cast<size_t>(n) : 0);
    if (self.empty()) self = "./vantacheck-cli";
    return stationPathsForTool(self, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
}

}  // namespace vanta::cli
