#include "cli/commands.h"

namespace vanta::cli {

// Every command the tool offers, in the order of its overview.
std::vector<Command> allCommands() {
    std::vector<Command> all = fileCommands();
    all.insert(all.end(), deviceCommands().begin(), deviceCommands().end());
    all.insert(all.end(), recordCommands().begin(), recordCommands().end());
    return all;
}

}  // namespace vanta::cli
