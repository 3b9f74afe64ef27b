#include "cli/commands.h"
#ifdef VANTA_SERIAL_AND_PDF
#include "cli/serial_and_pdf.h"
#endif

namespace vanta::cli {

// Every command the tool offers, in the order of its overview. report draws with Qt: it is
// listed and explained here, and runs in vantacheck-serial-and-pdf.
std::vector<Command> allCommands() {
    std::vector<Command> all = fileCommands();
#ifdef VANTA_SERIAL_AND_PDF
    all.push_back(reportCommand(runReportBeside));
#endif
    // profile runs here; with --pdf it goes on in the program that draws with Qt.
    all.push_back(profileCommand([](const Args& args) {
#ifdef VANTA_SERIAL_AND_PDF
        return runProfile(args, nullptr, runReportBeside);
#else
        return runProfile(args, nullptr, nullptr);
#endif
    }));
    all.insert(all.end(), deviceCommands().begin(), deviceCommands().end());
    all.insert(all.end(), recordCommands().begin(), recordCommands().end());
    all.insert(all.end(), archiveCommands().begin(), archiveCommands().end());
    all.insert(all.end(), recoverCommands().begin(), recoverCommands().end());
    return all;
}

}  // namespace vanta::cli
