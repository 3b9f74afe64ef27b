#include "station/screens/idle_screen.h"

#include "station/command_ids.h"

namespace vanta {

bool IdleScreen::command(int id, Notification) {
    if (id != cmd::kResetToIdle) return false;
    context_.resetToIdle();
    return true;
}

}  // namespace vanta
