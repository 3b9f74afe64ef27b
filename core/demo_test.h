// A synthetic test of plausible strokes, cut the way the measurement screen cuts a
// recorded attempt, for demonstrations, tests and benchmarks.
#pragma once

#include <cstdint>
#include <string>

#include "core/records.h"
#include "core/trunk_motion.h"

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
    // The athlete's form against the seed's own, in percent of stroke speed: a study
    // rehearses a training effect by raising it session after session.
    double formPercent = 0.0;
    // The subject and the test time written into the test; empty name and 0 keep the
    // demo's own ("Demo Subject", a fixed day of the seed).
    std::string subjectName{};
    int32_t testTime = 0;
    int sex = 1;        // 0 female, 1 male, as the subject record keeps it
    int height = 180;   // cm
    int weight = 80;    // kg
};

// Window kept around a stroke: 100 samples before the reversal, 149 after the stroke
// comes to rest, so the analysis finds the stroke at samples 100..N-151.
inline constexpr int kDemoLeadSamples = 100;
inline constexpr int kDemoTailSamples = 150;

// Replaces the subject, the test time and repetitions 0..repetitions-1 of `test` and
// sets repetitionCount. Does not analyse; the caller does, as after reading a file.
void fillDemoTest(TestRecord& test, const DemoOptions& options);

// The attempts of one demo session are one athlete on one day: the stroke's travel and
// speed belong to the session (drawn from the seed) and each attempt varies around them by
// a few percent, so the peak powers of a session's attempts at one load differ by about
// 5 to 10 % from the lowest to the highest, as a trained athlete's do.
AttemptParameters demoAttemptParameters(uint64_t seed, int attempt, double formPercent = 0.0);

// Records one attempt into `rep` as the measurement screen would store it: offsets from
// one second at rest, direction from the side of the wind-up, the window around the stroke.
// `load`, `direction` and `formPercent` as in DemoOptions.
void recordDemoRepetition(RepetitionRecord& rep, uint64_t seed, int attempt, int samples, float load = 5.0f,
                          int direction = 0, double formPercent = 0.0);

}  // namespace vanta
