#include "core/demo_test.h"

#include <algorithm>

#include "core/trunk_motion.h"

namespace vanta {

AttemptParameters demoAttemptParameters(uint64_t seed, int attempt, double formPercent) {
    // Timing, rebound and the box's zero errors as the simulated box draws them per attempt;
    // travel and speed from the session's first attempt.
    AttemptParameters params = attemptParameters(seed, attempt);
    const AttemptParameters session = attemptParameters(seed, 0);
    // Peak power goes with the speed squared over the travel, so a speed within about 1 %
    // and a travel within about a degree keep a session's attempts within 5 to 10 %.
    SeededNoise jitter(seed * 2654435761u + static_cast<uint64_t>(attempt) * 40503u + 11u);
    params.windUpDegrees = session.windUpDegrees + 0.6 * jitter.gaussian();
    params.followThroughDegrees = session.followThroughDegrees + 0.6 * jitter.gaussian();
    params.peakVelocity = session.peakVelocity * (1.0 + 0.008 * jitter.gaussian()) * (1.0 + formPercent / 100.0);
    return params;
}

void recordDemoRepetition(RepetitionRecord& rep, uint64_t seed, int attempt, int samples, float load,
                          int direction, double formPercent) {
    AttemptParameters params = demoAttemptParameters(seed, attempt, formPercent);
    // The stroke's direction is the opposite of the wind-up's side.
    if (direction != 0) params.side = direction > 0 ? -1 : 1;
    constexpr float kDefaultLoad = 5.0f, kImmovableLoad = 40.0f;
    if (load != kDefaultLoad)
        params.peakVelocity *= std::max(0.1, (kImmovableLoad - static_cast<double>(load)) /
                                                 (kImmovableLoad - kDefaultLoad));
    TrunkAttempt subject(params, seed * 31u + static_cast<uint64_t>(attempt) + 1u);

    const int natural = subject.strokeEndSample() - subject.reversalSample() + kDemoLeadSamples + kDemoTailSamples;
    const int n = std::clamp(samples > 0 ? samples : natural, 0, kMaxSamples);
    const int windowStart = subject.reversalSample() - kDemoLeadSamples;

    // The rate offset is the mean of 1000 samples at rest, as taken before every attempt.
    constexpr int kRestFirst = 200;
    constexpr int kRestSamples = 1000;
    double restSum = 0.0;
    int16_t sample[kChannelCount];
    int32_t* ch[kChannelCount];
    for (int c = 0; c < kChannelCount; ++c) ch[c] = rep.raw.row(c);
    while (subject.position() < windowStart + n) {
        const int i = subject.position();
        subject.next(sample);
        if (i >= kRestFirst && i < kRestFirst + kRestSamples) restSum += sample[RateY];
        if (i >= windowStart) {
            for (int c = 0; c < kChannelCount; ++c) ch[c][i - windowStart] = sample[c];
        }
    }
    for (int c = 0; c < kChannelCount; ++c) std::fill(ch[c] + n, ch[c] + kMaxSamples, 0);

    // A wind-up to the positive side gives a stroke of negative rate: direction -1 turns
    // it positive for the analysis.
    rep.direction = -params.side;
    std::fill(std::begin(rep.channelOffset), std::end(rep.channelOffset), 0.0f);
    rep.channelOffset[RateY] = static_cast<float>(restSum / kRestSamples);
    rep.loadMass = load;
    rep.radius = 25.0f;
    rep.sampleCount = n;
}

void fillDemoTest(TestRecord& test, const DemoOptions& options) {
    const int count = std::clamp(options.repetitions, 0, kMaxRepetitions);
    test.subject.name = options.subjectName.empty() ? std::string("Demo Subject") : options.subjectName;
    test.subject.sex = options.sex;
    test.subject.weight = options.weight;
    test.subject.height = options.height;
    test.subject.comment1 = "Synthetic strokes";
    test.subject.comment2 = "";
    test.subject.comment3 = "";
    // A fixed date keeps demo files of the same seed identical byte for byte.
    test.testTime = options.testTime != 0 ? options.testTime : 1765000000 + static_cast<int32_t>(options.seed % 86400u);
    for (int r = 0; r < count; ++r) recordDemoRepetition(test.repetitions[r], options.seed, r, options.samples, options.load,
                                                         options.direction, options.formPercent);
    test.repetitionCount = count;
}

}  // namespace vanta
