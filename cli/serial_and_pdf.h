// vantacheck-cli starts without Qt: loading and relocating Qt's fifty-odd libraries cost
// more than reading a one-repetition test. What needs Qt - a sensor box on a real serial
// port (probe, monitor, record without --simulate) and the report as PDF - is built into
// vantacheck-serial-and-pdf, installed beside vantacheck-cli. vantacheck-cli replaces
// itself with that program, the same words on its command line, so the user types, sees
// and scripts one tool.
#pragma once

#include "cli/commands.h"

namespace vanta::cli {

// main's argv, handed over as it is; kept before any command runs.
void keepCommandLine(char** argv);

// Replaces this process with vantacheck-serial-and-pdf from this program's own folder.
// Where it cannot be started, says which program is missing and exits with status 2.
[[noreturn]] void continueInSerialAndPdf();

// report, and profile and history with --pdf, in vantacheck-cli: continueInSerialAndPdf.
int handOverToSerialAndPdf();

}  // namespace vanta::cli
