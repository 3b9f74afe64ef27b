// vantacheck-cli: the station's numbers from the command line, for researchers and for
// checking a sensor box in the lab.
#include "cli/commands.h"
#ifdef VANTA_SERIAL_AND_PDF
#include "cli/serial_and_pdf.h"
#endif

namespace vanta::cli {
void addAllCommands(CommandLine& line);
}

int main(int argc, char** argv) {
#ifdef VANTA_SERIAL_AND_PDF
    vanta::cli::keepCommandLine(argv);
#endif
    vanta::cli::CommandLine line;
    vanta::cli::addAllCommands(line);
    return line.run(argc, argv);
}
