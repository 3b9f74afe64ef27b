// The fields of the axes settings dialog without the dialog: which field holds which value,
// the texts it opens with, and reading them back on OK.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "storage/settings_file.h"

namespace vanta {

inline constexpr int kAxesFieldCount = 3 * kGraphQuantities;

// Control ids of the MIN, MAX and STEP fields, one row per quantity code, in reading order.
inline constexpr int kAxesFieldIds[kGraphQuantities][3] = {
    {1002, 1003, 1004}, {1017, 1018, 1019}, {1005, 1006, 1007}, {1011, 1012, 1013}, {1014, 1015, 1016},
};
inline constexpr int kAutoscaleOnId = 1078;
inline constexpr int kAutoscaleOffId = 1027;

// Field k of the reading order is row k / 3, column k % 3 (MIN, MAX, STEP).
using AxesFieldTexts = std::array<std::string, kAxesFieldCount>;

// The texts the fields open with: each value as its decimal text.
AxesFieldTexts axesFieldTexts(const GraphSettings& settings);

// A field's text as the dialog reads it: optional blanks around a decimal integer with an
// optional sign that fits 32 bits. Anything else (empty, "12a", "1.5", 2^31) is refused.
std::optional<int32_t> readDialogInteger(std::string_view text);

struct AxesFormResult {
    bool accepted = false;
    int refusedField = -1;   // index in reading order of the first refused field
    GraphSettings settings;  // on acceptance: the values to store
};

// OK: reads the fields row by row in the order of their ids, then the autoscale buttons
// (0 "On", 1 "Off"). The first refused field stops the reading and nothing is taken over.
// The Y quantities of `current` are kept; no other check is made (a minimum above the
// maximum or a step of 0 is stored as entered).
AxesFormResult readAxesForm(const AxesFieldTexts& texts, int autoscaleIndex, const GraphSettings& current);

}  // namespace vanta
