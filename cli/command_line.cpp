// What every vantacheck program on the command line shares: the overview, --help, the
// choice of the command and the station's way of reporting an error.
#include "cli/command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace vanta::cli {

int fail(const std::string& message) {
    std::cerr << message << "\n";
    return 2;
}

int writeStandardOutput(std::string_view text) {
    // Each step can fail on its own: fwrite hands a large text straight to the system, so
    // the flush afterwards may find nothing left to fail on, and the error flag stays.
    errno = 0;
    const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
    const int writeError = errno;
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int flushError = errno;
    if (written && flushed && !std::ferror(stdout)) return 0;
    const int error = writeError ? writeError : flushError ? flushError : EIO;
    return fail(std::string("Cannot write the output: ") + std::strerror(error));
}

bool isSameFile(const std::string& input, const std::string& output) {
    struct stat a {}, b {};
    return ::stat(input.c_str(), &a) == 0 && ::stat(output.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool wantsHelp(const Args& args) {
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

bool parseInteger(const std::string& text, long long min, long long max, long long& value) {
    if (text.empty()) return false;
    size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return false;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9') return false;
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || v < min || v > max) return false;
    value = v;
    return true;
}

int runCommandLine(const std::vector<Command>& commands, int argc, char** argv) {
    // A standard stream started closed ("2>&-") would hand its number to the next file
    // opened, and the messages meant for it would land in a test file being saved.
    // Taken in order, the lowest free number is the closed stream's own.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) (void)::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    auto overview = [&](std::ostream& out) {
        out << "Usage: vantacheck-cli COMMAND [ARGS]   (vantacheck-cli COMMAND --help for more)\n\nCommands:\n";
        for (const Command& c : commands) out << "  " << c.synopsis << "\n";
    };
    if (argc < 2) {
        overview(std::cerr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        overview(std::cout);
        return 0;
    }
    Args args(argv + 2, argv + argc);
    for (const Command& c : commands) {
        if (name != c.name) continue;
        if (wantsHelp(args)) {
            std::cout << c.help;
            return 0;
        }
        return c.run(args);
    }
    std::cerr << "Unknown command " << name << "\n";
    overview(std::cerr);
    return 2;
}

}  // namespace vanta::cli
