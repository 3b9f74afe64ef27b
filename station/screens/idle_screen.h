// The idle screen (ViewMode 0): an empty view under the page header. It is on show at
// start and after command 32822, which brings every other screen back here.
#pragma once

#include "station/screen.h"

namespace vanta {

class IdleScreen : public Screen {
public:
    explicit IdleScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;

private:
    ScreenContext& context_;
};

}  // namespace vanta
