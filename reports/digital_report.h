// The cells of the digital report table of one repetition: five mean rows with the
// whole stroke and both phases, a spacer, four peak rows. Plain text, no widgets, so the
// screen, the spreadsheet export, the printed report and the command-line tool show the
// same cells.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/records.h"
#include "reports/report_layout.h"

namespace vanta {

inline constexpr int kDigitalRows = 10;

// Labels of the mean rows and the peak rows, by ResultColumn. The position peak row
// (" ") is never shown: a peak of the position is not one of the report's numbers.
extern const std::array<const char*, kResultColumnCount> kMeanRowLabels;
extern const std::array<const char*, kResultColumnCount> kPeakRowLabels;

// "%4.1f" in the current C numeric locale: the station adopts the user's at start, so the
// operator reads a decimal comma where that is the custom. Four characters are a minimum:
// 1000.0 simply takes six.
std::string formatReportValue(float value);

// A number as the operator reads it: a value that rounds to zero shows no minus sign
// ("-0.0" becomes " 0.0", the width kept). Only what is shown goes through it; the cells
// keep the sign for the spreadsheet file, whose bytes stay as they always were.
std::string shownNumber(std::string text);

using ReportRow = std::array<std::string, kDigitalColumns>;

// The ten rows in table order: for each result column a mean row with MeanAll,
// MeanAcceleration and MeanDeceleration; the spacer ("  " and three empty cells); the
// peak rows of force, power, velocity and torque with PeakAll in "Total" only.
std::vector<ReportRow> digitalReportRows(const RepetitionResults& results);

}  // namespace vanta
