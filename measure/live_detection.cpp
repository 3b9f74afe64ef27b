#include "measure/live_detection.h"

#include <cmath>

#include "core/analysis.h"

namespace vanta {

int64_t TriangleTracker::sumAt(const int32_t* raw, int a) {
    if (valid_ && a == sum_.centre()) return sum_.total();
    if (valid_ && a == sum_.centre() + 1) {
        sum_.advance(raw);
    } else {
        sum_.start(raw, a);
        valid_ = true;
    }
    return sum_.total();
}

double trackedSmoothedRate(TriangleTracker& tracker, const RepetitionRecord& rep, int a) {
    if (a < 0) a += kRateLag;  // the first 50 samples of a recording have no lagged rate
    const int32_t* raw = rep.raw.row(RateY);
    const float off = rep.channelOffset[RateY];
    if (a < 0 || a >= kMaxSamples) return 0.0;
    if (a < kFirstSmoothedSample || a > kLastSmoothedSample)
        return static_cast<double>(raw[a]) - static_cast<double>(off);
    // The offset comes out of the integer sum at the end, as in the analysis: the value
    // is the same double as the direct formula's, so the live angle and the analysis agree.
    const double offsetTotal = static_cast<double>(off) * kSmoothWeightSum;
    return (static_cast<double>(tracker.sumAt(raw, a)) - offsetTotal) / kSmoothWeightSum;
}

bool barLevelAt(const RepetitionRecord& rep, int sample, double (&unit)[3]) {
    const double ax = -(static_cast<double>(rep.raw.row(AccelX)[sample]) - rep.channelOffset[AccelX]);
    const double ay = -(static_cast<double>(rep.raw.row(AccelY)[sample]) - rep.channelOffset[AccelY]);
    const double az = static_cast<double>(rep.raw.row(AccelZ)[sample]) - rep.channelOffset[AccelZ];
    const double v[3] = {ax / kAccelScale, ay / kAccelScale, az / kAccelScale};
    const double length = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int k = 0; k < 3; ++k) unit[k] = length > 0.0 ? v[k] / length : 0.0;
    return std::fabs(ax) < kLevelSideTolerance && std::fabs(ay - kGravityCounts) < kLevelGravityTolerance &&
           std::fabs(az) < kLevelSideTolerance;
}

namespace {

// The stand-still test of one sample. Returns true when this sample completes the second.
bool stillSample(LiveDetection& d, const RepetitionRecord& rep, int i, TickMode mode) {
    const int64_t v = rep.raw.row(RateY)[i];
    int64_t n = d.stillCount;
    // |v - mean| > 50 without a division: the run's mean is stillSum / n.
    if (std::llabs(v * n - d.stillSum) > kStillDeviation * n) {
        // The deviating sample starts the new run.
        d.stillSum = 0;
        n = 0;
        if (mode == TickMode::Calibration) d.accelSum[0] = d.accelSum[1] = d.accelSum[2] = 0.0f;
    }
    d.stillSum += v;
    if (mode == TickMode::Calibration)
        for (int ch = AccelX; ch <= AccelZ; ++ch) d.accelSum[ch] += static_cast<float>(rep.raw.row(ch)[i]);
    d.stillCount = static_cast<int>(n + 1);
    return d.stillCount == kStillSamples;
}

float meanOfStillRun(int64_t sum) { return static_cast<float>(static_cast<double>(sum) / kStillSamples); }

}  // namespace

TickSummary processTick(LiveDetection& d, RepetitionRecord& rep, AcquisitionControl& control, int count,
                        TickMode mode) {
    TickSummary s;
    s.phaseBefore = d.livePhase;
    s.stillCountBefore = d.stillCount;
    s.count = count;
    if (count < 0) count = 0;
    if (count > kMaxSamples) count = kMaxSamples;

    // A tick that finds no new sample would process the previous tick's last sample a
    // third time, counting it again in the still run and adding its rate to the angle
    // again: with a stalled box the second of stillness would fill from one sample.
    const int first = count > d.lastCount ? d.processedIndex : count;

    for (int i = first; i < count; ++i) {
        if (!d.stillDone() && d.stillCount < kStillSamples && stillSample(d, rep, i, mode)) {
            d.detectState = kStageStillDone;
            d.angle = 0.0;
            rep.channelOffset[RateY] = meanOfStillRun(d.stillSum);
            if (mode == TickMode::Calibration) {
                for (int ch = AccelX; ch <= AccelZ; ++ch) rep.channelOffset[ch] = d.accelSum[ch] / 1000.0f;
                // The bar is held level, so channel 1 carries one g of gravity (-2048
                // counts). The level test of every later attempt expects to find that g
                // after the offset comes off; the offset is channel 1's reading at zero g.
                rep.channelOffset[AccelY] += static_cast<float>(kGravityCounts);
                control.markFull();
                s.calibrationComplete = true;
            }
        }

        d.rate = trackedSmoothedRate(d.tracker, rep, i - kRateLag) / kRateScale;
        d.angle += d.rate * kSamplePeriod;
        if (mode == TickMode::Calibration) continue;

        if (d.stage() == kStageStillDone) {
            int direction = 0;
            if (d.angle > kStrokeStartAngle && d.rate < 0.0) direction = -1;
            else if (d.angle < -kStrokeStartAngle && d.rate > 0.0) direction = 1;
            if (direction != 0) {
                rep.direction = direction;
                d.startIndex = i;
                d.startAngle = d.angle;
                d.peakRate = d.rate;
                d.peakSample = i;
                d.peakAngle = d.angle;
                d.detectState = 7;
                d.livePhase = PhaseStroke;
            }
        }
        if (d.stage() == kStageStroke) {
            if (rep.direction < 0 ? d.rate < d.peakRate : d.rate > d.peakRate) {
                d.peakRate = d.rate;
                d.peakSample = i;
                d.peakAngle = d.angle;
            }
            if (i > d.startIndex + kMinStrokeSamples && (rep.direction < 0 ? d.rate > 0.0 : d.rate < 0.0)) {
                d.endIndex = i;
                d.endAngle = d.angle;
                d.detectState = 15;
                d.livePhase = PhaseTail;
                // The limit is published before the phase: a reader that sees TAIL stops
                // at the tail's end, never at a stale limit.
                control.switchToTail(i + kTailSamples);
                s.strokeEnded = true;
            }
        }
    }
    d.processedIndex = count > 0 ? count - 1 : 0;
    d.lastCount = count;

    if (count > 0) {
        s.level = barLevelAt(rep, count - 1, d.unit);
    }
    if (s.level) d.detectState |= kDetectLevel;
    else d.detectState &= ~kDetectLevel;
    // Only the stand-still screen gives way to the ready screen: a stroke started before
    // the bar was ever level keeps its own screen.
    if (mode == TickMode::Attempt && s.level && d.stillCount == kStillSamples && d.livePhase == PhaseStandStill) {
        d.livePhase = PhaseReady;
        d.stillCount = kStillCountReady;
    }
    rep.sampleCount = count;
    return s;
}

bool strokeWindowRecorded(int start, int end, int count) {
    return start - kWindowBefore >= 0 && end >= start && end + kWindowAfter <= count && count <= kMaxSamples;
}

int cutStrokeWindow(RepetitionRecord& rep, int start, int end) {
    const int n = strokeWindowSamples(start, end);
    const int from = start - kWindowBefore;
    // Ascending: the source always lies at or after the destination.
    for (int ch = 0; ch < kChannelCount; ++ch) {
        int32_t* row = rep.raw.row(ch);
        for (int k = 0; k < n; ++k) row[k] = row[from + k];
    }
    rep.sampleCount = n;
    return n;
}

}  // namespace vanta
