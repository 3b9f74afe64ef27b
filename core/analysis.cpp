#include "core/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "core/analysis_fast.h"
#include "core/side_by_side.h"

namespace vanta {

namespace {

double offsetCorrected(const int32_t* raw, float offset, int i) {
    return static_cast<double>(raw[i]) - static_cast<double>(offset);
}

// The 99-tap formula as the station has always evaluated it, in double.
double directSmoothed(const int32_t* raw, float offset, int a) {
    double sum = kSmoothCentreWeight * offsetCorrected(raw, offset, a);
    for (int k = 1; k <= kSmoothHalfWidth; ++k) {
        sum += (kSmoothCentreWeight - k) *
               (offsetCorrected(raw, offset, a - k) + offsetCorrected(raw, offset, a + k));
    }
    return sum / kSmoothWeightSum;
}

struct PhaseAccumulator {
    float peak[kResultColumnCount] = {};
    float sum[kResultColumnCount] = {};
};

// float32 accumulation of a double value, as "float += double" does.
void accumulate(float& sum, double value) { sum = static_cast<float>(static_cast<double>(sum) + value); }

void updatePeak(float& peak, double value) {
    if (value > peak) peak = static_cast<float>(value);
}


// The analysis as written, sample by sample: the reference the passes are checked against.
int analyseSampleBySample(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results) {
    const int n = rep.validSamples();
    const double d = rep.direction;
    const double k = static_cast<double>(rep.radius) * 2.0 * kPi / 360.0;  // cm per degree
    const int32_t* raw = rep.raw.row(RateY);
    const float off = rep.channelOffset[RateY];

    float* angVel = series.writable(SeriesAngularVelocity);
    float* pos = series.writable(SeriesPosition);
    float* linVel = series.writable(SeriesLinearVelocity);
    float* linAcc = series.writable(SeriesLinearAcceleration);

    float peakVelocity = -10.0f;
    int velocityPeakIndex = -10;

    // Every later step reads the float32 value as stored, never the double before it.
    auto store = [&](int i, double smoothed) {
        angVel[i] = static_cast<float>(smoothed * d / kRateScale);
        const double w = angVel[i];
        pos[i] = static_cast<float>(i == 0 ? w * kSamplePeriod : pos[i - 1] + w * kSamplePeriod);
        linVel[i] = static_cast<float>(w * k);
        if (i == 0) {
            linAcc[i] = 0.0f;
        } else {
            linAcc[i] = static_cast<float>((static_cast<double>(linVel[i]) - linVel[i - 1]) * 10.0);
            if (angVel[i] > peakVelocity) {
                peakVelocity = angVel[i];
                velocityPeakIndex = i;
            }
        }
    };

    const int smoothEnd = n - 1 < kLastSmoothedSample ? n - 1 : kLastSmoothedSample;
    int i = 0;
    for (; i < n && i < kFirstSmoothedSample; ++i) store(i, offsetCorrected(raw, off, i));
    for (; i <= smoothEnd; ++i) store(i, directSmoothed(raw, off, i));
    for (; i < n; ++i) store(i, offsetCorrected(raw, off, i));

    // Position is measured from the reversal at sample 100. A file may hold fewer samples;
    // then there is no reference and the running sum stays as it is.
    if (n > kStrokeFirstSample) {
        const float p100 = pos[kStrokeFirstSample];
        for (int s = 0; s < n; ++s) pos[s] = pos[s] - p100;
    }

    // Without a peak the stored results stay as they were; the phases would start
    // before sample 0, so they are not evaluated at all.
    results.velocityPeakIndex = velocityPeakIndex;
    if (velocityPeakIndex <= 0) return velocityPeakIndex;

    PhaseAccumulator whole, accel, decel;
    float lastAbsPosition = 0.0f;
    float accelPosition = 0.0f;
    constexpr int kPositionColumn = static_cast<int>(ResultColumn::Position);
    const double m = rep.loadMass;
    const double radius = rep.radius;

    // The five columns are the quantities force, power, angular velocity, position and
    // torque, computed exactly as quantityAt does (same operands, same order).
    auto evaluate = [&](int s, PhaseAccumulator& phase, bool acceleration) {
        const double a = linAcc[s];
        const double v[kResultColumnCount] = {a * m, m * a * linVel[s] / 100.0, angVel[s], pos[s],
                                              a * m * radius / 100.0};
        for (int c = 0; c < kResultColumnCount; ++c) {
            updatePeak(whole.peak[c], v[c]);
            updatePeak(phase.peak[c], v[c]);
            if (c == kPositionColumn) continue;
            accumulate(whole.sum[c], std::fabs(v[c]));
            accumulate(phase.sum[c], v[c]);
        }
        lastAbsPosition = static_cast<float>(std::fabs(v[kPositionColumn]));
        if (acceleration) accelPosition = static_cast<float>(v[kPositionColumn]);
    };

    int accelCount = 0;
    for (int s = kStrokeFirstSample; s <= velocityPeakIndex; ++s, ++accelCount) evaluate(s, accel, true);
    int decelCount = 0;
    for (int s = velocityPeakIndex + 1; s < n - kStrokeTailSamples; ++s, ++decelCount) evaluate(s, decel, false);
    const float decelerationAngle = lastAbsPosition - accelPosition;
    const int wholeCount = accelCount + decelCount;

    RepetitionResults& res = results;
    for (int c = 0; c < kResultColumnCount; ++c) {
        res.value[PeakAll][c] = whole.peak[c];
        res.value[PeakAcceleration][c] = accel.peak[c];
        res.value[PeakDeceleration][c] = decel.peak[c];
        if (c == kPositionColumn) {
            res.value[MeanAll][c] = lastAbsPosition;
            res.value[MeanAcceleration][c] = accelPosition;
            res.value[MeanDeceleration][c] = decelerationAngle;
        } else {
            res.value[MeanAll][c] = detail::meanOf(whole.sum[c], wholeCount);
            res.value[MeanAcceleration][c] = detail::meanOf(accel.sum[c], accelCount);
            res.value[MeanDeceleration][c] = detail::meanOf(decel.sum[c], decelCount);
        }
    }
    return velocityPeakIndex;
}

}  // namespace

double smoothedChannel(const RepetitionRecord& rep, int sample, int channel) {
    if (channel < 0 || channel >= kChannelCount) return 0.0;
    int a = sample;
    if (a < 0) a += 50;  // the live tick lags 50 samples behind the newest one
    if (a < 0 || a >= kMaxSamples) return 0.0;
    const int32_t* raw = rep.raw.row(channel);
    const float off = rep.channelOffset[channel];
    if (a < kFirstSmoothedSample || a > kLastSmoothedSample) return offsetCorrected(raw, off, a);
    return directSmoothed(raw, off, a);
}

double smoothedChannel(const TestRecord& test, int sample, int channel, int repetition) {
    if (repetition < 0 || repetition >= kMaxRepetitions) return 0.0;
    return smoothedChannel(test.repetitions[repetition], sample, channel);
}

double quantityAt(const RepetitionSeries& series, const RepetitionRecord& rep, int i, int q) {
    if (i < 0 || i >= kMaxSamples) return 0.0;
    const double m = rep.loadMass;
    const double radius = rep.radius;
    switch (q) {
    case AngularVelocity: return series[SeriesAngularVelocity][i];
    case Position: return series[SeriesPosition][i];
    case LinearVelocity: return series[SeriesLinearVelocity][i];
    case Force: return static_cast<double>(series[SeriesLinearAcceleration][i]) * m;
    case Power:
        return m * series[SeriesLinearAcceleration][i] * series[SeriesLinearVelocity][i] / 100.0;
    case Torque: return static_cast<double>(series[SeriesLinearAcceleration][i]) * m * radius / 100.0;
    default: return 0.0;
    }
}

double quantityAt(const TestRecord& test, int sample, int quantity, int repetition) {
    if (repetition < 0 || repetition >= kMaxRepetitions) return 0.0;
    return quantityAt(test.series[repetition], test.repetitions[repetition], sample, quantity);
}

int analyseRepetition(TestRecord& test, int r, Smoothing smoothing) {
    if (r < 0 || r >= kMaxRepetitions) return -10;
    return analyseRepetition(test.repetitions[r], test.series[r], test.results[r], smoothing);
}

int analyseRepetition(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results,
                      Smoothing smoothing) {
    if (smoothing == Smoothing::RunningSums) return detail::analyseInPasses(rep, series, results);
    return analyseSampleBySample(rep, series, results);
}

int repetitionsTogether(int count, unsigned threads) {
    const int share = count / static_cast<int>(threadsFor(threads, count));
    return std::clamp(share, 1, kAnalysedTogether);
}

void analyseRepetitions(TestRecord& test, int count, unsigned threads) {
    count = count < 0 ? 0 : (count > kMaxRepetitions ? kMaxRepetitions : count);
    // The series blocks come from the calling thread's allocator, as they would one at a
    // time: a block given back later then returns to where the next test finds it.
    for (int r = 0; r < count; ++r) test.series[r].values.allocate();
    forEachBatchSideBySide(count, repetitionsTogether(count, threads), threads, [&test](int first, int end) {
        RepetitionToAnalyse batch[kAnalysedTogether];
        for (int r = first; r < end; ++r) batch[r - first] = {&test.repetitions[r], &test.series[r], &test.results[r]};
        analyseTogether(std::span<const RepetitionToAnalyse>(batch, static_cast<size_t>(end - first)));
    });
}

}  // namespace vanta
