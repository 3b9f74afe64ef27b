#include "reports/digital_report.h"

#include <cstdio>

namespace vanta {

const std::array<const char*, kResultColumnCount> kMeanRowLabels = {
    "F mean (N)", "P mean (W)", "v mean (deg/s)", "s (deg)", "torque mean (N.m)"};
const std::array<const char*, kResultColumnCount> kPeakRowLabels = {
    "F peak (N)", "P peak (W)", "v peak (deg/s)", " ", "torque peak (N.m)"};

std::string formatReportValue(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%4.1f", static_cast<double>(value));
    return text;
}

std::string shownNumber(std::string text) {
    const size_t minus = text.find('-');
    if (minus == std::string::npos) return text;
    bool digits = false;
    for (char c : text) {
        if (c >= '1' && c <= '9') return text;  // a real negative value
        digits = digits || c == '0';
    }
    if (digits) text[minus] = ' ';
    return text;
}

std::vector<ReportRow> digitalReportRows(const RepetitionResults& results) {
    std::vector<ReportRow> rows;
    rows.reserve(kDigitalRows);
    for (int k = 0; k < kResultColumnCount; ++k) {
        rows.push_back({kMeanRowLabels[k], formatReportValue(results.value[MeanAll][k]),
                        formatReportValue(results.value[MeanAcceleration][k]),
                        formatReportValue(results.value[MeanDeceleration][k])});
    }
    rows.push_back({"  ", "", "", ""});
    for (int k = 0; k < kResultColumnCount; ++k) {
        if (k == static_cast<int>(ResultColumn::Position)) continue;
        rows.push_back({kPeakRowLabels[k], formatReportValue(results.value[PeakAll][k]), "", ""});
    }
    return rows;
}

}  // namespace vanta
