#include "station/screens/idle_screen.h"

#include <algorithm>

#include "station/command_ids.h"

namespace vanta {

bool IdleScreen::command(int id, Notification) {
    if (id != cmd::kResetToIdle) return false;
    context_.resetToIdle();
    return true;
}

std::string currentSubjectText(const TestRecord& test) {
    return test.subject.name.empty() ? std::string("Subject: none chosen") : "Subject: " + test.subject.name;
}

void IdleScreen::draw(DrawContext& dc) {
    const Rect client = context_.view.clientRect();
    dc.save();
    dc.selectFont(Font{"Arial", 14, 700});
    dc.setTextColor(kBlack);
    dc.textElided(Rect{10, 40, std::max(740, client.right - 10), 60}, currentSubjectText(context_.station.test),
                  TextAlign::Left);
    dc.restore();
}

}  // namespace vanta
