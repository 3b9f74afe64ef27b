#include "graphs/readouts.h"

#include <cstdarg>
#include <cstdio>

#include "core/analysis.h"

namespace vanta {

namespace {

// A value that rounds to zero reads "0.0", not "-0.0": the minus goes when no digit but 0
// follows it (the width stays).
std::string withoutNegativeZero(std::string text) {
    const size_t minus = text.find('-');
    if (minus == std::string::npos || text.find_first_of("123456789", minus) != std::string::npos ||
        text.find('0', minus) == std::string::npos)
        return text;
    text[minus] = ' ';
    return text;
}

std::string format(const char* pattern, ...) {
    char text[96];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    std::string out = text;
    const size_t colon = out.find(':');
    if (colon != std::string::npos) out = out.substr(0, colon + 1) + withoutNegativeZero(out.substr(colon + 1));
    return out;
}

}  // namespace

std::array<std::string, kReadoutCount> readoutTexts(const TestRecord& test, const GraphViewState& view) {
    const int xl = view.cursorLeft;
    const int xr = view.cursorRight;
    const int r = view.repetition;

    // Each partial sum is rounded to float32 when stored, so long stretches round exactly
    // as the station's readouts always have.
    float sum1 = 0.0f, sum2 = 0.0f;
    for (int i = xl; i <= xr; ++i) {
        sum1 = static_cast<float>(static_cast<double>(sum1) + quantityAt(test, i, view.y1, r));
        sum2 = static_cast<float>(static_cast<double>(sum2) + quantityAt(test, i, view.y2, r));
    }
    const long long n = static_cast<long long>(xr) - xl + 1;
    const bool hasMean = n >= 1 && view.properWindow();
    auto mean = [&](const char* label, float sum) {
        if (!hasMean) return format("%s%6s", label, "-");
        return format("%s%6.1f", label, static_cast<double>(sum) / static_cast<double>(n));
    };

    return {
        format("XL: %d", xl),
        format("XR: %d", xr),
        format("diff X: %lld", static_cast<long long>(xr) - xl),
        format("left Y1:%6.1f", quantityAt(test, xl, view.y1, r)),
        format("int Y1: %6.1f", static_cast<double>(sum1) / 1000.0),
        mean("avr Y1: ", sum1),
        format("right Y1:%6.1f", quantityAt(test, xr, view.y1, r)),
        format("left Y2: %6.1f", quantityAt(test, xl, view.y2, r)),
        format("int Y2: %6.1f", static_cast<double>(sum2) / 1000.0),
        mean("avr Y2: ", sum2),
        format("right Y2: %6.1f", quantityAt(test, xr, view.y2, r)),
    };
}

void drawReadouts(DrawContext& dc, const Rect& rect, const TestRecord& test, const GraphViewState& view) {
    const bool paper = dc.isPrinting();
    if (!paper) dc.rectangle(rect);

    int h = (rect.bottom - rect.top) / 3;
    const int w = (rect.right - rect.left) / 4;
    const int x1 = rect.left + w, x2 = rect.left + 2 * w, x3 = rect.left + 3 * w;
    // Printed rows are 8 mm high, so the 3 mm text has room: the panel reaches below the
    // rectangle it was given.
    if (paper) h *= 4;

    const std::array<std::string, kReadoutCount> texts = readoutTexts(test, view);

    const Font previousFont = dc.selectFont(Font{"Arial", paper ? 30 : 12, 400});
    const Color previousColor = dc.setTextColor(kBlack);

    auto row = [&](int r) { return std::pair{rect.top + r * h, rect.top + (r + 1) * h}; };
    auto cell = [&](int r, int left, int right, const std::string& text) {
        const auto [top, bottom] = row(r);
        dc.text(Rect{left, top, right, bottom}, text, TextAlign::Center);
    };

    cell(0, rect.left, x1, texts[0]);
    cell(0, x3, rect.right, texts[1]);
    cell(0, x1, x3, texts[2]);
    const int columns[5] = {rect.left, x1, x2, x3, rect.right};
    dc.setTextColor(kBlue);
    for (int c = 0; c < 4; ++c) cell(1, columns[c], columns[c + 1], texts[static_cast<size_t>(3 + c)]);
    dc.setTextColor(kRed);
    for (int c = 0; c < 4; ++c) cell(2, columns[c], columns[c + 1], texts[static_cast<size_t>(7 + c)]);

    dc.setTextColor(previousColor);
    dc.selectFont(previousFont);
}

}  // namespace vanta
