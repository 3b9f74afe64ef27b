#include "core/analysis_fast.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

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

// Functions that do nothing but divide, convert and add a stretch of samples are built
// three times: for the 512-bit vector unit where the processor has one (eight divisions at
// a time), for the 256-bit one (four) and for any x86-64. Division, conversion and
// addition round the same in all, so the numbers do too.
// (ThreadSanitizer's runtime is not up yet when the choice between the two is made.)
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define VANTA_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx", "default")))
#else
#define VANTA_VECTOR_CLONES
#endif

VANTA_VECTOR_CLONES
void rateFromNumerators(const double* __restrict numerator, int len, double d, float* __restrict angVel) {
    for (int j = 0; j < len; ++j) angVel[j] = static_cast<float>(numerator[j] / kSmoothWeightSum * d / kRateScale);
}

// How the step of the triangular sum changes from centre to centre: T(a+1) - T(a) is
// sum raw(a+1..a+50) - sum raw(a-49..a), and from a to a + 1 it changes by
// raw(a+51) - 2 raw(a+1) + raw(a-49). Exact in 64-bit integers, whatever the samples.
VANTA_VECTOR_CLONES
void stepChanges(const int32_t* __restrict raw, int from, int count, int64_t* __restrict change) {
    for (int j = 0; j < count; ++j) {
        const int a = from + j;
        change[j] = static_cast<int64_t>(raw[a + 51]) - 2 * static_cast<int64_t>(raw[a + 1]) + raw[a - 49];
    }
}

// Angular velocity of the smoothed samples first..last. The window's integer sum walks
// from centre to centre by its step, and the step by its change, which the vector unit
// works out beforehand a stretch at a time: two integer additions per sample. The two
// divisions of each sample (by the weight sum, by the rate scale) then go through the
// vector unit a stretch at a time too.
void smoothedRate(const int32_t* raw, float off, double d, int first, int last, float* __restrict angVel) {
    const double offsetTotal = static_cast<double>(off) * kSmoothWeightSum;
    RunningTriangle window;
    window.start(raw, first);
    int64_t total = window.total();
    int64_t step = window.step(raw);
    double numerator[kStretch];
    int64_t change[kStretch];
    for (int from = first; from <= last; from += kStretch) {
        const int len = std::min(kStretch, last - from + 1);
        // The last centre needs no step beyond it (its change would read past the row).
        const int changes = std::min(len, last - from);
        stepChanges(raw, from, changes, change);
        if (changes < len) change[changes] = 0;
        for (int j = 0; j < len; ++j) {
            numerator[j] = static_cast<double>(total) - offsetTotal;
            total += step;
            step += change[j];
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

// The peaks of force, power, torque and angular velocity over a stretch whose column
// values are in `values`, and angular velocity w. The peaks do not depend on the order of
// the samples (a maximum of float32 values), so they go through the vector unit.
void stretchPeaks(const StretchValues& values, const float* w, int len, Phase& phase) {
    phase.peak[kForce] = peakOf(values.forcePeak, 0, len - 1, phase.peak[kForce]);
    phase.peak[kPower] = peakOf(values.powerPeak, 0, len - 1, phase.peak[kPower]);
    phase.peak[kTorque] = peakOf(values.torquePeak, 0, len - 1, phase.peak[kTorque]);
    phase.peak[kVelocity] = peakOf(w, 0, len - 1, phase.peak[kVelocity]);
}

// float32 accumulation of a double value, as "float += double" does.
inline float accumulated(float sum, double value) { return static_cast<float>(static_cast<double>(sum) + value); }

// One stroke's eight float32 sums taken scalar, sample after sample: the whole stroke's
// sums of absolute values and the phase's sums of force, power, velocity and torque.
struct EightSums {
    float wf, wp, wv, wq, sf, sp, sv, sq;

    void add(const StretchValues& values, int j, double vel) {
        wf = accumulated(wf, std::fabs(values.force[j]));
        wp = accumulated(wp, std::fabs(values.power[j]));
        wv = accumulated(wv, std::fabs(vel));
        wq = accumulated(wq, std::fabs(values.torque[j]));
        sf = accumulated(sf, values.force[j]);
        sp = accumulated(sp, values.power[j]);
        sv = accumulated(sv, vel);
        sq = accumulated(sq, values.torque[j]);
    }
};

// The five column values of each sample are the quantities force, power, angular
// velocity, position and torque, with the operands and the order of quantityAt. Each
// sample adds the absolute values of four of them to the whole stroke's sums and the
// values themselves to its phase's sums, all float32, one sample after the other.
// Here for a stroke whose position is already known for every sample (the peak lies before
// the reversal at sample 100): its samples from..to into `phase`.
void evaluateKnownPositions(const float* angVel, const float* linVel, const float* linAcc, const float* pos, double m,
                            double radius, int from, int to, Phase& phase, float wholeSum[kResultColumnCount]) {
    StretchValues values;
    for (int first = from; first <= to; first += kStretch) {
        const int len = std::min(kStretch, to - first + 1);
        const float* w = angVel + first;
        columnValues(linAcc + first, linVel + first, len, m, radius, values);
        stretchPeaks(values, w, len, phase);
        EightSums sums{wholeSum[kForce], wholeSum[kPower], wholeSum[kVelocity], wholeSum[kTorque],
                       phase.sum[kForce],  phase.sum[kPower],    phase.sum[kVelocity], phase.sum[kTorque]};
        for (int j = 0; j < len; ++j) sums.add(values, j, w[j]);
        wholeSum[kForce] = sums.wf;
        wholeSum[kPower] = sums.wp;
        wholeSum[kVelocity] = sums.wv;
        wholeSum[kTorque] = sums.wq;
        phase.sum[kForce] = sums.sf;
        phase.sum[kPower] = sums.sp;
        phase.sum[kVelocity] = sums.sv;
        phase.sum[kTorque] = sums.sq;
    }
    phase.peak[kPosition] = peakOf(pos, from, to, phase.peak[kPosition]);
}

// The usual stroke of one repetition (the peak at or after the reversal at sample 100):
// the acceleration phase 100..peak, then the deceleration phase peak+1..N-151. The running
// position is carried on over the stroke as its samples are evaluated, shifted by the
// position of sample 100, so that its chain of float32 additions overlaps the sums'.
// Strokes of several repetitions go through the samples together (see strokeSteps).
struct StrokeLane {
    struct Piece {
        int from;
        int to;
        Phase* phase;
    };

    const float* angVel;
    const float* linVel;
    const float* linAcc;
    float* pos;
    double m;
    double radius;
    float p100;       // unshifted position of sample 100
    float unshifted;  // unshifted position of the sample before `next`
    // The whole stroke's sums of |force|, |power|, |velocity|, |torque|, then the current
    // phase's sums of force, power, velocity, torque.
    float sums[8] = {};
    Piece pieces[2];
    int pieceCount = 0;
    int piece = 0;
    int next = 0;  // the next sample to evaluate

    bool done() const { return piece == pieceCount; }
    int left() const { return pieces[piece].to - next + 1; }
    Phase& phase() { return *pieces[piece].phase; }

    // The column values of the next `len` samples (all in the current piece), and their
    // peaks but that of position.
    void values(int len, StretchValues& out) {
        columnValues(linAcc + next, linVel + next, len, m, radius, out);
        stretchPeaks(out, angVel + next, len, phase());
    }
    // After strokeSteps over `len` samples: their position peak; the next piece when this one
    // is done, its phase's sums starting from 0.
    void advance(int len) {
        phase().peak[kPosition] = peakOf(pos, next, next + len - 1, phase().peak[kPosition]);
        next += len;
        if (next <= pieces[piece].to) return;
        Phase& ended = phase();
        ended.sum[kForce] = sums[4];
        ended.sum[kPower] = sums[5];
        ended.sum[kVelocity] = sums[6];
        ended.sum[kTorque] = sums[7];
        sums[4] = sums[5] = sums[6] = sums[7] = 0.0f;
        if (++piece < pieceCount) next = pieces[piece].from;
    }
};

// Vectors of four lanes: a repetition's four whole-stroke sums go through one, its four
// phase sums through another, each lane rounded to float32 after every addition exactly as
// its own scalar sum would be.
typedef float Float4 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));
typedef int64_t Bits4 __attribute__((vector_size(32)));

// `len` samples of K strokes, the steps of one repetition between those of the others: a
// step of one repetition's sums must wait for the step before it (convert, add, convert
// back), and the other repetitions' steps go on meanwhile.
template <int K>
[[gnu::always_inline]] inline void strokeStepsOf(StrokeLane* const* lanes, const StretchValues* values, int len) {
    const Bits4 valueBits = {INT64_MAX, INT64_MAX, INT64_MAX, INT64_MAX};  // all but the sign
    Float4 whole[K], phase[K];
    float unshifted[K], p100[K];
    const float* w[K];
    float* __restrict p[K];
    const double* force[K];
    const double* power[K];
    const double* torque[K];
#pragma GCC unroll 8
    for (int k = 0; k < K; ++k) {
        StrokeLane& lane = *lanes[k];
        std::memcpy(&whole[k], lane.sums, sizeof whole[k]);
        std::memcpy(&phase[k], lane.sums + 4, sizeof phase[k]);
        unshifted[k] = lane.unshifted;
        p100[k] = lane.p100;
        w[k] = lane.angVel + lane.next;
        p[k] = lane.pos + lane.next;
        force[k] = values[k].force;
        power[k] = values[k].power;
        torque[k] = values[k].torque;
    }
    // Each repetition's sums must stay in registers from step to step: the loop over the
    // repetitions is unrolled whole.
    for (int j = 0; j < len; ++j) {
#pragma GCC unroll 8
        for (int k = 0; k < K; ++k) {
            const Double4 v = {force[k][j], power[k][j], static_cast<double>(w[k][j]), torque[k][j]};
            // |v|: the sign bit cleared, as fabs does.
            const Double4 absV = (Double4)((Bits4)v & valueBits);
            // Widened element by element: GCC then converts all four lanes at once.
            const Double4 wholeWide = {whole[k][0], whole[k][1], whole[k][2], whole[k][3]};
            const Double4 phaseWide = {phase[k][0], phase[k][1], phase[k][2], phase[k][3]};
            whole[k] = __builtin_convertvector(wholeWide + absV, Float4);
            phase[k] = __builtin_convertvector(phaseWide + v, Float4);
            unshifted[k] = nextPosition(unshifted[k], w[k][j]);
            p[k][j] = unshifted[k] - p100[k];
        }
    }
#pragma GCC unroll 8
    for (int k = 0; k < K; ++k) {
        StrokeLane& lane = *lanes[k];
        std::memcpy(lane.sums, &whole[k], sizeof whole[k]);
        std::memcpy(lane.sums + 4, &phase[k], sizeof phase[k]);
        lane.unshifted = unshifted[k];
    }
}

// The steps for two, three, four repetitions at a time, built for the wider vector units
// where there are some (see VANTA_VECTOR_CLONES).
VANTA_VECTOR_CLONES
void strokeSteps2(StrokeLane* const* lanes, const StretchValues* values, int len) { strokeStepsOf<2>(lanes, values, len); }
VANTA_VECTOR_CLONES
void strokeSteps3(StrokeLane* const* lanes, const StretchValues* values, int len) { strokeStepsOf<3>(lanes, values, len); }
VANTA_VECTOR_CLONES
void strokeSteps4(StrokeLane* const* lanes, const StretchValues* values, int len) { strokeStepsOf<4>(lanes, values, len); }

// One stroke alone: eight scalar sums wait less for each step than four-lane vectors do.
void strokeSteps1(StrokeLane& lane, const StretchValues& values, int len) {
    const float* w = lane.angVel + lane.next;
    float* __restrict p = lane.pos + lane.next;
    const float p100 = lane.p100;
    float unshifted = lane.unshifted;
    EightSums sums{lane.sums[0], lane.sums[1], lane.sums[2], lane.sums[3],
                   lane.sums[4], lane.sums[5], lane.sums[6], lane.sums[7]};
    for (int j = 0; j < len; ++j) {
        unshifted = nextPosition(unshifted, w[j]);
        p[j] = unshifted - p100;
        sums.add(values, j, w[j]);
    }
    const float taken[8] = {sums.wf, sums.wp, sums.wv, sums.wq, sums.sf, sums.sp, sums.sv, sums.sq};
    std::copy(std::begin(taken), std::end(taken), lane.sums);
    lane.unshifted = unshifted;
}

static_assert(kAnalysedTogether == 4, "strokeSteps has a version for every count up to kAnalysedTogether");

// The strokes of up to kAnalysedTogether repetitions, stretch by stretch. A stretch ends
// where any of them changes phase; a stroke that is done drops out and the others go on.
void evaluateStrokes(StrokeLane* const* strokes, int count) {
    StrokeLane* lanes[kAnalysedTogether];
    int active = 0;
    for (int i = 0; i < count; ++i)
        if (!strokes[i]->done()) lanes[active++] = strokes[i];
    StretchValues values[kAnalysedTogether];
    while (active > 0) {
        int len = kStretch;
        for (int k = 0; k < active; ++k) len = std::min(len, lanes[k]->left());
        for (int k = 0; k < active; ++k) lanes[k]->values(len, values[k]);
        switch (active) {
        case 4: strokeSteps4(lanes, values, len); break;
        case 3: strokeSteps3(lanes, values, len); break;
        case 2: strokeSteps2(lanes, values, len); break;
        default: strokeSteps1(*lanes[0], values[0], len); break;
        }
        int still = 0;
        for (int k = 0; k < active; ++k) {
            lanes[k]->advance(len);
            if (!lanes[k]->done()) lanes[still++] = lanes[k];
        }
        active = still;
    }
}

// One repetition's analysis: its series, then its stroke (alone or beside others), then
// its results.
class RepetitionPasses {
public:
    RepetitionPasses(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results)
        : rep_(rep), results_(results), n_(rep.validSamples()), strokeEnd_(n_ - kStrokeTailSamples - 1),
          angVel_(series.writable(SeriesAngularVelocity)), pos_(series.writable(SeriesPosition)),
          linVel_(series.writable(SeriesLinearVelocity)), linAcc_(series.writable(SeriesLinearAcceleration)) {}

    // The series, the velocity peak, and the stroke unless it is the usual one: then
    // `stroke` waits for evaluateStrokes and finish. Returns whether it does.
    bool start() {
        const double d = rep_.direction;
        const double k = static_cast<double>(rep_.radius) * 2.0 * kPi / 360.0;  // cm per degree
        const int32_t* raw = rep_.raw.row(RateY);
        const float off = rep_.channelOffset[RateY];
        const int head = std::min(n_, kFirstSmoothedSample);
        const int smoothEnd = std::min(n_ - 1, kLastSmoothedSample);
        unsmoothedRate(raw, off, d, 0, head, angVel_);
        if (kFirstSmoothedSample <= smoothEnd) smoothedRate(raw, off, d, kFirstSmoothedSample, smoothEnd, angVel_);
        unsmoothedRate(raw, off, d, std::max(head, smoothEnd + 1), n_, angVel_);
        linearSeries(angVel_, k, n_, linVel_, linAcc_);

        peak_ = velocityPeak(angVel_, n_);
        results_.velocityPeakIndex = peak_;

        RunningPosition position{angVel_, pos_};
        if (peak_ >= kStrokeFirstSample) {
            // The usual stroke: the position of sample 100 is known before the first sample
            // evaluated, so the position's sum runs along with the evaluation from there on.
            position.start(kStrokeFirstSample);
            const float before100 = pos_[kStrokeFirstSample - 1];
            const float p100 = pos_[kStrokeFirstSample];
            for (int s = 0; s < kStrokeFirstSample; ++s) pos_[s] = pos_[s] - p100;
            stroke.angVel = angVel_;
            stroke.linVel = linVel_;
            stroke.linAcc = linAcc_;
            stroke.pos = pos_;
            stroke.m = rep_.loadMass;
            stroke.radius = rep_.radius;
            stroke.p100 = p100;
            // Sample 100 is summed again on the way: the same step gives the same p100, and
            // its position p100 - p100.
            stroke.unshifted = before100;
            stroke.pieces[0] = {kStrokeFirstSample, peak_, &accel_};
            stroke.pieceCount = 1;
            if (strokeEnd_ > peak_) stroke.pieces[stroke.pieceCount++] = {peak_ + 1, strokeEnd_, &decel_};
            stroke.next = kStrokeFirstSample;
            return true;
        }
        // Position is measured from the reversal at sample 100. A file may hold fewer
        // samples; then there is no reference and the running sum stays as it is.
        position.start(n_ - 1);
        if (n_ > kStrokeFirstSample) {
            const float p100 = pos_[kStrokeFirstSample];
            for (int s = 0; s < n_; ++s) pos_[s] = pos_[s] - p100;
        }
        // Without a peak the stored results stay as they were; the phases would start
        // before sample 0, so they are not evaluated at all.
        if (peak_ <= 0) return false;
        // A peak before the reversal: no acceleration phase, the deceleration phase starts
        // right after the peak.
        if (strokeEnd_ > peak_)
            evaluateKnownPositions(angVel_, linVel_, linAcc_, pos_, rep_.loadMass, rep_.radius, peak_ + 1, strokeEnd_,
                                   decel_, wholeSum_);
        results();
        return false;
    }

    // After evaluateStrokes: the positions after the stroke, and the results.
    void finish() {
        wholeSum_[kForce] = stroke.sums[0];
        wholeSum_[kPower] = stroke.sums[1];
        wholeSum_[kVelocity] = stroke.sums[2];
        wholeSum_[kTorque] = stroke.sums[3];
        float unshifted = stroke.unshifted;
        for (int s = std::max(peak_, strokeEnd_) + 1; s < n_; ++s) {
            unshifted = nextPosition(unshifted, angVel_[s]);
            pos_[s] = unshifted - stroke.p100;
        }
        results();
    }

    int peak() const { return peak_; }

    StrokeLane stroke;

private:
    void results() {
        const int accelCount = peak_ >= kStrokeFirstSample ? peak_ - (kStrokeFirstSample - 1) : 0;
        const int decelCount = std::max(0, strokeEnd_ - peak_);
        const int wholeCount = accelCount + decelCount;
        const float accelPosition = accelCount > 0 ? pos_[peak_] : 0.0f;
        const int lastEvaluated = decelCount > 0 ? strokeEnd_ : peak_;
        const float lastAbsPosition = wholeCount > 0 ? std::fabs(pos_[lastEvaluated]) : 0.0f;

        for (int c = 0; c < kResultColumnCount; ++c) {
            results_.value[PeakAll][c] = std::max(accel_.peak[c], decel_.peak[c]);
            results_.value[PeakAcceleration][c] = accel_.peak[c];
            results_.value[PeakDeceleration][c] = decel_.peak[c];
            if (c == kPosition) {
                results_.value[MeanAll][c] = lastAbsPosition;
                results_.value[MeanAcceleration][c] = accelPosition;
                results_.value[MeanDeceleration][c] = lastAbsPosition - accelPosition;
            } else {
                results_.value[MeanAll][c] = meanOf(wholeSum_[c], wholeCount);
                results_.value[MeanAcceleration][c] = meanOf(accel_.sum[c], accelCount);
                results_.value[MeanDeceleration][c] = meanOf(decel_.sum[c], decelCount);
            }
        }
    }

    const RepetitionRecord& rep_;
    RepetitionResults& results_;
    const int n_;
    const int strokeEnd_;  // last sample of the deceleration phase
    float* const angVel_;
    float* const pos_;
    float* const linVel_;
    float* const linAcc_;
    int peak_ = -10;
    Phase accel_, decel_;
    float wholeSum_[kResultColumnCount] = {};
};

}  // namespace

int analyseInPasses(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results) {
    RepetitionPasses passes(rep, series, results);
    if (passes.start()) {
        StrokeLane* stroke = &passes.stroke;
        evaluateStrokes(&stroke, 1);
        passes.finish();
    }
    return passes.peak();
}

}  // namespace vanta::detail

namespace vanta {

void analyseTogether(std::span<const RepetitionToAnalyse> batch) {
    for (size_t first = 0; first < batch.size(); first += kAnalysedTogether) {
        const size_t count = std::min<size_t>(kAnalysedTogether, batch.size() - first);
        std::optional<detail::RepetitionPasses> passes[kAnalysedTogether];
        bool waits[kAnalysedTogether] = {};
        detail::StrokeLane* strokes[kAnalysedTogether];
        int waiting = 0;
        for (size_t i = 0; i < count; ++i) {
            const RepetitionToAnalyse& r = batch[first + i];
            passes[i].emplace(*r.rep, *r.series, *r.results);
            waits[i] = passes[i]->start();
            if (waits[i]) strokes[waiting++] = &passes[i]->stroke;
        }
        detail::evaluateStrokes(strokes, waiting);
        for (size_t i = 0; i < count; ++i)
            if (waits[i]) passes[i]->finish();
    }
}

}  // namespace vanta
