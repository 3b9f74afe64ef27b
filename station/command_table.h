// The one table of the station's commands: for every command its number, the object that
// handles it, the rule that enables it and its prompts. Menus, toolbar buttons, shortcuts,
// dialog-bar controls and the internal messages all find their command here.
#pragma once

#include <span>

#include "station/station.h"

namespace vanta {

// Who handles a command. A command is offered to the view, the document, the frame and
// the application object in that order; the first with a handler runs it. The document
// holds only the window's title and handles no command; its place in the order stays.
enum class CommandOwner { View, Document, Frame, Application };
inline constexpr CommandOwner kRoutingOrder[] = {CommandOwner::View, CommandOwner::Document,
                                                 CommandOwner::Frame, CommandOwner::Application};

enum class EnableRule {
    Always,            // a handler and no rule
    NotMeasuring,      // not while the measurement screen (ViewMode 3) is on
    ResultsAvailable,  // only when a test may be reported
    SubjectChosen,     // Extended mode with a subject chosen, not while measuring
};

struct CommandInfo {
    int id;
    CommandOwner owner;
    EnableRule rule;
    const char* statusText;  // status bar while highlighted; nullptr: none
    const char* toolTip;     // tool tip of the toolbar button; nullptr: none
};

std::span<const CommandInfo> commandTable();

// nullptr for a number the station does not know.
const CommandInfo* findCommand(int id);

bool ruleAllows(EnableRule rule, const Station& station);

}  // namespace vanta
