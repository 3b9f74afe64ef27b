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
    CommandInfo{cmd::FileOpen, O::Frame, R::NotMeasuring, "Open an vanta file", "Open vanta"},
    CommandInfo{cmd::FileSave, O::Frame, R::NotMeasuring, "File Save", " File Save"},
    CommandInfo{cmd::FilePrint, O::View, R::Always, "Print the active document", "Print"},
    CommandInfo{cmd::FilePrintPreview, O::View, R::Always, "Display full pages", "Print Preview"},
    CommandInfo{cmd::FilePrintSetup, O::Application, R::Always, "Change the printer and printing options",
                "Print Setup"},
    CommandInfo{cmd::AppExit, O::Application, R::Always, "Quit the application; prompts to save documents",
                "Exit"},
    CommandInfo{cmd::FileNew, O::Application, R::Always, "Create a new document", "New"},
    // Subject, Exercise, Report, Setup, About
    CommandInfo{cmd::SubjectInfo, O::Frame, R::NotMeasuring, "Subject Info", "Subject Info"},
    CommandInfo{cmd::Perform, O::View, R::NotMeasuring, "Force perform", "Force perform"},
    CommandInfo{cmd::DigitalReport, O::View, R::ResultsAvailable, "Digital report", "Digital report"},
    CommandInfo{cmd::CurveGraph, O::View, R::ResultsAvailable, "Curve graph ", " Curve graph"},
    CommandInfo{cmd::GraphSetup, O::Frame, R::Always, "Graph setup", "Graph setup"},
    CommandInfo{cmd::SubjectInfoSetup, O::View, R::NotMeasuring, "Subj. info Setup", "Subj. info Setup"},
    CommandInfo{cmd::Calibration, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::AppAbout, O::Application, R::Always,
                "Display program information, version number and copyright", "About"},
    // Internal messages
    CommandInfo{cmd::LiveTick, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::CalibrationTick, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::ResetToIdle, O::View, R::Always, nullptr, nullptr},
    // Report bar
    CommandInfo{cmd::ReportRepetitionBox, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::ExportXml, O::View, R::Always, nullptr, nullptr},
    // Curve bar
    CommandInfo{cmd::Zoom, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::CursorRightLeft, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::CursorRightRight, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::CursorLeftLeft, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::CursorLeftRight, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::Y1Box, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::Y2Box, O::View, R::Always, nullptr, nullptr},
    // Measurement bar; 1075 is IGNORE on a click and the curve bar's repetition list on a
    // selection change: one entry, the view tells them apart by the notification.
    CommandInfo{cmd::Start, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::Ignore, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::Back, O::View, R::Always, nullptr, nullptr},
    CommandInfo{cmd::Exit, O::View, R::Always, nullptr, nullptr},
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
    }
    return false;
}

}  // namespace vanta
