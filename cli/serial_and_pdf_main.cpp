// vantacheck-serial-and-pdf: the commands of vantacheck-cli that need Qt - the sensor box
// on a serial port and the printed report as PDF. vantacheck-cli hands them over to it with
// its own command line (cli/serial_and_pdf.h); run directly, it takes the same words.
#include "cli/command_line.h"

using namespace vanta::cli;

int main(int argc, char** argv) {
    std::vector<Command> commands = reportCommands();
    commands.insert(commands.end(), deviceCommands().begin(), deviceCommands().end());
    commands.insert(commands.end(), recordCommands().begin(), recordCommands().end());
    return runCommandLine(commands, argc, argv);
}
