#include "archive/archive_url.h"

#include <unistd.h>

#include <fstream>

namespace vanta::archive {

std::string archiveUrlFile(const std::string& dataDirectory) {
    return dataDirectory + "/" + kArchiveUrlFileName;
}

std::string readArchiveUrlFile(const std::string& dataDirectory) {
    std::ifstream in(archiveUrlFile(dataDirectory));
    std::string line;
    while (std::getline(in, line)) {
        const size_t b = line.find_first_not_of(" \t\r");
        if (b == std::string::npos || line[b] == '#') continue;
        const size_t e = line.find_last_not_of(" \t\r");
        return line.substr(b, e - b + 1);
    }
    return "";
}

std::string configuredArchiveUrl(const std::string& dataDirectory, const char* environment) {
    if (environment && *environment) return environment;
    return readArchiveUrlFile(dataDirectory);
}

std::string stationName(const char* environment) {
    if (environment && *environment) return environment;
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) != 0) return "";
    return host;
}

}  // namespace vanta::archive
