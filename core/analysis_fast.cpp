#include "core/analysis_fast.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "core/analysis.h"
#include "core/running_triangle.h"

namespace vanta::detail {

namespace {

// The passes that need doubles for a stretch of samples take this many at a time, so that
// what a stretch needs stays in the first-level cache: some 11 kB of column values and
// rates for each of the repetitions walked together (with 1024 samples, four of them
// spilled out of it and analysing four together took a quarter longer).
constexpr int kStretch = 256;

// A sample's rate w (deg/s) is a double: angular velocity stores it rounded to float32,
// linear velocity is w times the centimetres per degree, and position adds w times the
// sample period. The first pass works out w for every sample, and the velocity peak and
// the pass over the stroke need it again; until then it waits in the two series cells of
// its sample that are written last: its low 32 bits in the position cell, its high 32
// bits in the linear-acceleration cell. A sample's position and acceleration are written
// only after its w has been read back, so the waiting rates take no memory of their own.
inline void parkRate(float* pos, float* linAcc, int i, double w) {
    const uint64_t bits = std::bit_cast<uint64_t>(w);
    pos[i] = std::bit_cast<float>(static_cast<uint32_t>(bits));
    linAcc[i] = std::bit_cast<float>(static_cast<uint32_t>(bits >> 32));
}
inline double parkedRate(const float* pos, const float* linAcc, int i) {
    return std::bit_cast<double>(static_cast<uint64_t>(std::bit_cast<uint32_t>(linAcc[i])) << 32 |
                                 std::bit_cast<uint32_t>(pos[i]));
}

// The first pass's rows: angular velocity and linear velocity as stored, the waiting rates.
struct RateRows {
    float* angVel;
    float* linVel;
    float* pos;
    float* linAcc;
};

// The samples [first, end), which are not smoothed.
void unsmoothedRate(const int32_t* raw, float off, double d, double k, int first, int end, const RateRows& rows) {
    for (int i = first; i < end; ++i) {
        const double w = (static_cast<double>(raw[i]) - static_cast<double>(off)) * d / kRateScale;
        rows.angVel[i] = static_cast<float>(w);
        rows.linVel[i] = static_cast<float>(w * k);
        parkRate(rows.pos, rows.linAcc, i, w);
    }
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
void rateFromNumerators(const double* __restrict numerator, int len, double d, double k, float* __restrict angVel,
                        float* __restrict linVel, float* __restrict pos, float* __restrict linAcc) {
    for (int j = 0; j < len; ++j) {
        const double w = numerator[j] / kSmoothWeightSum * d / kRateScale;
        angVel[j] = static_cast<float>(w);
        linVel[j] = static_cast<float>(w * k);
        parkRate(pos, linAcc, j, w);
    }
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

// The rate of the smoothed samples first..last. The window's integer sum walks from
// centre to centre by its step, and the step by its change, which the vector unit works
// out beforehand a stretch at a time: two integer additions per sample. The two divisions
// of each sample (by the weight sum, by the rate scale) then go through the vector unit a
// stretch at a time too.
void smoothedRate(const int32_t* raw, float off, double d, double k, int first, int last, const RateRows& rows) {
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
        rateFromNumerators(numerator, len, d, k, rows.angVel + from, rows.linVel + from, rows.pos + from,
                           rows.linAcc + from);
    }
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

// How many of the values [from, to] are x: sixteen lanes of counts, as in peakOf.
int countOf(const float* values, int from, int to, float x) {
    typedef float Lanes __attribute__((vector_size(16)));
    typedef int32_t Counts __attribute__((vector_size(16)));
    auto load = [values](int s) {
        Lanes v;
        std::memcpy(&v, values + s, sizeof v);
        return v;
    };
    const Lanes wanted = {x, x, x, x};
    Counts c0 = {}, c1 = {}, c2 = {}, c3 = {};
    int s = from;
    for (; s + 15 <= to; s += 16) {
        // A comparison gives -1 in the lanes that hold x.
        c0 -= load(s) == wanted;
        c1 -= load(s + 4) == wanted;
        c2 -= load(s + 8) == wanted;
        c3 -= load(s + 12) == wanted;
    }
    const Counts c = c0 + c1 + c2 + c3;
    int count = c[0] + c[1] + c[2] + c[3];
    for (; s <= to; ++s) count += values[s] == x;
    return count;
}

// The velocity peak over samples 1..N-1, as a float32 running maximum from -10 deg/s finds
// it when each sample's double rate w is compared with it. The maximum ends as the largest
// stored angular velocity, first reached at the first sample that stores it (its w lies
// above every maximum before); after that, only a w above it as a double moves the peak,
// and such a w rounds to it. Returns -10 when no sample exceeds -10 deg/s.
int velocityPeak(const float* angVel, const float* pos, const float* linAcc, int n) {
    const float best = peakOf(angVel, 1, n - 1, -10.0f);
    if (!(best > -10.0f)) return -10;
    int peak = 1;
    while (angVel[peak] != best) ++peak;
    // Usually no other sample stores the maximum.
    if (countOf(angVel, peak + 1, n - 1, best) == 0) return peak;
    for (int i = peak + 1; i < n; ++i)
        if (angVel[i] == best && parkedRate(pos, linAcc, i) > best) peak = i;
    return peak;
}

// One step of the running position: the unshifted position of sample i from that of i - 1
// (as stored, float32) and the rate w of sample i.
inline float nextPosition(float previous, double w) {
    return static_cast<float>(static_cast<double>(previous) + w * kSamplePeriod);
}

// The series that samples from..to still owe, in order: each sample's rate read back, its
// position (the unshifted one of the sample before, `unshifted` for from - 1, plus a step;
// stored less `shift`) and its linear acceleration. Returns the unshifted position of `to`.
float settleSeries(const float* linVel, float* pos, float* linAcc, int from, int to, float unshifted, float shift) {
    for (int i = from; i <= to; ++i) {
        const double w = parkedRate(pos, linAcc, i);
        unshifted = i == 0 ? static_cast<float>(w * kSamplePeriod) : nextPosition(unshifted, w);
        pos[i] = unshifted - shift;
        linAcc[i] = i == 0 ? 0.0f
                           : static_cast<float>((static_cast<double>(linVel[i]) - static_cast<double>(linVel[i - 1])) * 10.0);
    }
    return unshifted;
}

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
// rounded to float32 as the peaks keep them; and the samples' rates, read back for the
// running position.
struct StretchValues {
    double rate[kStretch];
    double force[kStretch];
    double power[kStretch];
    double torque[kStretch];
    float forcePeak[kStretch];
    float powerPeak[kStretch];
    float torquePeak[kStretch];
};

// A stretch's rates read back, and its linear accelerations written in their place: from
// the stored linear velocity of each sample and of the one before it.
VANTA_VECTOR_CLONES
void unparkStretch(const float* __restrict pos, float* linAcc, const float* __restrict linVel, int len,
                   double* __restrict rate) {
    for (int j = 0; j < len; ++j) {
        rate[j] = parkedRate(pos, linAcc, j);
        linAcc[j] = static_cast<float>((static_cast<double>(linVel[j]) - static_cast<double>(linVel[j - 1])) * 10.0);
    }
}

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
    float* linAcc;
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

    // The rates of the next `len` samples (all in the current piece), their accelerations,
    // their column values and the peaks of these but that of position.
    void values(int len, StretchValues& out) {
        unparkStretch(pos + next, linAcc + next, linVel + next, len, out.rate);
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
    const double* rate[K];
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
        rate[k] = values[k].rate;
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
            unshifted[k] = nextPosition(unshifted[k], rate[k][j]);
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
        unshifted = nextPosition(unshifted, values.rate[j]);
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
        const RateRows rows{angVel_, linVel_, pos_, linAcc_};
        unsmoothedRate(raw, off, d, k, 0, head, rows);
        if (kFirstSmoothedSample <= smoothEnd) smoothedRate(raw, off, d, k, kFirstSmoothedSample, smoothEnd, rows);
        unsmoothedRate(raw, off, d, k, std::max(head, smoothEnd + 1), n_, rows);

        peak_ = velocityPeak(angVel_, pos_, linAcc_, n_);
        results_.velocityPeakIndex = peak_;

        if (peak_ >= kStrokeFirstSample) {
            // The usual stroke: the position of sample 100 is known before the first sample
            // evaluated, so the position's sum runs along with the evaluation from there on.
            // Sample 100's own series wait for that sum; its rate is only read here.
            const float before100 = settleSeries(linVel_, pos_, linAcc_, 0, kStrokeFirstSample - 1, 0.0f, 0.0f);
            const float p100 = nextPosition(before100, parkedRate(pos_, linAcc_, kStrokeFirstSample));
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
        settleSeries(linVel_, pos_, linAcc_, 0, n_ - 1, 0.0f, 0.0f);
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
        settleSeries(linVel_, pos_, linAcc_, std::max(peak_, strokeEnd_) + 1, n_ - 1, stroke.unshifted, stroke.p100);
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
