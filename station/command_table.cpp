#include "station/command_table.h"

#include <array>

#include "station/command_ids.h"

namespace vanta {

namespace {

using O = CommandOwner;
using R = EnableRule;

// The prompts are the operator's texts, blanks included (" File Save", "Curve graph ").
// The framework's commands carry the framework's standard prompts.
constexpr std::array kCommands = {
    // File menu and toolbar
    CommandInfo{cmd::kFileOpen, O::Frame, R::NotMeasuring, "Open an vanta file", "Open vanta"},
    CommandInfo{cmd::kFileSave, O::Frame, R::NotMeasuring, "File Save", " File Save"},
    CommandInfo{cmd::kFilePrint, O::View, R::Always, "Print the active document", "Print"},
    CommandInfo{cmd::kFilePrintPreview, O::View, R::Always, "Display full pages", "Print Preview"},
    CommandInfo{cmd::kFilePrintSetup, O::Application, R::Always, "Change the printer and printing options",
                "Print Setup"},
    CommandInfo{cmd::kAppExit, O::Application, R::Always, "Quit the application; prompts to save documents",
                "Exit"},
    CommandInfo{cmd::kFileNew, O::Application, R::Always, "Create a new document", "New"},
    // Subject, Exercise, Report, Setup, About
    CommandInfo{cmd::kSubjectInfo, O::Frame, R::NotMeasuring, "Subject Info", "Subject Info"},
    CommandInfo{cmd::kPerform, O::View, R::NotMeasuring, "Force perform", "Force perform"},
    CommandInfo{cmd::kDigitalReport, O::View, R::ResultsAvailable, "Digital report", "Digital report"},
    CommandInfo{cmd::kCurveGraph, O::View, R::ResultsAvailable, "Curve graph ", " Curve graph"},
    CommandInfo{cmd::kGraphSetup, O::Frame, R::Always, "Graph setup", "Graph setup"},
    CommandInfo{cmd::kSubjectInfoSetup, O::View, R::NotMeasuring, "Subj. info Setup", "Subj. info Setup"},
    CommandInfo{cmd::kCalibration, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kAppAbout, O::Application, R::Always,
                "Display program information, version number and copyright", "About"},
    // Internal messages
    CommandInfo{cmd::kLiveTick, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kCalibrationTick, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kResetToIdle, O::View, R::Always, nullptr, nullptr},
    // Report bar
    CommandInfo{cmd::kReportRepetitionBox, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kExportXml, O::View, R::Always, nullptr, nullptr},
    // Curve bar
    CommandInfo{cmd::kZoom, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kCursorRightLeft, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kCursorRightRight, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kCursorLeftLeft, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kCursorLeftRight, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kY1Box, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kY2Box, O::View, R::Always, nullptr, nullptr},
    // Measurement bar; 1075 is IGNORE on a click and the curve bar's repetition list on a
    // selection change: one entry, the view tells them apart by the notification.
    CommandInfo{cmd::kStart, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kIgnore, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kBack, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::kExit, O::View, R::Always, nullptr, nullptr},
    // The load-power profile by side, and the names of the sides
    CommandInfo{cmd::kProfile, O::View, R::ResultsAvailable, "Load-power profile by side", "Profile"},
    CommandInfo{cmd::kSwapSides, O::View, R::Always, "Swap the names of the left and right side", nullptr},
    CommandInfo{cmd::kHistory, O::View, R::SubjectChosen, "The subject's tests over time", "History"},
    CommandInfo{cmd::kCompare, O::View, R::ResultsAvailable, "Draw a second repetition over the first", nullptr},
    CommandInfo{cmd::kSubjectLabel, O::View, R::Always, nullptr, nullptr},
    // History bar
    CommandInfo{cmd::kHistoryLoadBox, O::View, R::Always, nullptr, nullptr},
    // The technician's guide, on every screen and while measuring too: F1 is where a lost
    // operator looks first.
    CommandInfo{cmd::kUserGuide, O::Application, R::Always, "Open the user guide in the web browser", nullptr},
    // File > "Open from archive...": any test of the lab, opened as File > Open opens one
    CommandInfo{cmd::kOpenFromArchive, O::Frame, R::NotMeasuring, "Open a test from the lab's archive",
                "Open from archive"},
    // Profile bar
    CommandInfo{cmd::kProfileTestsBox, O::View, R::Always, nullptr, nullptr},
};

}  // namespace

std::span<const CommandInfo> commandTable() { return kCommands; }

const CommandInfo* findCommand(int id) {
    for (const CommandInfo& c : kCommands) {
        if (c.id == id) return &c;
    }
    return nullptr;
}

bool ruleAllows(EnableRule rule, const Station& station) {
    switch (rule) {
        case EnableRule::Always: return true;
        case EnableRule::NotMeasuring: return station.viewMode != kViewMeasurement;
        case EnableRule::ResultsAvailable: return station.resultsAvailable == 1;
        // Extended mode: the register's subject is copied into the test when chosen.
        case EnableRule::SubjectChosen:
            return station.settings.subjectLibraryMode != 0 && !station.test.subject.name.empty() &&
                   station.viewMode != kViewMeasurement;
    }
    return false;
}

}  // namespace vanta
