// The names of a repetition's 30 results, one table for every place that hands them to a
// reader: the lab server's researchers' view `vanta_results` and `analyse --json`.
#pragma once

#include <string>
#include <vector>

#include "core/records.h"

namespace vanta {

// A result's column name (e.g. "peak_power_all_w") and where it sits in
// RepetitionResults::value.
struct ResultColumnName {
    std::string name;
    int row = 0;     // ResultRow
    int column = 0;  // ResultColumn
};

// The results array holds the report's values row by row as RepetitionResults does
// (peak all, peak acceleration, peak deceleration, mean all, mean acceleration, mean
// deceleration; in each force, power, velocity, position, torque). The names come in the
// report table's order: the mean rows first (force, power, velocity, angle, torque, each
// over the whole stroke, the acceleration and the deceleration phase), then the peaks the
// same way; units as the table gives them.
inline std::vector<ResultColumnName> resultColumnNames() {
    static const char* const quantity[] = {"force", "power", "velocity", "position", "torque"};
    static const char* const unit[] = {"n", "w", "deg_s", "deg", "nm"};
    static const char* const phase[] = {"all", "acc", "dec"};
    std::vector<ResultColumnName> names;
    for (const char* kind : {"mean", "peak"})
        for (int q = 0; q < kResultColumnCount; ++q)
            for (int ph = 0; ph < 3; ++ph) {
                const int row = (std::string(kind) == "peak" ? PeakAll : MeanAll) + ph;
                names.push_back({std::string(kind) + "_" + quantity[q] + "_" + phase[ph] + "_" + unit[q], row, q});
            }
    return names;
}

}  // namespace vanta
