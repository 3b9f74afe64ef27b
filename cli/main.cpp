// vantacheck-cli: the station's numbers from the command line, for researchers and for
// checking a sensor box in the lab.
#include "cli/command_line.h"
#ifdef VANTA_SERIAL_AND_PDF
#include "cli/serial_and_pdf.h"
#endif

namespace vanta::cli {
std::vector<Command> allCommands();
}

int main(int argc, char** argv) {
#ifdef VANTA_SERIAL_AND_PDF
    vanta::cli::keepCommandLine(argv);
#endif
    return vanta::cli::runCommandLine(vanta::cli::allCommands(), argc, argv);
}
