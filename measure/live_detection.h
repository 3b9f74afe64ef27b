// The live detection of an attempt: what one 100 ms tick does with the samples the reader
// has stored since the previous tick. Stand still for a second (which also measures the
// rate offset), integrate the angle from the smoothed rate, start the stroke at a reversal
// beyond +-40 degrees, follow its peak, end it at the next sign change at least 100 samples
// later. Calibration runs the same loop with its own ending.
//
// Plain code: no clock, no widget. The caller says how many samples are stored (`count`),
// so a test can put the tick boundaries wherever it likes.
#pragma once

#include <cstdint>

#include "core/records.h"
#include "core/running_triangle.h"
#include "device/acquisition_control.h"

namespace vanta {

// One second of stillness, in samples.
inline constexpr int kStillSamples = 1000;
// Largest deviation (raw counts of the rate channel) of a sample from its still run's mean.
inline constexpr int kStillDeviation = 50;
// stillCount once the ready phase has been entered: stillness is never measured again.
inline constexpr int kStillCountReady = 1200;
// A reversal beyond this angle (degrees) starts the stroke.
inline constexpr double kStrokeStartAngle = 40.0;
// Samples after the start before an end may be detected.
inline constexpr int kMinStrokeSamples = 100;
// The smoothed rate needs 49 samples after the one it is centred on: the tick uses the
// rate centred 50 samples back, which only reads samples already stored.
inline constexpr int kRateLag = 50;
// The stored window: 150 samples before the start, 100 after the end (end + 99 is the last).
inline constexpr int kWindowBefore = 150;
inline constexpr int kWindowAfter = 100;
// Level tolerances in raw acceleration counts; gravity is 2048 counts along channel 1.
inline constexpr int kLevelSideTolerance = 300;
inline constexpr int kLevelGravityTolerance = 600;
inline constexpr int kGravityCounts = 2048;

// The phase the guidance screen shows.
enum LivePhase : int {
    PhaseNone = 0,
    PhaseStandStill = 1,  // stand still and level the bar
    PhaseReady = 2,       // waiting for the stroke
    PhaseStroke = 3,
    PhaseTail = 4,        // the stroke has ended, the link records 200 more samples
    PhaseStored = 5,
};

// detectState: bit 0 is the level of the bar (recomputed every tick), bits 1..3 the stage.
inline constexpr int kDetectLevel = 1;
inline constexpr int kDetectStageMask = 14;
inline constexpr int kStageStillDone = 2;
inline constexpr int kStageStroke = 6;
inline constexpr int kStageEnded = 14;

// The 99-tap triangular sum of the rate channel, kept with the analysis' running sums while
// the tick walks forward one sample at a time: a handful of additions per sample instead of
// 99 multiply-adds. A request for the same centre again (the sample every tick processes
// twice) returns the kept sum; any other jump starts afresh.
class TriangleTracker {
public:
    void reset() { valid_ = false; }
    // The weighted sum centred on `a` (51..59949); reads raw a-49..a+49 only.
    int64_t sumAt(const int32_t* raw, int a);

private:
    bool valid_ = false;
    RunningTriangle sum_;
};

// The offset-corrected smoothed rate channel at sample a, exactly as smoothedChannel of
// the analysis gives it (the same double), through the tracker.
double trackedSmoothedRate(TriangleTracker& tracker, const RepetitionRecord& rep, int a);

struct LiveDetection {
    int processedIndex = 0;  // first sample the next tick processes
    int stillCount = 0;      // length of the current still run; kStillCountReady once ready
    int64_t stillSum = 0;    // raw rate counts over the current still run
    int detectState = 0;
    double angle = 0.0;      // degrees, from the smoothed rate
    double rate = 0.0;       // deg/s, smoothed, of the last processed sample
    int startIndex = 0;
    double startAngle = 0.0;
    double peakRate = 0.0;
    int peakSample = 0;
    double peakAngle = 0.0;
    int endIndex = 0;
    double endAngle = 0.0;
    double unit[3] = {};     // direction of the last sample's acceleration, unit length
    int livePhase = PhaseNone;
    // Calibration: the three acceleration sums of the current still run, in single
    // precision as the station has always summed them. Kept apart from the offsets, which
    // only a completed second of stillness changes.
    float accelSum[3] = {};
    // The count of the previous tick, to notice a tick without new samples.
    int lastCount = 0;
    TriangleTracker tracker;

    // START and calibration begin here.
    void reset() { *this = LiveDetection{}; }
    bool stillDone() const { return (detectState & kStageStillDone) != 0; }
    int stage() const { return detectState & kDetectStageMask; }
};

enum class TickMode { Attempt, Calibration };

// What one tick did, for the screen and the workflow.
struct TickSummary {
    int phaseBefore = PhaseNone;  // the phase whose texts the screen shows for this tick
    int stillCountBefore = 0;
    int count = 0;                // samples stored when the tick began
    bool level = false;
    bool strokeEnded = false;         // the end was found at this tick (tail switched on)
    bool calibrationComplete = false; // the second of stillness was completed at this tick
};

// One tick over the samples processedIndex .. count-1 of `rep` (the repetition being
// recorded). Attempt: stand-still, rate, angle, start, peak, end (switching `control`
// to the tail), then the level of the last sample. Calibration: stand-still with the
// acceleration sums, writing the offsets of `rep` (the means; channel 1's plus the 2048
// counts of gravity, its reading at zero g) and marking `control` full when the second is
// complete. The last sample of a tick is processed again at the next one.
// Sets the repetition's sampleCount to `count`.
TickSummary processTick(LiveDetection& d, RepetitionRecord& rep, AcquisitionControl& control, int count,
                        TickMode mode);

// The level test on sample `sample` of `rep`: fills `unit` with the acceleration's
// direction (zeros for a zero vector) and says whether the bar is level.
bool barLevelAt(const RepetitionRecord& rep, int sample, double (&unit)[3]);

// Samples in the stored window of a stroke that started at `start` and ended at `end`.
inline int strokeWindowSamples(int start, int end) { return end - start + kWindowBefore + kWindowAfter; }
// True when every sample of the window lies among the `count` stored ones.
bool strokeWindowRecorded(int start, int end, int count);
// Moves the window (start - 150 .. end + 99) to the front of all six channels and sets
// sampleCount to its length, which it returns. The caller has checked
// strokeWindowRecorded and stopped the reader.
int cutStrokeWindow(RepetitionRecord& rep, int start, int end);

}  // namespace vanta
