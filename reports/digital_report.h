// The cells of the digital report table of one repetition: five mean rows with the
// whole stroke and both phases, a spacer, four peak rows. Plain text, no widgets, so the
// screen, the spreadsheet export and the command-line tool show the same cells.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "core/records.h"

namespace vanta {

inline constexpr int kDigitalColumns = 4;
inline constexpr int kDigitalRows = 10;

// Labels of the mean rows and the peak rows, by ResultColumn. The position peak row
// (" ") is never shown.
extern const std::array<const char*, kResultColumnCount> kMeanRowLabels;
extern const std::array<const char*, kResultColumnCount> kPeakRowLabels;

// "%4.1f" in the current C numeric locale (a decimal comma where the user has one).
std::string formatReportValue(float value);

using ReportRow = std::array<std::string, kDigitalColumns>;

// The ten rows in table order.
std::vector<ReportRow> digitalReportRows(const RepetitionResults& results);

}  // namespace vanta
