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

// A float32 maximum that a double value replaces when it is greater.
void updatePeak(float& peak, double value) {
    if (value > peak) peak = static_cast<float>(value);
}

// The analysis as the station describes it, step by step and sample by sample, with the
// per-sample accessors smoothedChannel and quantityAt: the reference the passes are
// checked against. Series values, maxima and sums are float32, rounded when stored; later
// steps read the stored value; every product in between is a double.
int analyseSampleBySample(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results) {
    const int n = rep.validSamples();
    const double d = rep.direction;
    const double k = static_cast<double>(rep.radius) * 2.0 * kPi / 360.0;  // cm of travel per degree
    float* angVel = series.writable(SeriesAngularVelocity);
    float* pos = series.writable(SeriesPosition);
    float* linVel = series.writable(SeriesLinearVelocity);
    float* linAcc = series.writable(SeriesLinearAcceleration);

    // Steps 1 and 2: the four series, sample 0 first, and the velocity peak over 1..N-1.
    // The rate w is a double: angular velocity stores it rounded to float32, while
    // position, linear velocity and the peak's comparison take the double itself.
    float peakVelocity = -10.0f;
    int velocityPeakIndex = -10;
    for (int i = 0; i < n; ++i) {
        const double w = smoothedChannel(rep, i, RateY) * d / kRateScale;
        angVel[i] = static_cast<float>(w);
        if (i == 0) {
            pos[0] = static_cast<float>(w * kSamplePeriod);
            linVel[0] = static_cast<float>(w * k);
            linAcc[0] = 0.0f;
            continue;
        }
        pos[i] = static_cast<float>(pos[i - 1] + w * kSamplePeriod);
        linVel[i] = static_cast<float>(w * k);
        linAcc[i] = static_cast<float>((static_cast<double>(linVel[i]) - linVel[i - 1]) * 10.0);
        // On equal values the earlier sample stays. The running maximum is float32: a later
        // w that rounds to it but lies above it as a double moves the peak to its sample.
        if (w > peakVelocity) {
            peakVelocity = static_cast<float>(w);
            velocityPeakIndex = i;
        }
    }
    results.velocityPeakIndex = velocityPeakIndex;

    // Step 3: position is measured from the reversal at sample 100. A file may hold fewer
    // samples; then there is no reference and the running sum stays as it is.
    if (n > kStrokeFirstSample) {
        const float p100 = pos[kStrokeFirstSample];
        for (int s = 0; s < n; ++s) pos[s] = pos[s] - p100;
    }

    // Steps 4 and 5: the five quantities of each sample of the stroke, column by column
    // (force, power, velocity, position, torque), into the whole stroke and its phase.
    PhaseAccumulator whole, accel, decel;
    float lastAbsPosition = 0.0f;
    float accelPosition = 0.0f;
    const int quantityOfColumn[kResultColumnCount] = {Force, Power, AngularVelocity, Position, Torque};
    constexpr int kPositionColumn = static_cast<int>(ResultColumn::Position);
    auto evaluate = [&](int i, PhaseAccumulator& phase, bool acceleration) {
        for (int c = 0; c < kResultColumnCount; ++c) {
            const double value = quantityAt(series, rep, i, quantityOfColumn[c]);
            updatePeak(whole.peak[c], value);
            updatePeak(phase.peak[c], value);
            if (c == kPositionColumn) {
                lastAbsPosition = static_cast<float>(std::fabs(value));
                if (acceleration) accelPosition = static_cast<float>(value);
            } else {
                accumulate(whole.sum[c], std::fabs(value));
                accumulate(phase.sum[c], value);
            }
        }
    };
    int accelCount = 0;
    for (int i = kStrokeFirstSample; i <= velocityPeakIndex; ++i, ++accelCount) evaluate(i, accel, true);
    int decelCount = 0;
    for (int i = velocityPeakIndex + 1; i < n - kStrokeTailSamples; ++i, ++decelCount) evaluate(i, decel, false);

    // Step 6.
    const float decelerationAngle = lastAbsPosition - accelPosition;

    // Step 7: without a peak the stored results stay as they were.
    if (velocityPeakIndex <= 0) return velocityPeakIndex;

    // Steps 8 and 9: the means over the samples that entered each sum, and the table.
    const int wholeCount = accelCount + decelCount;
    for (int c = 0; c < kResultColumnCount; ++c) {
        results.value[PeakAll][c] = whole.peak[c];
        results.value[PeakAcceleration][c] = accel.peak[c];
        results.value[PeakDeceleration][c] = decel.peak[c];
        if (c == kPositionColumn) {
            results.value[MeanAll][c] = lastAbsPosition;
            results.value[MeanAcceleration][c] = accelPosition;
            results.value[MeanDeceleration][c] = decelerationAngle;
        } else {
            results.value[MeanAll][c] = detail::meanOf(whole.sum[c], wholeCount);
            results.value[MeanAcceleration][c] = detail::meanOf(accel.sum[c], accelCount);
            results.value[MeanDeceleration][c] = detail::meanOf(decel.sum[c], decelCount);
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
