#include "app/command_router.h"

#include <QMetaObject>

namespace vanta {

CommandRouter::CommandRouter(const Station& station, QObject* parent)
    : QObject(parent), station_(station) {
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
        emit commandRefused(id);
        return false;
    }
    for (CommandOwner owner : kRoutingOrder) {
        // Copy: a handler may rebind (a screen replacing its bar) while it runs.
        Handler h = s->byOwner[static_cast<size_t>(owner)];
        if (h) {
            h(notification);
            emit commandExecuted(id);
            return true;
        }
    }
    return false;
}

void CommandRouter::post(int id, Notification notification) {
    // The router is the context object: a call still queued when it goes away is dropped.
    QMetaObject::invokeMethod(
        this, [this, id, notification] { execute(id, notification); }, Qt::QueuedConnection);
}

std::vector<int> CommandRouter::unboundCommands() const {
    std::vector<int> ids;
    for (const Slot& s : slots_) {
        if (!hasHandler(s.info->id)) ids.push_back(s.info->id);
    }
    return ids;
}

}  // namespace vanta
