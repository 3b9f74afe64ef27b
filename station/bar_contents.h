// What the dialog bars' lists show: plain texts and the entry to select, formatted in the
// C library's numeric locale (the operator's decimal separator, as the station has
// always shown it).
#pragma once

#include <string>
#include <vector>

namespace vanta {

// At most 19 characters of a bar's text are ever typed or read back.
inline constexpr int kBarTextLimit = 19;

struct ListContents {
    std::vector<std::string> entries;
    int selected = -1;
};

// Load list of the measurement bar: 1 .. 30 kg; the current load is inserted in order when
// it is not one of them, 31 is appended when it is, so the list always has 31 entries.
// Every entry "%5.2f"; the current load is selected.
ListContents loadListContents(float currentLoad);

// "%5.2f" of a value, as the load list and the radius box show it.
std::string barNumberText(float value);

// Reads a typed number the way the station always has: the leading number of the text
// by the C library's rule in the current numeric locale, 0 when there is none; a comma
// is read as the decimal separator.
float barTextToNumber(const std::string& text);

// Repetition box of the report bar: "Repetition No(#) 1" .. count, first selected.
ListContents reportRepetitionContents(int repetitionCount);
// Repetition list of the curve bar: "Rep No. %2d" for 1 .. count, first selected.
ListContents curveRepetitionContents(int repetitionCount);
// The five quantities the curve graph offers, in code order.
const std::vector<std::string>& curveQuantityTitles();

}  // namespace vanta
