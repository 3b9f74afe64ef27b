#include "graphs/axes_form.h"

#include <charconv>

namespace vanta {

namespace {
bool isBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

AxesFieldTexts axesFieldTexts(const GraphSettings& settings) {
    AxesFieldTexts texts;
    for (int q = 0; q < kGraphQuantities; ++q) {
        texts[static_cast<size_t>(3 * q)] = std::to_string(settings.axisMin[q]);
        texts[static_cast<size_t>(3 * q + 1)] = std::to_string(settings.axisMax[q]);
        texts[static_cast<size_t>(3 * q + 2)] = std::to_string(settings.axisStep[q]);
    }
    return texts;
}

std::optional<int32_t> readDialogInteger(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    // from_chars takes a minus sign but not a plus sign.
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text.front() == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

AxesFormResult readAxesForm(const AxesFieldTexts& texts, int autoscaleIndex, const GraphSettings& current) {
    AxesFormResult result;
    GraphSettings read = current;
    for (int k = 0; k < kAxesFieldCount; ++k) {
        const std::optional<int32_t> v = readDialogInteger(texts[static_cast<size_t>(k)]);
        if (!v) {
            result.refusedField = k;
            return result;
        }
        int32_t* column[3] = {read.axisMin, read.axisMax, read.axisStep};
        column[k % 3][k / 3] = *v;
    }
    read.autoscale = autoscaleIndex;
    result.accepted = true;
    result.settings = read;
    return result;
}

}  // namespace vanta
