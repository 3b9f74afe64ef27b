#include "station/command_router.h"

#include <algorithm>

namespace vanta {

CommandRouter::CommandRouter(const Station& station, Poster poster) : station_(station), poster_(std::move(poster)) {
    for (const CommandInfo& info : commandTable()) {
        Slot s;
        s.info = &info;
        slots_.push_back(std::move(s));
    }
}

CommandRouter::Slot* CommandRouter::slotFor(int id) {
    for (Slot& s : slots_) {
        if (s.info->id == id) return &s;
    }
    return nullptr;
}

const CommandRouter::Slot* CommandRouter::slotFor(int id) const {
    return const_cast<CommandRouter*>(this)->slotFor(id);
}

bool CommandRouter::bind(CommandOwner owner, int id, Handler handler) {
    Slot* s = slotFor(id);
    if (!s || s->info->owner != owner || !handler) return false;
    s->byOwner[static_cast<size_t>(owner)] = std::move(handler);
    return true;
}

void CommandRouter::unbindAll(CommandOwner owner) {
    for (Slot& s : slots_) s.byOwner[static_cast<size_t>(owner)] = nullptr;
}

bool CommandRouter::hasHandler(int id) const {
    const Slot* s = slotFor(id);
    if (!s) return false;
    for (const Handler& h : s->byOwner) {
        if (h) return true;
    }
    return false;
}

bool CommandRouter::isEnabled(int id) const {
    const Slot* s = slotFor(id);
    return s && hasHandler(id) && ruleAllows(s->info->rule, station_);
}

bool CommandRouter::execute(int id, Notification notification) {
    Slot* s = slotFor(id);
    if (!s) return false;
    if (!ruleAllows(s->info->rule, station_)) {
        tell(id, CommandOutcome::Refused);
        return false;
    }
    for (CommandOwner owner : kRoutingOrder) {
        // Copy: a handler may rebind (a screen replacing its bar) while it runs.
        Handler h = s->byOwner[static_cast<size_t>(owner)];
        if (h) {
            h(notification);
            tell(id, CommandOutcome::Executed);
            return true;
        }
    }
    return false;
}

void CommandRouter::post(int id, Notification notification) {
    if (poster_) poster_([this, id, notification] { execute(id, notification); });
}

std::vector<int> CommandRouter::unboundCommands() const {
    std::vector<int> ids;
    for (const Slot& s : slots_) {
        if (!hasHandler(s.info->id)) ids.push_back(s.info->id);
    }
    return ids;
}

int CommandRouter::addObserver(Observer observer) {
    const int token = nextToken_++;
    observers_.emplace_back(token, std::move(observer));
    return token;
}

void CommandRouter::removeObserver(int token) {
    std::erase_if(observers_, [token](const auto& o) { return o.first == token; });
}

void CommandRouter::tell(int id, CommandOutcome outcome) {
    // Copy: an observer may add or remove observers while it is told.
    const auto observers = observers_;
    for (const auto& [token, observer] : observers) observer(id, outcome);
}

}  // namespace vanta
