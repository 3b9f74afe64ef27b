#include "station/screens/station_screens.h"

#include <algorithm>
#include <ctime>

#include "reports/page_header.h"
#include "station/command_ids.h"

namespace vanta {

StationScreens::StationScreens(Station& station, BarHost& bars, ViewHost& view, OperatorDialogs& dialogs,
                               FileCommands& files, ReportTableHost& table, FileOpener openFile)
    : context_{station, bars, view, dialogs, files, table, std::move(openFile), [this] { resetToIdle(); }, nullptr,
               [] { return static_cast<int32_t>(static_cast<int64_t>(std::time(nullptr)) & 0xFFFFFFFF); }, {}},
      idle_(context_),
      measurement_(context_),
      calibration_(context_),
      digitalReport_(context_),
      curveGraph_(context_),
      profile_(context_),
      history_(context_),
      all_{&idle_, &measurement_, &calibration_, &digitalReport_, &curveGraph_, &profile_, &history_},
      shown_(&current()) {
    context_.resultGraph = &curveGraph_.graphState();
}

void StationScreens::attachLink(AcquisitionLink& link, std::function<std::chrono::steady_clock::time_point()> liveClock) {
    context_.attempts = nullptr;
    context_.liveClock = std::move(liveClock);
    attempts_ = std::make_unique<AttemptSession>(context_.station.test, link);
    context_.attempts = attempts_.get();
}

Screen& StationScreens::current() {
    switch (context_.station.viewMode) {
        case kViewMeasurement: return measurement_;
        case kViewCalibration: return calibration_;
        case kViewDigitalReport: return digitalReport_;
        case kViewCurveGraph: return curveGraph_;
        case kViewProfile: return profile_;
        case kViewHistory: return history_;
        default: return idle_;
    }
}

bool StationScreens::command(int id, Notification notification) {
    bool handled = false;
    for (Screen* screen : all_) {
        if (screen->command(id, notification)) {
            handled = true;
            break;
        }
    }
    followViewMode();
    return handled;
}

void StationScreens::resetToIdle() {
    Station& s = context_.station;
    s.viewMode = kViewIdle;
    s.currentRepetition = 0;
    context_.bars.hideBar();
    // The screen that was on show clears what it showed before the view repaints.
    followViewMode();
    context_.view.repaint();
}

void StationScreens::followViewMode() {
    Screen& now = current();
    if (&now == shown_) return;
    shown_->leave();
    shown_ = &now;
    now.enter();
}

void StationScreens::draw(DrawContext& dc) {
    const Station& s = context_.station;
    // The header names the test whenever one may be reported, on every screen; it shows
    // the view's current repetition, whatever another screen has chosen.
    const Rect& r = kScreenHeaderRect;
    if (const std::optional<PageHeaderTexts> own = current().pageHeader()) {
        // A report across tests: as wide as the view it shares.
        const int right = std::max(r.right, context_.view.clientRect().right - 10);
        drawPageHeader(dc, r.left, r.top, right, r.bottom, *own);
    } else if (s.resultsAvailable == 1) {
        drawPageHeader(dc, r.left, r.top, r.right, r.bottom, s.test, s.currentRepetition);
    }
    current().draw(dc);
}

PrintJob StationScreens::printJob() {
    const Station& s = context_.station;
    PrintJob job;
    job.report.screen = printedScreenFor(s.viewMode);
    job.report.header = current().pageHeader().value_or(pageHeaderTexts(s.test, s.currentRepetition));
    current().fillPrintJob(job);
    return job;
}

void StationScreens::mousePress(Point at, MouseButton button) { current().mousePress(at, button); }

void StationScreens::scroll(int steps, bool pages) { current().scroll(steps, pages); }

void StationScreens::resized() { current().resized(); }

}  // namespace vanta
