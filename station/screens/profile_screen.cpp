#include "station/screens/profile_screen.h"

#include <algorithm>
#include <optional>

#include "profile/profile.h"
#include "profile/profile_drawing.h"
#include "reports/page_header.h"
#include "station/command_ids.h"

namespace vanta {

namespace {

// The profile of the test in memory; none when a load is damaged (NaN or infinite).
std::optional<Profile> profileOf(const Station& s) {
    std::vector<ProfileAttempt> attempts;
    if (!appendTestAttempts(attempts, s.test, s.lastFilePath)) return std::nullopt;
    return buildProfile(attempts, s.settings.sidesSwapped != 0);
}

void drawProfileOrRefusal(DrawContext& dc, const Rect& area, const std::optional<Profile>& profile) {
    if (profile) {
        drawProfile(dc, area, *profile);
        return;
    }
    const int row = dc.isPrinting() ? 60 : 20;
    const int dir = area.bottom > area.top ? 1 : -1;
    dc.text(Rect{area.left, area.top, area.right, area.top + dir * row}, "Incompatible data", TextAlign::Left);
}

// The profile on paper, from a copy taken as printing starts.
class ProfileOnPaper : public PaperDrawing {
public:
    explicit ProfileOnPaper(std::optional<Profile> profile) : profile_(std::move(profile)) {}
    void draw(DrawContext& dc, const Rect& area) override { drawProfileOrRefusal(dc, area, profile_); }

private:
    std::optional<Profile> profile_;
};

}  // namespace

bool ProfileScreen::command(int id, Notification) {
    switch (id) {
        case cmd::kProfile: show(); return true;
        case cmd::kSwapSides: swapSides(); return true;
        default: return false;
    }
}

void ProfileScreen::show() {
    Station& s = context_.station;
    if (s.viewMode == kViewProfile) return;
    context_.bars.hideBar();
    s.viewMode = kViewProfile;
    context_.view.update();
}

void ProfileScreen::swapSides() {
    uint8_t& swapped = context_.station.settings.sidesSwapped;
    swapped = swapped ? 0 : 1;
    context_.view.update();
}

// The profile takes the whole view below the header: a larger window, larger plots.
void ProfileScreen::draw(DrawContext& dc) {
    const Rect client = context_.view.clientRect();
    const Rect area{kProfileScreenRect.left, kProfileScreenRect.top, std::max(kProfileScreenRect.right, client.right - 10),
                    std::max(kProfileScreenRect.bottom, client.bottom - 5)};
    drawProfileOrRefusal(dc, area, profileOf(context_.station));
}

std::optional<PageHeaderTexts> ProfileScreen::pageHeader() const {
    const TestRecord& t = context_.station.test;
    PageHeaderTexts h;
    h.left = "Name: " + t.subject.name;
    const int n = t.repetitionCount;
    h.right = std::to_string(n) + (n == 1 ? " attempt" : " attempts") + ", test of " + formatTime(t.testTime, "%Y-%m-%d %H:%M");
    return h;
}

void ProfileScreen::fillPrintJob(PrintJob& job) const { job.setDrawing(std::make_unique<ProfileOnPaper>(profileOf(context_.station))); }

}  // namespace vanta
