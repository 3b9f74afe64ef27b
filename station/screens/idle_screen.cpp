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

std::string nextSubjectText(const ScreenContext& context) {
    const std::optional<ChosenSubject> chosen = context.chosenSubject ? context.chosenSubject() : std::nullopt;
    if (chosen && !chosen->name.empty()) return "Subject: " + chosen->name;
    return currentSubjectText(context.station.test);
}

void drawNextSubjectLine(DrawContext& dc, const ScreenContext& context) {
    const Rect client = context.view.clientRect();
    dc.save();
    dc.selectFont(Font{"Arial", 14, 700});
    dc.setTextColor(kBlack);
    dc.textElided(Rect{10, 40, std::max(740, client.right - 10), 60}, nextSubjectText(context), TextAlign::Left);
    dc.restore();
}

void IdleScreen::draw(DrawContext& dc) { drawNextSubjectLine(dc, context_); }

}  // namespace vanta
