// The station's fast analysis of one repetition: the same float32 numbers as the analysis
// sample by sample, computed in passes the compiler can vectorise (see analysis.h).
#pragma once

#include "core/records.h"

namespace vanta::detail {

// The mean of a column over a phase: a range without samples has no mean, its cell reads 0.
inline float meanOf(float sum, int count) { return count <= 0 ? 0.0f : sum / static_cast<float>(count); }

int analyseInPasses(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results);

}  // namespace vanta::detail
