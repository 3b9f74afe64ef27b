// The digital report (ViewMode 6) with the report bar (template 138): Report > "Digital"
// shows the results of one repetition, chosen in the bar's repetition box 32801;
// "Export xml" (32812) writes the shown table as a spreadsheet.
#pragma once

#include "station/screen.h"

namespace vanta {

class DigitalReportScreen : public Screen {
public:
    explicit DigitalReportScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;

private:
    void show();
    void selectRepetition();

    ScreenContext& context_;
};

}  // namespace vanta
