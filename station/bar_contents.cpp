#include "station/bar_contents.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>

#include "graphs/graph_layout.h"

namespace vanta {

std::string barNumberText(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%5.2f", static_cast<double>(value));
    return text;
}

float barTextToNumber(const std::string& text) {
    // A decimal comma is meant as the decimal separator whatever the locale: "12,5" kg is
    // twelve and a half, not twelve.
    std::string number = text;
    const char point = *std::localeconv()->decimal_point;
    for (char& c : number)
        if (c == ',') c = point;
    // strtod: leading blanks skipped, the number up to the first character that does not
    // fit the locale's form, 0 when nothing fits (what atof has always given the station).
    return static_cast<float>(std::strtod(number.c_str(), nullptr));
}

ListContents loadListContents(float currentLoad) {
    ListContents list;
    bool placed = false;
    for (int kg = 1; kg <= 30; ++kg) {
        const float v = static_cast<float>(kg);
        if (!placed && currentLoad < v) {
            list.selected = static_cast<int>(list.entries.size());
            list.entries.push_back(barNumberText(currentLoad));
            placed = true;
        }
        if (!placed && currentLoad == v) {
            list.selected = static_cast<int>(list.entries.size());
            placed = true;
        }
        list.entries.push_back(barNumberText(v));
    }
    if (placed && list.entries.size() == 30) {
        // The load was one of 1..30: the list is made up to 31 with the next value.
        list.entries.push_back(barNumberText(31.0f));
    } else if (!placed) {
        list.selected = static_cast<int>(list.entries.size());
        list.entries.push_back(barNumberText(currentLoad));
    }
    return list;
}

ListContents reportRepetitionContents(int repetitionCount) {
    ListContents list;
    for (int r = 1; r <= repetitionCount; ++r) list.entries.push_back("Repetition No(#) " + std::to_string(r));
    list.selected = list.entries.empty() ? -1 : 0;
    return list;
}

ListContents curveRepetitionContents(int repetitionCount) {
    ListContents list;
    for (int r = 1; r <= repetitionCount; ++r) {
        char text[32];
        std::snprintf(text, sizeof text, "Rep No. %2d", r);
        list.entries.push_back(text);
    }
    list.selected = list.entries.empty() ? -1 : 0;
    return list;
}

const std::vector<std::string>& curveQuantityTitles() {
    static const std::vector<std::string> titles(quantityTitles.begin(), quantityTitles.end());
    return titles;
}

}  // namespace vanta
