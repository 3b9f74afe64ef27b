// A synthetic test of plausible strokes, cut the way the measurement screen cuts a
// recorded attempt, for demonstrations, tests and benchmarks.
#pragma once

#include <cstdint>

#include "core/records.h"

namespace vanta {

struct DemoOptions {
    int repetitions = 3;  // 0..kMaxRepetitions
    int samples = 0;      // samples per repetition; 0 keeps each stroke's own length
    uint64_t seed = 1;
    // kg on the bar. A subject moves a heavier bar more slowly: the peak angular velocity
    // falls in proportion to 40 kg less the load (as at 5 kg, the station's default, it is
    // unchanged), so a session over several loads has the top of power inside them.
    float load = 5.0f;
    // +1 or -1: every stroke in that direction; 0: the sides alternate, the first stroke
    // with direction -1.
    int direction = 0;
};

// Window kept around a stroke: 100 samples before the reversal, 149 after the stroke
// comes to rest, so the analysis finds the stroke at samples 100..N-151.
inline constexpr int kDemoLeadSamples = 100;
inline constexpr int kDemoTailSamples = 150;

// Replaces the subject, the test time and repetitions 0..repetitions-1 of `test` and
// sets repetitionCount. Does not analyse; the caller does, as after reading a file.
void fillDemoTest(TestRecord& test, const DemoOptions& options);

// Records one attempt into `rep` as the measurement screen would store it: offsets from
// one second at rest, direction from the side of the wind-up, the window around the stroke.
// `load` and `direction` as in DemoOptions.
void recordDemoRepetition(RepetitionRecord& rep, uint64_t seed, int attempt, int samples, float load = 5.0f,
                          int direction = 0);

}  // namespace vanta
