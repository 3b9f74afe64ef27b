// The live detection against sample arrays with explicit tick boundaries: the samples a
// tick processes twice, the thresholds of the stroke's start and end, the level test, the
// stored window and the calibration's means.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "core/analysis.h"
#include "measure/live_detection.h"

namespace vanta {
namespace {

using ChannelFn = std::function<int32_t(int)>;

// A repetition whose six channels are given per sample for samples 0..n-1; by default a
// level bar at rest (gravity along channel 1 reads -2048) and no rotation.
std::unique_ptr<RepetitionRecord> recording(int n, ChannelFn rate, ChannelFn accelX = nullptr) {
    auto rep = std::make_unique<RepetitionRecord>();
    for (int i = 0; i < n; ++i) {
        rep->raw.row(AccelX)[i] = accelX ? accelX(i) : 0;
        rep->raw.row(AccelY)[i] = -2048;
        rep->raw.row(AccelZ)[i] = 0;
        rep->raw.row(RateX)[i] = 11;
        rep->raw.row(RateY)[i] = rate(i);
        rep->raw.row(RateZ)[i] = -7;
    }
    return rep;
}

// The sample indices ticks at these counts process, in order: each tick starts again at
// the previous tick's last sample.
std::vector<int> processedSequence(const std::vector<int>& counts) {
    std::vector<int> seq;
    int from = 0;
    for (int c : counts) {
        for (int i = from; i < c; ++i) seq.push_back(i);
        from = c > 0 ? c - 1 : 0;
    }
    return seq;
}

std::vector<int> ticksOf(int step, int last) {
    std::vector<int> counts;
    for (int c = step; c < last; c += step) counts.push_back(c);
    counts.push_back(last);
    return counts;
}

class DetectionTest : public ::testing::Test {
protected:
    TickSummary tick(RepetitionRecord& rep, int count, TickMode mode = TickMode::Attempt) {
        return processTick(d, rep, control, count, mode);
    }
    void runTicks(RepetitionRecord& rep, const std::vector<int>& counts, TickMode mode = TickMode::Attempt) {
        for (int c : counts) tick(rep, c, mode);
    }
    // Ready for a stroke, about to process sample `i` alone.
    void readyAt(int i) {
        d.detectState = kStageStillDone;
        d.stillCount = kStillCountReady;
        d.livePhase = PhaseReady;
        d.processedIndex = i;
        d.lastCount = i;
    }
    // A stroke in `direction` that started at `start`, about to process sample `i`.
    void strokeFrom(RepetitionRecord& rep, int start, int direction, int i) {
        readyAt(i);
        d.detectState = 7;
        d.livePhase = PhaseStroke;
        d.startIndex = start;
        rep.direction = direction;
    }

    LiveDetection d;
    AcquisitionControl control;
};

int32_t wobble(int i) { return 1000 + (i * 37) % 41 - 20; }  // within 20 counts of 1000

TEST_F(DetectionTest, StillRunCountsTheSampleOfEveryTickBoundaryTwice) {
    auto rep = recording(3000, wobble);
    d.livePhase = PhaseStandStill;
    const std::vector<int> counts = ticksOf(100, 1000);
    runTicks(*rep, std::vector<int>(counts.begin(), counts.end() - 1));
    // 100 samples, then 101 per tick: samples 99, 199, ... 799 were counted twice.
    EXPECT_EQ(d.stillCount, 100 + 8 * 101);
    EXPECT_FALSE(d.stillDone());

    tick(*rep, 1000);
    const std::vector<int> seq = processedSequence(counts);
    int64_t sum = 0;
    for (int k = 0; k < kStillSamples; ++k) sum += wobble(seq[static_cast<size_t>(k)]);
    EXPECT_EQ(d.stage(), kStageStillDone);
    EXPECT_EQ(rep->channelOffset[RateY], static_cast<float>(static_cast<double>(sum) / 1000.0));
    // The bar is level at the last sample of the tick: the ready screen.
    EXPECT_EQ(d.livePhase, PhaseReady);
    EXPECT_EQ(d.stillCount, kStillCountReady);
    EXPECT_EQ(rep->sampleCount, 1000);
}

TEST_F(DetectionTest, AnOutlierStartsANewRunAndADeviationOfExactly50DoesNot) {
    auto rep = recording(3000, [](int i) { return i < 300 ? (i == 200 ? 1050 : 1000) : (i == 300 ? 1060 : 1020); });
    d.livePhase = PhaseStandStill;
    tick(*rep, 300);
    EXPECT_EQ(d.stillCount, 300) << "50 counts off the mean is still still";
    tick(*rep, 301);  // 299 again, then the outlier
    EXPECT_EQ(d.stillCount, 1);
    EXPECT_EQ(d.stillSum, 1060);
    tick(*rep, 3000);  // the outlier, the last sample of that tick, counts twice
    EXPECT_EQ(d.stage(), kStageStillDone);
    EXPECT_EQ(rep->channelOffset[RateY], static_cast<float>((2 * 1060.0 + 998.0 * 1020.0) / 1000.0));
}

// The live rate is the analysis' smoothed rate 50 samples back, to the last bit, and the
// angle adds the rate of every processed sample, the doubled ones twice.
TEST_F(DetectionTest, RateAndAngleFollowTheSmoothedRateThroughTicksOfAnySize) {
    std::mt19937 gen(11);
    std::uniform_int_distribution<int> value(-3000, 3000);
    std::vector<int32_t> values(9000);
    for (auto& v : values) v = value(gen);
    auto rep = recording(9000, [&](int i) { return values[static_cast<size_t>(i)]; });
    rep->channelOffset[RateY] = 3.25f;

    std::uniform_int_distribution<int> step(1, 260);
    std::vector<int> counts;
    for (int c = step(gen); c < 9000; c += step(gen)) counts.push_back(c);
    double angle = 0.0;
    size_t done = 0;
    for (size_t t = 0; t < counts.size(); ++t) {
        const int c = counts[t];
        tick(*rep, c);
        const std::vector<int> seq = processedSequence(std::vector<int>(counts.begin(), counts.begin() + static_cast<long>(t) + 1));
        for (; done < seq.size(); ++done) angle += smoothedChannel(*rep, seq[done] - kRateLag, RateY) / kRateScale * kSamplePeriod;
        ASSERT_EQ(d.rate, smoothedChannel(*rep, c - 1 - kRateLag, RateY) / kRateScale) << "tick ending at " << c;
        ASSERT_EQ(d.angle, angle) << "tick ending at " << c;
    }
    EXPECT_FALSE(d.stillDone()) << "the noise must never be still, or the angle would restart";
}

// Sets the angle before sample i so that i's rate brings it exactly to `target`.
double angleBefore(double target, double rate) {
    double a = target - rate * kSamplePeriod;
    for (int k = 0; k < 8 && a + rate * kSamplePeriod != target; ++k)
        a = std::nextafter(a, a + rate * kSamplePeriod < target ? 1e9 : -1e9);
    return a;
}

TEST_F(DetectionTest, TheStrokeStartsAtAReversalBeyond40DegreesOnly) {
    struct Case {
        double angle;
        int rawRate;
        int direction;  // 0: no start
    } cases[] = {{40.0, -164, 0}, {41.0, 164, 0}, {41.0, -164, -1}, {-40.0, 164, 0}, {-41.0, -164, 0}, {-41.0, 164, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "angle " << c.angle << " raw rate " << c.rawRate);
        auto rep = recording(3000, [&](int) { return c.rawRate; });
        d = LiveDetection{};
        readyAt(2000);
        const double rate = c.rawRate / kRateScale;
        d.angle = angleBefore(c.angle, rate);
        tick(*rep, 2001);
        ASSERT_EQ(d.angle, c.angle);
        if (c.direction == 0) {
            EXPECT_EQ(d.stage(), kStageStillDone);
            EXPECT_EQ(d.livePhase, PhaseReady);
            continue;
        }
        EXPECT_EQ(d.stage(), kStageStroke);
        EXPECT_EQ(rep->direction, c.direction);
        EXPECT_EQ(d.startIndex, 2000);
        EXPECT_EQ(d.startAngle, c.angle);
        EXPECT_EQ(d.peakRate, rate);
        EXPECT_EQ(d.livePhase, PhaseStroke);
    }
}

TEST_F(DetectionTest, ThePeakFollowsTheMostExtremeLaggedRateOfTheStrokeEachWay) {
    for (int direction : {1, -1}) {
        SCOPED_TRACE(testing::Message() << "direction " << direction);
        // A bump that peaks in the middle of the stroke, then the reversal that ends it.
        auto rep = recording(8000, [&](int i) {
            if (i < 5000) return direction * 60;
            if (i < 5600) return direction * static_cast<int32_t>(60 + 1500 * std::sin(M_PI * (i - 5000) / 600.0));
            return -direction * 300;
        });
        d = LiveDetection{};
        strokeFrom(*rep, 5000, direction, 5001);
        for (int c = 5100; d.stage() == kStageStroke && c <= 8000; c += 100) tick(*rep, c);
        ASSERT_EQ(d.stage(), kStageEnded);

        TriangleTracker tracker;
        double extreme = 0.0;
        int at = 0;
        for (int i = 5001; i <= d.endIndex; ++i) {
            const double r = trackedSmoothedRate(tracker, *rep, i - kRateLag) / kRateScale;
            if (direction > 0 ? r > extreme : r < extreme) {
                extreme = r;
                at = i;
            }
        }
        EXPECT_GT(std::abs(extreme), 1000.0 / kRateScale);
        EXPECT_EQ(d.peakRate, extreme);
        EXPECT_EQ(d.peakSample, at);
    }
}

TEST_F(DetectionTest, NoEndBeforeStartPlus101EvenWhenTheRateHasTurned) {
    // Direction -1 with a positive rate throughout: every sample qualifies as an end.
    auto rep = recording(6000, [](int) { return 164; });
    strokeFrom(*rep, 5000, -1, 5001);
    for (int c = 5002; c <= 5101; ++c) tick(*rep, c);
    EXPECT_EQ(d.stage(), kStageStroke) << "sample 5100 may not end the stroke";
    tick(*rep, 5102);
    EXPECT_EQ(d.stage(), kStageEnded);
    EXPECT_EQ(d.endIndex, 5101);
    EXPECT_EQ(d.livePhase, PhaseTail);
    EXPECT_EQ(control.limit.load(), 5301);
    EXPECT_EQ(control.phaseMode.load(), TAIL);
}

TEST_F(DetectionTest, StartAt5000AndEndAt5400KeepTheWindowFrom4850With650Samples) {
    // The raw rate turns at 5350; the smoothed rate turns there too, and the tick sees it
    // 50 samples later.
    auto rep = recording(6000, [](int i) { return i < 5350 ? 100 : -100; });
    for (int ch = 0; ch < kChannelCount; ++ch)
        if (ch != RateY)
            for (int i = 0; i < 6000; ++i) rep->raw.row(ch)[i] = ch * 100000 + i;
    strokeFrom(*rep, 5000, 1, 5001);
    for (int c = 5100; c <= 5600; c += 100) tick(*rep, c);
    ASSERT_EQ(d.endIndex, 5400);
    EXPECT_EQ(control.limit.load(), 5600);

    EXPECT_FALSE(strokeWindowRecorded(5000, 5400, 5499));
    ASSERT_TRUE(strokeWindowRecorded(5000, 5400, 5500));
    EXPECT_EQ(cutStrokeWindow(*rep, 5000, 5400), 650);
    EXPECT_EQ(rep->sampleCount, 650);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (ch == RateY) continue;
        EXPECT_EQ(rep->raw.row(ch)[0], ch * 100000 + 4850);
        EXPECT_EQ(rep->raw.row(ch)[150], ch * 100000 + 5000);
        EXPECT_EQ(rep->raw.row(ch)[649], ch * 100000 + 5499);
    }
    EXPECT_EQ(rep->raw.row(RateY)[499], 100);
    EXPECT_EQ(rep->raw.row(RateY)[500], -100);
    EXPECT_FALSE(strokeWindowRecorded(149, 400, 600)) << "the window may not begin before sample 0";
}

TEST_F(DetectionTest, LevelTestUsesTheOffsetsAndStrictTolerances) {
    auto rep = std::make_unique<RepetitionRecord>();
    rep->channelOffset[AccelX] = 10.0f;
    rep->channelOffset[AccelY] = -20.0f;
    rep->channelOffset[AccelZ] = 5.0f;
    struct Case {
        int x, y, z;
        bool level;
    } cases[] = {
        {10, -2068, 5, true},          // exactly the offsets plus gravity
        {10 - 299, -2068, 5, true},    // ax = 299
        {10 - 300, -2068, 5, false},   // ax = 300
        {10 + 300, -2068, 5, false},   // ax = -300
        {10, -2068 - 599, 5, true},    // ay = 2647
        {10, -2068 - 600, 5, false},   // ay = 2648
        {10, -2068 + 600, 5, false},   // ay = 1448
        {10, -2068, 5 + 299, true},
        {10, -2068, 5 - 300, false},
    };
    for (const Case& c : cases) {
        rep->raw.row(AccelX)[0] = c.x;
        rep->raw.row(AccelY)[0] = c.y;
        rep->raw.row(AccelZ)[0] = c.z;
        double unit[3];
        EXPECT_EQ(barLevelAt(*rep, 0, unit), c.level) << c.x << " " << c.y << " " << c.z;
        EXPECT_NEAR(unit[0] * unit[0] + unit[1] * unit[1] + unit[2] * unit[2], 1.0, 1e-12);
    }
    rep->raw.row(AccelX)[0] = 10 - 1000;  // tilted to +x: ax = 1000
    rep->raw.row(AccelY)[0] = -20;
    rep->raw.row(AccelZ)[0] = 5;
    double unit[3];
    barLevelAt(*rep, 0, unit);
    EXPECT_DOUBLE_EQ(unit[0], 1.0);
    EXPECT_DOUBLE_EQ(unit[1], 0.0);
}

// A second of stillness with the bar tilted: the screen keeps the stand-still phase, yet a
// stroke is detected; and levelling the bar during the stroke does not bring back the
// ready screen.
TEST_F(DetectionTest, StillnessCompleteButNotLevelStillDetectsTheStroke) {
    // Still for 1000 samples, then 100 deg/s for 0.6 s and back at 100 deg/s.
    auto rate = [](int i) { return i < 1000 ? 0 : (i < 1600 ? 1638 : -1638); };
    auto tiltedUntil2000 = [](int i) { return i < 2000 ? -400 : 0; };
    auto rep = recording(4000, rate, tiltedUntil2000);
    d.livePhase = PhaseStandStill;
    tick(*rep, 1000);
    EXPECT_TRUE(d.stillDone());
    EXPECT_EQ(d.stillCount, kStillSamples);
    EXPECT_EQ(d.livePhase, PhaseStandStill);
    EXPECT_EQ(d.detectState & kDetectLevel, 0);
    for (int c = 1100; c <= 1800 && d.stage() != kStageStroke; c += 100) tick(*rep, c);
    ASSERT_EQ(d.stage(), kStageStroke);
    EXPECT_EQ(rep->direction, -1);
    EXPECT_EQ(d.livePhase, PhaseStroke);
    tick(*rep, 2100);  // level now
    EXPECT_NE(d.detectState & kDetectLevel, 0);
    EXPECT_EQ(d.livePhase, PhaseStroke);
}

TEST_F(DetectionTest, CalibrationRestartsAt700AndTakesTheMeansOfTheThousandSamplesAfter) {
    auto rate = [](int i) { return i < 700 ? 500 + i % 11 : (i == 700 ? 720 : 700 + i % 13 - 6); };
    auto rep = recording(3000, rate, [](int i) { return 30 + i % 13; });
    for (int i = 0; i < 3000; ++i) {
        rep->raw.row(AccelY)[i] = -2048 + i % 7;
        rep->raw.row(AccelZ)[i] = -15 + i % 5;
    }
    const float before[kChannelCount] = {1.5f, 2.5f, 3.5f, 7.5f, 4.5f, -3.25f};
    std::copy(before, before + kChannelCount, rep->channelOffset);
    d.livePhase = PhaseStandStill;
    const std::vector<int> counts = ticksOf(250, 3000);

    // Reference: the run starts at the first pass over sample 700; float sums as the
    // station keeps them.
    const std::vector<int> seq = processedSequence(counts);
    size_t from = 0;
    while (seq[from] != 700) ++from;
    float sums[3] = {};
    int64_t rateSum = 0;
    for (size_t k = from; k < from + kStillSamples; ++k)
        for (int ch = 0; ch < 3; ++ch) sums[ch] += static_cast<float>(rep->raw.row(ch)[seq[k]]);
    for (size_t k = from; k < from + kStillSamples; ++k) rateSum += rate(seq[k]);
    const int completing = seq[from + kStillSamples - 1];

    bool completed = false;
    for (int c : counts) {
        const TickSummary s = tick(*rep, c, TickMode::Calibration);
        if (!s.calibrationComplete) {
            for (int ch = 0; ch < kChannelCount; ++ch) ASSERT_EQ(rep->channelOffset[ch], before[ch]) << "tick " << c;
            continue;
        }
        EXPECT_TRUE(completing < c && completing >= c - 251) << "completed at the tick ending " << c;
        completed = true;
        break;
    }
    ASSERT_TRUE(completed);
    EXPECT_TRUE(control.isFull());
    // Channels 0 and 2 the plain means; channel 1 its reading at zero g (the bar was level).
    EXPECT_EQ(rep->channelOffset[AccelX], sums[AccelX] / 1000.0f);
    EXPECT_EQ(rep->channelOffset[AccelY], sums[AccelY] / 1000.0f + 2048.0f);
    EXPECT_EQ(rep->channelOffset[AccelZ], sums[AccelZ] / 1000.0f);
    EXPECT_EQ(rep->channelOffset[RateY], static_cast<float>(static_cast<double>(rateSum) / 1000.0));
    EXPECT_EQ(rep->channelOffset[RateX], 7.5f);
    EXPECT_EQ(rep->channelOffset[RateZ], -3.25f);
    EXPECT_EQ(d.livePhase, PhaseStandStill) << "calibration has no ready screen";
}

TEST_F(DetectionTest, ATickWithoutNewSamplesProcessesNothing) {
    auto rep = recording(2000, wobble);
    d.livePhase = PhaseStandStill;
    tick(*rep, 500);
    const int still = d.stillCount;
    const double angle = d.angle;
    tick(*rep, 500);
    EXPECT_EQ(d.stillCount, still);
    EXPECT_EQ(d.angle, angle);
    tick(*rep, 600);
    EXPECT_EQ(d.stillCount, still + 101);
}

}  // namespace
}  // namespace vanta
