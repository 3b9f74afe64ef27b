// One screen of the main view (idle, measurement, calibration, digital report, curve
// graph). The view shows the screen that ViewMode names and forwards to it its painting
// and mouse presses; the screen's own commands reach it through the view as well.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "canvas/draw_context.h"
#include "graphs/graph_view_state.h"
#include "reports/page_header.h"
#include "reports/spreadsheet_export.h"
#include "measure/attempt_session.h"
#include "station/bar_host.h"
#include "station/command_router.h"
#include "station/file_commands.h"
#include "station/operator_dialogs.h"
#include "station/print_job.h"
#include "station/report_table_host.h"
#include "station/station.h"
#include "station/view_host.h"

namespace vanta {

// The athlete the next test is for, as the subject register names her (Extended mode).
struct ChosenSubject {
    std::string key;   // the register's permanent id; empty where it keeps none
    std::string name;
};

// What every screen works with: the station's state and the window's parts it may use.
struct ScreenContext {
    Station& station;
    BarHost& bars;
    ViewHost& view;
    OperatorDialogs& dialogs;
    FileCommands& files;
    // The report table of the view: the digital report's, and the measurement screen's
    // after each recorded repetition.
    ReportTableHost& table;
    // Opens an exported file with the desktop's program for it (none in tests).
    FileOpener openFile;
    // Command 32822: the idle screen, no bar, repetition 0, the view repainted at once.
    std::function<void()> resetToIdle;
    // The attempts and calibrations on the sensor box; none until the window has given the
    // screens the station's acquisition link (START then reports the box missing).
    AttemptSession* attempts = nullptr;
    // Seconds since 1970: the test time a started attempt takes.
    std::function<int32_t()> now;
    // The clock of the live tick: with it a stream without frames ends the attempt and a
    // stored attempt's stream is checked for its rate (none: neither, as in most tests).
    std::function<std::chrono::steady_clock::time_point()> liveClock;
    // The result view's graph (the curve graph screen's): a new test sets its selection and
    // cursors, so whatever shows it next starts from them.
    GraphViewState* resultGraph = nullptr;
    // The register's current subject in Extended mode, none in Abbreviated mode or
    // without one (none given: the test in memory's subject is the chosen one). A saved
    // test keeps its subject when another athlete is chosen: the idle screen and History
    // follow the athlete chosen, not the test shown.
    std::function<std::optional<ChosenSubject>()> chosenSubject = {};
};

enum class MouseButton { Left, Right };

class Screen {
public:
    virtual ~Screen() = default;

    // The view has just switched to this screen, or away from it.
    virtual void enter() {}
    virtual void leave() {}
    // The view has a new size; what the screen placed at the old one goes where the new
    // size puts it.
    virtual void resized() {}

    // Paints the screen below the page header. Not const: what a drawing computes (the
    // scales of a graph) stays with the screen for the mouse and the next paint.
    virtual void draw(DrawContext&) {}
    // A press of the left or right mouse button in the view, in view pixels. Qt hands the
    // second press of a double click here too; at the same place it changes nothing more.
    virtual void mousePress(Point, MouseButton) {}
    // The mouse wheel and the scrolling keys: `steps` lines or, with `pages`, views down
    // (negative: up). A screen longer than the view scrolls; the others ignore it.
    virtual void scroll(int /*steps*/, bool /*pages*/) {}

    // What this screen puts on paper when printing starts: the table's rows or the
    // graph. A screen without its own printout leaves the job as it is (an "ERROR" page).
    virtual void fillPrintJob(PrintJob&) const {}
    // The header above the screen and on page 1, where the screen reports more than one
    // repetition (the subject and the tests' dates rather than one repetition's load);
    // none: the header of the view's current repetition.
    virtual std::optional<PageHeaderTexts> pageHeader() const { return std::nullopt; }

    // Runs the command if it is one of this screen's; false leaves it to another screen.
    virtual bool command(int id, Notification notification) = 0;
};

}  // namespace vanta
