// What every vantacheck program on the command line shares: the overview, --help, the
// choice of the command and the station's way of reporting an error.
#include "cli/command_line.h"

#include <cerrno>
#include <cstdlib>
#include <iostream>

namespace vanta::cli {

int fail(const std::string& message) {
    std::cerr << message << "\n";
    return 2;
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
