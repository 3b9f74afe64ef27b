// The load-power profile (ViewMode 12): Report > "Profile" shows the test in memory by
// side and load, with the fits and the asymmetry, without a dialog bar. Setup > "Swap
// left and right" names the sides for a box mounted the other way round; the choice is
// kept in the settings file.
#pragma once

#include "station/screen.h"

namespace vanta {

// The view's rectangle for the profile, below the page header (pixels of the client area).
inline constexpr Rect kProfileScreenRect{10, 40, 740, 595};

class ProfileScreen : public Screen {
public:
    explicit ProfileScreen(ScreenContext& context) : context_(context) {}

    bool command(int id, Notification notification) override;
    // Worked out from the test at every paint, so it always shows the test and the side
    // names in force. A damaged load shows "Incompatible data" instead.
    void draw(DrawContext& dc) override;
    // The same drawing on one A4 page.
    void fillPrintJob(PrintJob& job) const override;
    // The subject and the date of the test (not one repetition's load).
    std::optional<PageHeaderTexts> pageHeader() const override;

private:
    void show();
    void swapSides();

    ScreenContext& context_;
};

}  // namespace vanta
