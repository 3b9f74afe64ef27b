// The attempt workflow through the real acquisition link on a scripted bridge: a stroke
// stored and analysed, and the faults: a store that fills first, a box that vanishes,
// BACK, a calibration abandoned or completed, the limit of 100 attempts.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "measure/attempt_session.h"
#include "tests/support/sample_stream.h"
#include "tests/support/scripted_bridge_driver.h"

namespace vanta {
namespace {

using namespace std::chrono_literals;
using testing::rateStream;
using testing::Sample;
using testing::subjectStream;

class SessionTest : public ::testing::Test {
protected:
    // The box is listened to; the next frame sent is the one the link skips.
    void listening() { ASSERT_TRUE(driver.waitUntilReaderWaits(0, 20s)); }
    void start(float load = 5.0f, float radius = 25.0f) {
        ASSERT_EQ(session.startAttempt(load, radius, 1234567), StartResult::Started) << session.failureReason();
        listening();
        sent = 0;
    }
    // Sends the stream's samples up to `upTo` (stream sample 0 is the skipped frame) and
    // waits until the store holds them or is full.
    void feedTo(const std::vector<Sample>& stream, size_t upTo) {
        const size_t to = std::min(upTo, stream.size());
        driver.send(0, testing::framesOf(stream, sent, to));
        sent = std::max(sent, to);
        ASSERT_TRUE(driver.waitUntilDrained(0, 20s));
        const int want = static_cast<int>(sent) - 1;
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (session.control().storedCount() < want && !session.control().isFull())
            ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    }
    // Feeds 100 samples a tick, as the box does, until the tick reports an outcome.
    TickReport runAttempt(const std::vector<Sample>& stream) {
        TickReport r;
        while (sent < stream.size() + 1) {
            feedTo(stream, sent + 100);
            r = session.tick();
            if (r.event != TickEvent::Running) return r;
        }
        return r;
    }

    ScriptedBridgeDriver driver{{ScriptedPort{kDeviceDescription, "/dev/ttyUSB0"}}};
    AcquisitionLink link{driver};
    std::unique_ptr<TestRecord> test = std::make_unique<TestRecord>();
    AttemptSession session{*test, link};
    size_t sent = 0;
};

TEST_F(SessionTest, AStrokeIsCutStoredAndAnalysedAndLaterTicksDoNothing) {
    const std::vector<Sample> stream = subjectStream(3, 0, 1500);
    start(7.5f, 30.0f);
    const TickReport r = runAttempt(stream);
    ASSERT_EQ(r.event, TickEvent::Stored);
    EXPECT_EQ(r.repetition, 0);
    EXPECT_EQ(r.frame.phaseNow, PhaseStored);
    EXPECT_FALSE(link.linkActive());

    const LiveDetection& d = session.detection();
    const RepetitionRecord& rep = test->repetitions[0];
    EXPECT_EQ(test->repetitionCount, 1);
    EXPECT_EQ(test->saved, 0);
    EXPECT_EQ(test->testTime, 1234567);
    EXPECT_EQ(rep.loadMass, 7.5f);
    EXPECT_EQ(rep.radius, 30.0f);
    EXPECT_EQ(rep.direction, -attemptParameters(3, 0).side);
    EXPECT_EQ(rep.sampleCount, d.endIndex - d.startIndex + 250);
    // Stored sample k was stream sample k + 1 (the link skips the first frame).
    for (int k : {0, 150, rep.sampleCount - 1})
        for (int ch = 0; ch < kChannelCount; ++ch)
            ASSERT_EQ(rep.raw.row(ch)[k], stream[static_cast<size_t>(d.startIndex - 150 + k + 1)][static_cast<size_t>(ch)]);
    const RepetitionResults& res = test->results[0];
    EXPECT_GE(res.velocityPeakIndex, 100);
    EXPECT_LT(res.velocityPeakIndex, rep.sampleCount - 150);
    EXPECT_GT(res.at(PeakAll, ResultColumn::Velocity), 150.0f);

    EXPECT_EQ(session.tick().event, TickEvent::None);
    EXPECT_EQ(test->repetitionCount, 1);
    EXPECT_TRUE(session.ignore()) << "IGNORE of the only attempt leaves nothing to report";
    EXPECT_EQ(test->repetitionCount, 0);
    EXPECT_EQ(test->saved, 1);
}

TEST_F(SessionTest, AStoreThatFillsBeforeTheStrokeIsRecordedStoresNothing) {
    // No stroke at all; and a stroke whose end comes so late that the 100 samples after
    // it no longer fit.
    const std::vector<std::vector<Sample>> streams = {
        rateStream(kMaxSamples + 10, [](int) { return 3; }),
        rateStream(kMaxSamples + 10, [](int i) { return i < 1500 ? 0 : i < 2500 ? 1000 : i < 59900 ? -100 : 100; }),
    };
    for (const auto& stream : streams) {
        start();
        feedTo(stream, stream.size());
        ASSERT_TRUE(session.control().isFull());
        const TickReport r = session.tick();
        EXPECT_EQ(r.event, TickEvent::TooLong);
        EXPECT_EQ(test->repetitionCount, 0);
        EXPECT_EQ(test->saved, 1);
        EXPECT_FALSE(link.linkActive());
        EXPECT_EQ(session.tick().event, TickEvent::None);
    }
    EXPECT_EQ(session.detection().stage(), kStageEnded) << "the second stream's stroke did end, at " << session.detection().endIndex;

    // A calibration that never sees a still second ends when the store is full.
    test->repetitions[0].channelOffset[AccelX] = 1.5f;
    ASSERT_EQ(session.prepareCalibration(), StartResult::Started);
    ASSERT_EQ(session.startCalibration(1), StartResult::Started);
    listening();
    sent = 0;
    const auto shaking = rateStream(kMaxSamples + 10, [](int i) { return i % 2 ? 200 : -200; });
    feedTo(shaking, shaking.size());
    EXPECT_EQ(session.tick().event, TickEvent::TooLong);
    EXPECT_FALSE(link.linkActive());
    EXPECT_EQ(test->repetitions[0].channelOffset[AccelX], 1.5f);
}

TEST_F(SessionTest, ABoxThatVanishesEndsTheAttemptAndKeepsTheStoredOnes) {
    const std::vector<Sample> stream = subjectStream(5, 0, 1500);
    start();
    ASSERT_EQ(runAttempt(stream).event, TickEvent::Stored);
    const int storedSamples = test->repetitions[0].sampleCount;
    const float peak = test->results[0].at(PeakAll, ResultColumn::Power);

    start();
    feedTo(stream, 600);
    ASSERT_EQ(session.tick().event, TickEvent::Running);
    driver.loseDevice(0);
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!link.deviceLost()) ASSERT_LT(std::chrono::steady_clock::now(), deadline);
    const TickReport r = session.tick();
    EXPECT_EQ(r.event, TickEvent::CommunicationLost);
    EXPECT_NE(r.reason.find("vanished"), std::string::npos) << r.reason;
    EXPECT_FALSE(link.linkActive());
    EXPECT_EQ(test->repetitionCount, 1);
    EXPECT_EQ(test->repetitions[0].sampleCount, storedSamples);
    EXPECT_EQ(test->results[0].at(PeakAll, ResultColumn::Power), peak);
    EXPECT_EQ(session.tick().event, TickEvent::None);
}

TEST_F(SessionTest, AStreamWithoutFramesEndsTheAttemptAfterFiveSecondsOfTheClock) {
    using Clock = std::chrono::steady_clock;
    const std::vector<Sample> stream = subjectStream(3, 0, 1500);
    const Clock::time_point t0 = Clock::now();

    // Bytes at another line rate: never a sync byte, never a frame.
    start();
    feedTo(stream, 300);
    ASSERT_EQ(session.tick(-1, t0).event, TickEvent::Running);
    driver.send(0, std::vector<uint8_t>(3000, 0x55));
    ASSERT_TRUE(driver.waitUntilDrained(0, 20s));
    EXPECT_EQ(session.tick(-1, t0 + 4900ms).event, TickEvent::Running);
    // Without the clock nothing can tell five seconds.
    EXPECT_EQ(session.tick().event, TickEvent::Running);
    TickReport r = session.tick(-1, t0 + 5s);
    ASSERT_EQ(r.event, TickEvent::CommunicationLost);
    EXPECT_NE(r.reason.find("3000 bytes arrived in 5 seconds (after 299 samples), but no frame"), std::string::npos)
        << r.reason;
    EXPECT_FALSE(link.linkActive());
    EXPECT_EQ(test->repetitionCount, 0);

    // A box that went quiet: the frames of the last tick reset the five seconds.
    start();
    feedTo(stream, 200);
    ASSERT_EQ(session.tick(-1, t0).event, TickEvent::Running);
    feedTo(stream, 400);
    ASSERT_EQ(session.tick(-1, t0 + 3s).event, TickEvent::Running);
    EXPECT_EQ(session.tick(-1, t0 + 7900ms).event, TickEvent::Running);
    r = session.tick(-1, t0 + 8s);
    ASSERT_EQ(r.event, TickEvent::CommunicationLost);
    EXPECT_NE(r.reason.find("no frames from the sensor box for 5 seconds"), std::string::npos) << r.reason;
}

TEST_F(SessionTest, AStoredAttemptWhoseStreamCameTooFastIsKeptWithAWarning) {
    // The scripted box hands over each tick's samples at once: far above 1000 a second.
    const std::vector<Sample> stream = subjectStream(3, 0, 1500);
    start();
    TickReport r;
    while (sent < stream.size() + 1) {
        feedTo(stream, sent + 100);
        r = session.tick(-1, std::chrono::steady_clock::now());
        if (r.event != TickEvent::Running) break;
    }
    ASSERT_EQ(r.event, TickEvent::Stored);
    EXPECT_EQ(test->repetitionCount, 1);
    EXPECT_NE(r.warning.find("samples a second in this attempt instead of 1000"), std::string::npos) << r.warning;

    // Untimed ticks (no clock to judge by) store the same attempt without a word.
    start();
    r = runAttempt(stream);
    ASSERT_EQ(r.event, TickEvent::Stored);
    EXPECT_EQ(r.warning, "");
}

TEST(StreamWarning, TheRateMustLieWithinFivePercentAndNoPauseLongerThan50msMayCutTheStroke) {
    using namespace std::chrono;
    StreamTiming t;
    t.started = steady_clock::time_point{} + 1s;
    t.stored = 3000;
    auto at = [&](double seconds) {
        t.lastStored = t.started + duration_cast<steady_clock::duration>(duration<double>(seconds));
    };
    at(3.0);
    EXPECT_EQ(streamWarning(t, 1000, 2600), "");
    at(3000 / 1049.0);
    EXPECT_EQ(streamWarning(t, 1000, 2600), "");
    at(3000 / 951.0);
    EXPECT_EQ(streamWarning(t, 1000, 2600), "");
    at(3000 / 1051.0);
    EXPECT_NE(streamWarning(t, 1000, 2600).find("sent 1051 samples a second"), std::string::npos);
    at(3000 / 949.0);
    EXPECT_NE(streamWarning(t, 1000, 2600).find("sent 949 samples a second"), std::string::npos);

    at(3.0);
    t.gapCount = 3;
    t.gaps[0] = {400, 300ms};   // before the stroke: the subject was standing still
    t.gaps[1] = {1000, 80ms};   // ended at the stroke's first sample: nothing lost inside it
    t.gaps[2] = {2700, 200ms};  // in the tail
    EXPECT_EQ(streamWarning(t, 1000, 2600), "");
    t.gaps[1] = {1001, 50ms};
    EXPECT_EQ(streamWarning(t, 1000, 2600), "");
    t.gaps[1] = {2600, 51ms};
    const std::string w = streamWarning(t, 1000, 2600);
    EXPECT_NE(w.find("sent nothing for 51 ms during the stroke"), std::string::npos) << w;
    EXPECT_NE(w.find("IGNORE drops it"), std::string::npos) << w;
    EXPECT_EQ(w.find("samples a second"), std::string::npos) << w;
}

TEST_F(SessionTest, BackAbandonsTheAttemptAndTheNextStartRecordsAfresh) {
    const std::vector<Sample> stream = subjectStream(3, 0, 1500);
    start();
    feedTo(stream, 1500);
    ASSERT_EQ(session.tick().event, TickEvent::Running);
    session.back();
    EXPECT_FALSE(link.linkActive());
    EXPECT_EQ(session.tick().event, TickEvent::None);
    EXPECT_EQ(test->repetitionCount, 0);

    start();
    EXPECT_EQ(session.control().storedCount(), 0);
    EXPECT_EQ(runAttempt(stream).event, TickEvent::Stored);
    EXPECT_EQ(test->repetitionCount, 1);
}

TEST_F(SessionTest, CalibrationChangesTheOffsetsOnlyWhenItsSecondIsComplete) {
    const float before[kChannelCount] = {1.5f, 2.5f, 3.5f, 7.5f, 4.5f, -3.25f};
    std::copy(before, before + kChannelCount, test->repetitions[0].channelOffset);
    test->repetitionCount = 3;
    const std::vector<Sample> still = rateStream(3000, [](int i) { return 40 + i % 5; });

    ASSERT_EQ(session.prepareCalibration(), StartResult::Started);
    EXPECT_EQ(test->repetitionCount, 0);
    ASSERT_EQ(session.startCalibration(99), StartResult::Started);
    listening();
    sent = 0;
    feedTo(still, 800);
    ASSERT_EQ(session.tick().event, TickEvent::Running);
    session.back();  // abandoned: BACK or Esc on the calibration screen
    EXPECT_EQ(session.tick().event, TickEvent::None);
    for (int ch = 0; ch < kChannelCount; ++ch) EXPECT_EQ(test->repetitions[0].channelOffset[ch], before[ch]);

    ASSERT_EQ(session.startCalibration(100), StartResult::Started);
    listening();
    sent = 0;
    TickReport r;
    while (r.event != TickEvent::CalibrationDone && sent < still.size()) {
        feedTo(still, sent + 100);
        r = session.tick();
    }
    ASSERT_EQ(r.event, TickEvent::CalibrationDone);
    EXPECT_FALSE(link.linkActive());
    const float* off = test->repetitions[0].channelOffset;
    EXPECT_EQ(off[AccelX], 0.0f);
    EXPECT_EQ(off[AccelY], 0.0f) << "channel 1 at zero g: the bar's -2048 counts are gravity";
    EXPECT_NEAR(off[RateY], 42.0f, 0.05f);
    EXPECT_EQ(off[RateX], 7.5f);
    EXPECT_EQ(session.tick().event, TickEvent::None);

    test->repetitionCount = kMaxRepetitions;
    EXPECT_EQ(session.prepareCalibration(), StartResult::MaxAttempts);
    EXPECT_EQ(test->repetitionCount, kMaxRepetitions);
}

// A still, level bar whose channel 1 reads one g with noise: calibrated, then the first
// attempt on the same bar reaches the ready screen (the level test finds its g).
TEST_F(SessionTest, AFirstAttemptAfterCalibratingAStillLevelBarIsReady) {
    std::vector<Sample> bar = rateStream(3000, [](int i) { return 40 + i % 5; });
    for (size_t i = 0; i < bar.size(); ++i) {
        bar[i][AccelX] = static_cast<int16_t>(12 + static_cast<int>(i % 7));
        bar[i][AccelY] = static_cast<int16_t>(-2048 + static_cast<int>((i * 37) % 61) - 30);
        bar[i][AccelZ] = static_cast<int16_t>(-9 + static_cast<int>(i % 3));
    }
    ASSERT_EQ(session.prepareCalibration(), StartResult::Started);
    ASSERT_EQ(session.startCalibration(1), StartResult::Started);
    listening();
    sent = 0;
    TickReport r;
    while (r.event != TickEvent::CalibrationDone && sent < bar.size()) {
        feedTo(bar, sent + 100);
        r = session.tick();
    }
    ASSERT_EQ(r.event, TickEvent::CalibrationDone);
    const float* off = test->repetitions[0].channelOffset;
    EXPECT_NEAR(off[AccelX], 15.0f, 0.1f);
    EXPECT_NEAR(off[AccelY], 0.0f, 1.0f);
    EXPECT_NEAR(off[AccelZ], -8.0f, 0.1f);

    start();
    int phase = PhaseNone;
    while (phase != PhaseReady && sent < 2000) {
        feedTo(bar, sent + 100);
        r = session.tick();
        ASSERT_EQ(r.event, TickEvent::Running);
        phase = session.livePhase();
    }
    EXPECT_EQ(phase, PhaseReady) << "the first attempt after a calibration must reach the ready screen";
    EXPECT_EQ(session.currentAttempt(), 0);
}

TEST_F(SessionTest, StartIsRefusedAtAHundredAttemptsAndWithoutABox) {
    test->repetitionCount = kMaxRepetitions;
    EXPECT_EQ(session.startAttempt(5.0f, 25.0f, 1), StartResult::MaxAttempts);
    EXPECT_FALSE(link.linkActive());
    test->repetitionCount = kMaxRepetitions - 1;
    EXPECT_EQ(session.startAttempt(5.0f, 25.0f, 1), StartResult::Started);
    EXPECT_EQ(session.currentAttempt(), kMaxRepetitions - 1);
    session.back();

    ScriptedBridgeDriver nothing;
    AcquisitionLink noLink(nothing);
    AttemptSession lonely(*test, noLink);
    test->repetitionCount = 0;
    EXPECT_EQ(lonely.startAttempt(5.0f, 25.0f, 1), StartResult::CommunicationError);
    EXPECT_EQ(lonely.failureReason(), "no sensor box found");
    EXPECT_FALSE(lonely.running());
    EXPECT_EQ(lonely.tick().event, TickEvent::None);
}

}  // namespace
}  // namespace vanta
