#include "cli/commands.h"
#ifdef VANTA_SERIAL_AND_PDF
#include "cli/serial_and_pdf.h"
#endif

namespace vanta::cli {

// Every command the tool offers, in the order of its overview. report draws with Qt: it is
// listed and explained here, and runs in vantacheck-serial-and-pdf; profile and history run
// here, and go on there with --pdf.
void addAllCommands(CommandLine& line) {
    addFileCommands(line);
#ifdef VANTA_SERIAL_AND_PDF
    addReportCommand(line, [](const ReportOptions&) { return handOverToSerialAndPdf(); });
    addProfileCommand(line, nullptr, handOverToSerialAndPdf);
    addHistoryCommand(line, nullptr, handOverToSerialAndPdf);
#else
    addProfileCommand(line, nullptr, nullptr);
    addHistoryCommand(line, nullptr, nullptr);
#endif
    addDeviceCommands(line);
    addRecordCommand(line);
    addArchiveCommand(line);
    addSubjectsCommand(line);
    addSiteCommand(line);
    addRecoverCommand(line);
}

}  // namespace vanta::cli
