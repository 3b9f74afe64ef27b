#include "profile/plot_metrics.h"

#include <cmath>

namespace vanta {

PlotMetrics plotMetricsFor(const DrawContext& dc) {
    if (dc.isPrinting()) return {26, 22, 48, 12, 15, 3};
    return {12, 11, 17, 4, 4, 1};
}

double niceStep(double span, int count) {
    if (!(span > 0.0) || count < 1) return 1.0;
    const double raw = span / count;
    const double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * p) return m * p;
    return 10.0 * p;
}

int textWidthEstimate(std::string_view utf8, int height, bool bold) {
    int characters = 0;
    for (unsigned char c : utf8) characters += (c & 0xC0) != 0x80;
    // Arial's digits are 0.556 em wide and few of its letters wider than 0.72 em; a line
    // of mixed text averages well under 0.6 em, bold under 0.64 em.
    return static_cast<int>(std::ceil(characters * height * (bold ? 0.64 : 0.6)));
}

std::vector<std::string> wrapText(std::string_view utf8, int width, int height, bool bold) {
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < utf8.size()) {
        size_t end = utf8.find(' ', at);
        if (end == std::string_view::npos) end = utf8.size();
        const std::string_view word = utf8.substr(at, end - at);
        std::string longer = line.empty() ? std::string(word) : line + " " + std::string(word);
        if (!line.empty() && textWidthEstimate(longer, height, bold) > width) {
            lines.push_back(line);
            line = std::string(word);
        } else {
            line = std::move(longer);
        }
        at = end + 1;
    }
    if (!line.empty() || lines.empty()) lines.push_back(line);
    return lines;
}

}  // namespace vanta
