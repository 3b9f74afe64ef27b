// The command line of vantacheck-cli, shared with vantacheck-serial-and-pdf, which runs
// its commands that need Qt.
#pragma once

#include <vector>

#include "cli/commands.h"

namespace vanta::cli {

// The overview without a command or with --help (exit status 0, or 2 without a command),
// a command's own --help, or the command itself; an unknown one is an error (2).
int runCommandLine(const std::vector<Command>& commands, int argc, char** argv);

}  // namespace vanta::cli
