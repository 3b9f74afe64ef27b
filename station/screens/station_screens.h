// The screens of the main view and the switch between them. The screen on show is the one
// ViewMode names; painting and mouse presses go to it. A screen's own commands reach it
// whichever screen is on show (Perform starts the measurement screen from anywhere), and
// the print commands go to the screen on show.
#pragma once

#include <array>
#include <memory>

#include "station/screen.h"
#include "station/screens/calibration_screen.h"
#include "station/screens/curve_graph_screen.h"
#include "station/screens/digital_report_screen.h"
#include "station/screens/idle_screen.h"
#include "station/screens/measurement_screen.h"
#include "station/screens/history_screen.h"
#include "station/screens/profile_screen.h"

namespace vanta {

// The view's rectangle for the page header (pixels of the client area).
inline constexpr Rect kScreenHeaderRect{10, 5, 740, 30};

class StationScreens {
public:
    StationScreens(Station& station, BarHost& bars, ViewHost& view, OperatorDialogs& dialogs, FileCommands& files,
                   ReportTableHost& table, FileOpener openFile = {});
    StationScreens(const StationScreens&) = delete;
    StationScreens& operator=(const StationScreens&) = delete;

    // The screens record attempts and calibrate through this link from now on, their live
    // tick timed by `liveClock` (the window's: the steady clock).
    void attachLink(AcquisitionLink& link, std::function<std::chrono::steady_clock::time_point()> liveClock = {});
    // Where the screens learn whom the next test is for (ScreenContext::chosenSubject).
    void setChosenSubject(std::function<std::optional<ChosenSubject>()> chosen) {
        context_.chosenSubject = std::move(chosen);
    }
    AttemptSession* attempts() { return attempts_.get(); }

    // The screen that ViewMode names; the idle screen for a value without one.
    Screen& current();

    // Runs a command of the view's screens: true when one of them had it.
    bool command(int id, Notification notification);
    // Command 32822 and the last step of EXIT: idle screen, no bar, repetition 0, the
    // screen that was on show left, the view repainted at once.
    void resetToIdle();

    // The page header whenever a test may be reported, then the screen on show.
    void draw(DrawContext& dc);
    void mousePress(Point at, MouseButton button);
    void scroll(int steps, bool pages);
    // The view was resized: the screen on show places its parts anew.
    void resized();

    // What Print and Print Preview print, read from the screen on show as printing starts:
    // its title, the page header of the view's current repetition and the screen's own part.
    PrintJob printJob();

    IdleScreen& idle() { return idle_; }
    MeasurementScreen& measurement() { return measurement_; }
    CalibrationScreen& calibration() { return calibration_; }
    DigitalReportScreen& digitalReport() { return digitalReport_; }
    CurveGraphScreen& curveGraph() { return curveGraph_; }
    ProfileScreen& profile() { return profile_; }
    HistoryScreen& history() { return history_; }

private:
    // Leaves the screen that was on show and enters the one ViewMode now names.
    void followViewMode();

    ScreenContext context_;
    std::unique_ptr<AttemptSession> attempts_;
    IdleScreen idle_;
    MeasurementScreen measurement_;
    CalibrationScreen calibration_;
    DigitalReportScreen digitalReport_;
    CurveGraphScreen curveGraph_;
    ProfileScreen profile_;
    HistoryScreen history_;
    std::array<Screen*, 7> all_;
    Screen* shown_;
};

}  // namespace vanta
