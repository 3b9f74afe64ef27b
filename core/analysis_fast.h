// The station's fast analysis of one repetition: the same float32 numbers as the analysis
// sample by sample, computed in passes the compiler can vectorise (see analysis.h).
#pragma once

#include "core/records.h"

namespace vanta::detail {

int analyseInPasses(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results);

}  // namespace vanta::detail
