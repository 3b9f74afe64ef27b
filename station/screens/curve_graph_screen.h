// The curve graph (ViewMode 1) with the curve bar (template 140): Report > "Curve graph"
// draws two quantities of one repetition; the bar chooses the repetition (list 1075) and
// the quantities (Y1 1069, Y2 1071), moves the cursors (32814 to 32817) and zooms (32813).
#pragma once

#include "station/screen.h"

namespace vanta {

class CurveGraphScreen : public Screen {
public:
    explicit CurveGraphScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;

private:
    void show();
    void chooseRepetition();
    void chooseQuantity(int boxId);

    ScreenContext& context_;
};

}  // namespace vanta
