// Command routing: every command, whatever its source (menu item, toolbar button, shortcut,
// dialog-bar control, timer, the program itself), runs through execute(), which asks the
// command's enabling rule first. A command its rule disables never runs.
#pragma once

#include <array>
#include <functional>
#include <vector>

#include "station/command_table.h"
#include "station/station.h"

namespace vanta {

// How a control reported: a click (menu items, buttons, shortcuts and the internal
// messages count as clicks) or a changed selection in a drop-down list.
enum class Notification { Clicked, SelectionChanged };

// What became of a command that was asked for.
enum class CommandOutcome {
    Executed,  // a handler ran: state may have changed, enabled looks are refreshed
    Refused,   // its rule disabled it
};

class CommandRouter {
public:
    using Handler = std::function<void(Notification)>;
    using Observer = std::function<void(int id, CommandOutcome outcome)>;
    // Queues a call behind the messages already waiting and returns at once. The window
    // gives the router its event loop; a test gives it a queue it runs by hand.
    using Poster = std::function<void(std::function<void()>)>;

    explicit CommandRouter(const Station& station, Poster poster = {});
    CommandRouter(const CommandRouter&) = delete;
    CommandRouter& operator=(const CommandRouter&) = delete;

    void setPoster(Poster poster) { poster_ = std::move(poster); }

    // Installs the owner's handler for a command. Refused (false) for a number that is not
    // in the command table or that the table gives to another owner.
    bool bind(CommandOwner owner, int id, Handler handler);
    // Removes every handler of an owner (its object is going away).
    void unbindAll(CommandOwner owner);

    // Runs the command now if its rule allows it; true when a handler ran.
    bool execute(int id, Notification notification = Notification::Clicked);
    // Queues the command behind the messages already waiting; the rule is asked when it
    // runs, not when it is posted. Timers use this. Without a poster nothing is queued.
    void post(int id, Notification notification = Notification::Clicked);

    // The rule of a known command; false for an unknown one or one without a handler.
    bool isEnabled(int id) const;
    bool hasHandler(int id) const;
    // Commands of the table that no owner has bound (empty once the station is built).
    std::vector<int> unboundCommands() const;

    // Told of every executed or refused command; the token removes it again.
    int addObserver(Observer observer);
    void removeObserver(int token);

private:
    struct Slot {
        const CommandInfo* info = nullptr;
        std::array<Handler, 4> byOwner;  // indexed by CommandOwner
    };
    Slot* slotFor(int id);
    const Slot* slotFor(int id) const;
    void tell(int id, CommandOutcome outcome);

    const Station& station_;
    Poster poster_;
    std::vector<Slot> slots_;
    std::vector<std::pair<int, Observer>> observers_;
    int nextToken_ = 1;
};

}  // namespace vanta
