// The live detection over a full 60000-sample recording, ticked 100 samples at a time as
// the box delivers them (per-sample cost, against the direct 99-tap smoothing), and the
// drawing of one guidance tick on the recording context.
#include <benchmark/benchmark.h>

#include <memory>

#include "tests/support/recording_draw_context.h"
#include "core/analysis.h"
#include "core/trunk_motion.h"
#include "bench/guidance_tick_frame.h"
#include "measure/guidance_screen.h"
#include "measure/live_detection.h"

namespace {

using namespace vanta;

// One minute of a subject: strokes back to back, each a new attempt of the same seed.
std::unique_ptr<RepetitionRecord> fullRecording() {
    auto rep = std::make_unique<RepetitionRecord>();
    int attempt = 0;
    int i = 0;
    while (i < kMaxSamples) {
        TrunkAttempt subject(attemptParameters(5, attempt), 40u + static_cast<uint64_t>(attempt));
        ++attempt;
        for (int k = 0; k < subject.settledSample() + 500 && i < kMaxSamples; ++k, ++i) {
            int16_t s[6];
            subject.next(s);
            for (int ch = 0; ch < kChannelCount; ++ch) rep->raw.row(ch)[i] = s[ch];
        }
    }
    return rep;
}

void BM_DetectionFullRecording(benchmark::State& state) {
    auto rep = fullRecording();
    AcquisitionControl control;
    for (auto _ : state) {
        LiveDetection d;
        d.livePhase = PhaseStandStill;
        for (int c = 100; c <= kMaxSamples; c += 100) processTick(d, *rep, control, c, TickMode::Attempt);
        benchmark::DoNotOptimize(d.angle);
    }
    state.SetItemsProcessed(state.iterations() * kMaxSamples);
}
BENCHMARK(BM_DetectionFullRecording)->Unit(benchmark::kMicrosecond);

// What the rate of the tick would cost with the 99 multiply-adds per sample.
void BM_LaggedRateDirect99Taps(benchmark::State& state) {
    auto rep = fullRecording();
    for (auto _ : state) {
        double angle = 0.0;
        for (int i = 0; i < kMaxSamples; ++i) angle += smoothedChannel(*rep, i - kRateLag, RateY) / kRateScale * kSamplePeriod;
        benchmark::DoNotOptimize(angle);
    }
    state.SetItemsProcessed(state.iterations() * kMaxSamples);
}
BENCHMARK(BM_LaggedRateDirect99Taps)->Unit(benchmark::kMicrosecond);

void BM_GuidanceTickRecorded(benchmark::State& state) {
    const GuidanceLayout g = guidanceLayout(Rect{0, 0, 1280, 860});
    GuidanceScreen screen;
    const GuidanceFrame f = benchGuidanceFrame(static_cast<int>(state.range(0)));
    RecordingDrawContext dc;
    for (auto _ : state) {
        dc.clear();
        benchmark::DoNotOptimize(screen.drawTick(dc, g, f));
    }
}
BENCHMARK(BM_GuidanceTickRecorded)->Arg(PhaseStandStill)->Arg(PhaseReady)->Arg(PhaseStroke);

}  // namespace
