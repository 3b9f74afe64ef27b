// vantacheck-serial-and-pdf: the commands of vantacheck-cli that need Qt - the sensor box
// on a serial port and the printed report as PDF. vantacheck-cli hands them over to it with
// its own command line (cli/serial_and_pdf.h); run directly, it takes the same words.
#include "cli/commands.h"

using namespace vanta::cli;

int main(int argc, char** argv) {
    CommandLine line;
    addQtCommands(line);
    addDeviceCommands(line);
    addRecordCommand(line);
    return line.run(argc, argv);
}
