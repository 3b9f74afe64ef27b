#include "reports/report_layout.h"

#include <cmath>
#include <limits>

namespace vanta {

std::string_view titleLine(std::string_view title, int line) {
    const size_t cut = title.find('\n');
    if (line == 0) return title.substr(0, cut);
    if (line == 1 && cut != std::string_view::npos) return title.substr(cut + 1);
    return {};
}

int screenColumnWidth(int screenWidth, float columnWidthScale) {
    if (!(columnWidthScale > 0.0f)) return screenWidth;
    // Single precision, as the scale itself is: 24 / h for the live screen's font height h.
    const float width = static_cast<float>(screenWidth) / columnWidthScale;
    if (!std::isfinite(width) || width >= static_cast<float>(std::numeric_limits<int>::max())) return screenWidth;
    return static_cast<int>(width);
}

}  // namespace vanta
