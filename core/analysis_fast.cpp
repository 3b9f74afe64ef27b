#include "core/analysis_fast.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/analysis.h"
#include "core/running_triangle.h"

namespace vanta::detail {

namespace {

// The passes that need doubles for a stretch of samples take this many at a time, so that
// the stretch (three arrays of 8 kB) stays in the first-level cache.
constexpr int kStretch = 1024;

// Angular velocity of the samples [first, end), which are not smoothed.
void unsmoothedRate(const int32_t* raw, float off, double d, int first, int end, float* angVel) {
    for (int i = first; i < end; ++i)
        angVel[i] = static_cast<float>((static_cast<double>(raw[i]) - static_cast<double>(off)) * d / kRateScale);
}

// Functions that do nothing but divide and convert a stretch of samples are built twice:
// for the 256-bit vector unit where the processor has one (four divisions at a time) and
// for any x86-64. Division and conversion round the same in both, so the numbers do too.
// (ThreadSanitizer's runtime is not up yet when the choice between the two is made.)
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define VANTA_VECTOR_CLONES __attribute__((target_clones("avx", "default")))
#else
#define VANTA_VECTOR_CLONES
#endif

VANTA_VECTOR_CLONES
void rateFromNumerators(const double* __restrict numerator, int len, double d, float* __restrict angVel) {
    for (int j = 0; j < len; ++j) angVel[j] = static_cast<float>(numerator[j] / kSmoothWeightSum * d / kRateScale);
}

// Angular velocity of the smoothed samples first..last. The window's integer sums run
// sample by sample; the two divisions of each sample (by the weight sum, by the rate
// scale) then go through the vector unit a stretch at a time.
void smoothedRate(const int32_t* raw, float off, double d, int first, int last, float* __restrict angVel) {
    const double offsetTotal = static_cast<double>(off) * kSmoothWeightSum;
    RunningTriangle window;
    window.start(raw, first);
    double numerator[kStretch];
    for (int from = first; from <= last; from += kStretch) {
        const int len = std::min(kStretch, last - from + 1);
        for (int j = 0; j < len; ++j) {
            numerator[j] = static_cast<double>(window.total()) - offsetTotal;
            if (from + j < last) window.advance(raw);
        }
        rateFromNumerators(numerator, len, d, angVel + from);
    }
}

// Linear velocity from the stored angular velocity, and acceleration from the stored
// linear velocity of this sample and the one before.
void linearSeries(const float* __restrict angVel, double k, int n, float* __restrict linVel, float* __restrict linAcc) {
    for (int i = 0; i < n; ++i) linVel[i] = static_cast<float>(static_cast<double>(angVel[i]) * k);
    if (n > 0) linAcc[0] = 0.0f;
    for (int i = 1; i < n; ++i)
        linAcc[i] = static_cast<float>((static_cast<double>(linVel[i]) - static_cast<double>(linVel[i - 1])) * 10.0);
}

// The largest of `peak` and the values [from, to]; NaN never wins, as in a running maximum
// that moves only on a greater value. Sixteen lanes of running maxima give the same value
// as one. (A zero may come back with the other sign when `peak` starts below 0; the peaks
// of the table start at 0, and the velocity peak only compares with ==, which ignores it.)
float peakOf(const float* values, int from, int to, float peak) {
    typedef float Lanes __attribute__((vector_size(16)));
    auto load = [values](int s) {
        Lanes v;
        std::memcpy(&v, values + s, sizeof v);
        return v;
    };
    Lanes l0 = {peak, peak, peak, peak}, l1 = l0, l2 = l0, l3 = l0;
    int s = from;
    for (; s + 15 <= to; s += 16) {
        const Lanes v0 = load(s), v1 = load(s + 4), v2 = load(s + 8), v3 = load(s + 12);
        l0 = v0 > l0 ? v0 : l0;
        l1 = v1 > l1 ? v1 : l1;
        l2 = v2 > l2 ? v2 : l2;
        l3 = v3 > l3 ? v3 : l3;
    }
    for (const Lanes& l : {l0, l1, l2, l3})
        for (int j = 0; j < 4; ++j) peak = l[j] > peak ? l[j] : peak;
    for (; s <= to; ++s) peak = values[s] > peak ? values[s] : peak;
    return peak;
}

// The sample of the highest angular velocity after sample 0 that exceeds -10 deg/s; of
// equal values the first, as a running maximum that moves only on a greater value finds it.
int velocityPeak(const float* angVel, int n) {
    const float best = peakOf(angVel, 1, n - 1, -10.0f);
    if (!(best > -10.0f)) return -10;
    for (int i = 1; i < n; ++i)
        if (angVel[i] == best) return i;
    return -10;
}

// One step of the running position: the unshifted position of sample i from that of i - 1.
inline float nextPosition(float previous, float angVel) {
    return static_cast<float>(static_cast<double>(previous) + static_cast<double>(angVel) * kSamplePeriod);
}

// The running position: each sample adds its angular velocity times the sample period to
// the float32 value stored for the sample before, as the station has always summed it.
// `last` is the unshifted position of the latest sample summed.
struct RunningPosition {
    const float* angVel;
    float* pos;
    float last = 0.0f;

    // Positions of samples 0..end before the shift to sample 100.
    void start(int end) {
        if (end < 0) return;
        float p = static_cast<float>(static_cast<double>(angVel[0]) * kSamplePeriod);
        pos[0] = p;
        for (int i = 1; i <= end; ++i) pos[i] = p = nextPosition(p, angVel[i]);
        last = p;
    }
};

constexpr int kForce = static_cast<int>(ResultColumn::Force);
constexpr int kPower = static_cast<int>(ResultColumn::Power);
constexpr int kVelocity = static_cast<int>(ResultColumn::Velocity);
constexpr int kPosition = static_cast<int>(ResultColumn::Position);
constexpr int kTorque = static_cast<int>(ResultColumn::Torque);

struct Phase {
    float peak[kResultColumnCount] = {};
    float sum[kResultColumnCount] = {};
};

// The column values of a stretch of samples, in double as quantityAt gives them, and
// rounded to float32 as the peaks keep them.
struct StretchValues {
    double force[kStretch];
    double power[kStretch];
    double torque[kStretch];
    float forcePeak[kStretch];
    float powerPeak[kStretch];
    float torquePeak[kStretch];
};

VANTA_VECTOR_CLONES
void columnValues(const float* __restrict acc, const float* __restrict vel, int len, double m, double radius,
                  StretchValues& __restrict out) {
    for (int j = 0; j < len; ++j) {
        const double a = acc[j];
        out.force[j] = a * m;
        out.power[j] = m * a * static_cast<double>(vel[j]) / 100.0;
        out.torque[j] = a * m * radius / 100.0;
        out.forcePeak[j] = static_cast<float>(out.force[j]);
        out.powerPeak[j] = static_cast<float>(out.power[j]);
        out.torquePeak[j] = static_cast<float>(out.torque[j]);
    }
}

// float32 accumulation of a double value, as "float += double" does.
inline float accumulated(float sum, double value) { return static_cast<float>(static_cast<double>(sum) + value); }

// Peaks and sums of the stroke's samples. The five column values of each sample are the
// quantities force, power, angular velocity, position and torque, with the operands and
// the order of quantityAt. The peaks do not depend on the order of the samples (a maximum
// of float32 values), so they go through the vector unit; the sums are float32 and keep
// the order of the samples, one sample after the other.
class StrokeEvaluation {
public:
    StrokeEvaluation(const float* angVel, const float* linVel, const float* linAcc, float* pos, double m, double radius)
        : angVel_(angVel), linVel_(linVel), linAcc_(linAcc), pos_(pos), m_(m), radius_(radius) {}

    float wholeSum[kResultColumnCount] = {};

    // Evaluates samples from..to into `phase` and the whole-stroke sums. With `position`,
    // the running position is carried on over these samples on the way (shifted by p100),
    // so its chain of float32 additions overlaps the sums' chains.
    template <bool kCarryPosition>
    void run(int from, int to, Phase& phase, RunningPosition* position = nullptr, float p100 = 0.0f) {
        StretchValues values;
        const double* force = values.force;
        const double* power = values.power;
        const double* torque = values.torque;
        for (int first = from; first <= to; first += kStretch) {
            const int len = std::min(kStretch, to - first + 1);
            const float* w = angVel_ + first;
            columnValues(linAcc_ + first, linVel_ + first, len, m_, radius_, values);
            phase.peak[kForce] = peakOf(values.forcePeak, 0, len - 1, phase.peak[kForce]);
            phase.peak[kPower] = peakOf(values.powerPeak, 0, len - 1, phase.peak[kPower]);
            phase.peak[kTorque] = peakOf(values.torquePeak, 0, len - 1, phase.peak[kTorque]);
            phase.peak[kVelocity] = peakOf(w, 0, len - 1, phase.peak[kVelocity]);

            float wf = wholeSum[kForce], wp = wholeSum[kPower], wv = wholeSum[kVelocity], wq = wholeSum[kTorque];
            float sf = phase.sum[kForce], sp = phase.sum[kPower], sv = phase.sum[kVelocity], sq = phase.sum[kTorque];
            float unshifted = kCarryPosition ? position->last : 0.0f;
            float* __restrict p = pos_ + first;
            for (int j = 0; j < len; ++j) {
                if constexpr (kCarryPosition) {
                    unshifted = nextPosition(unshifted, w[j]);
                    p[j] = unshifted - p100;
                }
                const double vel = w[j];
                wf = accumulated(wf, std::fabs(force[j]));
                wp = accumulated(wp, std::fabs(power[j]));
                wv = accumulated(wv, std::fabs(vel));
                wq = accumulated(wq, std::fabs(torque[j]));
                sf = accumulated(sf, force[j]);
                sp = accumulated(sp, power[j]);
                sv = accumulated(sv, vel);
                sq = accumulated(sq, torque[j]);
            }
            wholeSum[kForce] = wf;
            wholeSum[kPower] = wp;
            wholeSum[kVelocity] = wv;
            wholeSum[kTorque] = wq;
            phase.sum[kForce] = sf;
            phase.sum[kPower] = sp;
            phase.sum[kVelocity] = sv;
            phase.sum[kTorque] = sq;
            if constexpr (kCarryPosition) position->last = unshifted;
        }
        phase.peak[kPosition] = peakOf(pos_, from, to, phase.peak[kPosition]);
    }

private:
    const float* angVel_;
    const float* linVel_;
    const float* linAcc_;
    float* pos_;
    double m_;
    double radius_;
};


}  // namespace

int analyseInPasses(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results) {
    const int n = rep.validSamples();
    const double d = rep.direction;
    const double k = static_cast<double>(rep.radius) * 2.0 * kPi / 360.0;  // cm per degree
    const int32_t* raw = rep.raw.row(RateY);
    const float off = rep.channelOffset[RateY];

    float* angVel = series.writable(SeriesAngularVelocity);
    float* pos = series.writable(SeriesPosition);
    float* linVel = series.writable(SeriesLinearVelocity);
    float* linAcc = series.writable(SeriesLinearAcceleration);

    const int head = std::min(n, kFirstSmoothedSample);
    const int smoothEnd = std::min(n - 1, kLastSmoothedSample);
    unsmoothedRate(raw, off, d, 0, head, angVel);
    if (kFirstSmoothedSample <= smoothEnd) smoothedRate(raw, off, d, kFirstSmoothedSample, smoothEnd, angVel);
    unsmoothedRate(raw, off, d, std::max(head, smoothEnd + 1), n, angVel);
    linearSeries(angVel, k, n, linVel, linAcc);

    const int peak = velocityPeak(angVel, n);
    results.velocityPeakIndex = peak;

    const int strokeEnd = n - kStrokeTailSamples - 1;  // last sample of the deceleration phase
    RunningPosition position{angVel, pos};
    StrokeEvaluation stroke(angVel, linVel, linAcc, pos, rep.loadMass, rep.radius);
    Phase accel, decel;
    if (peak >= kStrokeFirstSample) {
        // The usual stroke: the position of sample 100 is known before the first sample
        // evaluated, so the position's sum runs along with the evaluation.
        position.start(kStrokeFirstSample);
        const float p100 = pos[kStrokeFirstSample];
        for (int s = 0; s <= kStrokeFirstSample; ++s) pos[s] = pos[s] - p100;
        stroke.run<false>(kStrokeFirstSample, kStrokeFirstSample, accel);
        stroke.run<true>(kStrokeFirstSample + 1, peak, accel, &position, p100);
        stroke.run<true>(peak + 1, strokeEnd, decel, &position, p100);
        float unshifted = position.last;
        for (int s = std::max(peak, strokeEnd) + 1; s < n; ++s) {
            unshifted = nextPosition(unshifted, angVel[s]);
            pos[s] = unshifted - p100;
        }
    } else {
        // Position is measured from the reversal at sample 100. A file may hold fewer
        // samples; then there is no reference and the running sum stays as it is.
        position.start(n - 1);
        if (n > kStrokeFirstSample) {
            const float p100 = pos[kStrokeFirstSample];
            for (int s = 0; s < n; ++s) pos[s] = pos[s] - p100;
        }
        // Without a peak the stored results stay as they were; the phases would start
        // before sample 0, so they are not evaluated at all.
        if (peak <= 0) return peak;
        // A peak before the reversal: no acceleration phase, the deceleration phase starts
        // right after the peak.
        stroke.run<false>(peak + 1, strokeEnd, decel);
    }

    const int accelCount = peak >= kStrokeFirstSample ? peak - (kStrokeFirstSample - 1) : 0;
    const int decelCount = std::max(0, strokeEnd - peak);
    const int wholeCount = accelCount + decelCount;
    const float accelPosition = accelCount > 0 ? pos[peak] : 0.0f;
    const int lastEvaluated = decelCount > 0 ? strokeEnd : peak;
    const float lastAbsPosition = wholeCount > 0 ? std::fabs(pos[lastEvaluated]) : 0.0f;

    for (int c = 0; c < kResultColumnCount; ++c) {
        results.value[PeakAll][c] = std::max(accel.peak[c], decel.peak[c]);
        results.value[PeakAcceleration][c] = accel.peak[c];
        results.value[PeakDeceleration][c] = decel.peak[c];
        if (c == kPosition) {
            results.value[MeanAll][c] = lastAbsPosition;
            results.value[MeanAcceleration][c] = accelPosition;
            results.value[MeanDeceleration][c] = lastAbsPosition - accelPosition;
        } else {
            results.value[MeanAll][c] = meanOf(stroke.wholeSum[c], wholeCount);
            results.value[MeanAcceleration][c] = meanOf(accel.sum[c], accelCount);
            results.value[MeanDeceleration][c] = meanOf(decel.sum[c], decelCount);
        }
    }
    return peak;
}

}  // namespace vanta::detail
