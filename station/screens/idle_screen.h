// The idle screen (ViewMode 0): an empty view under the page header. It is on show at
// start and after command 32822, which brings every other screen back here.
#pragma once

#include <string>

#include "station/screen.h"

namespace vanta {

// "Subject: Ann Lee", or that none is chosen: who the next attempt belongs to.
std::string currentSubjectText(const TestRecord& test);
// The same for the screens between tests: the athlete chosen for the next test where the
// register names one, else the test in memory's subject.
std::string nextSubjectText(const ScreenContext& context);
// That line below the page header, as the idle screen and the calibration screen show it.
void drawNextSubjectLine(DrawContext& dc, const ScreenContext& context);

class IdleScreen : public Screen {
public:
    explicit IdleScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;
    // The current subject, below the page header.
    void draw(DrawContext& dc) override;

private:
    ScreenContext& context_;
};

}  // namespace vanta
