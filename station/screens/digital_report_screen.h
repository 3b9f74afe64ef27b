// The digital report (ViewMode 6) with the report bar (template 138): Report > "Digital"
// shows the results of one repetition in the report table, chosen in the bar's repetition
// box 32801; "Export xml" (32812) writes the shown table as a spreadsheet and opens it.
#pragma once

#include "station/screen.h"

namespace vanta {

// The table's place on the report screen, below the page header: 10, 50, 730 x 220.
inline constexpr Rect kDigitalReportTableRect{10, 50, 740, 270};
// The digital report's table font: Arial, 12 pixels, normal weight.
inline constexpr int kDigitalReportFontHeight = 12;
inline constexpr int kDigitalReportFontWeight = 400;

class DigitalReportScreen : public Screen {
public:
    explicit DigitalReportScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;
    void fillPrintJob(PrintJob& job) const override;
    // Another screen begins: the table is cleared and hidden.
    void leave() override;

private:
    void show();
    void selectRepetition();
    void fillTable();
    void exportXml();

    ScreenContext& context_;
};

}  // namespace vanta
