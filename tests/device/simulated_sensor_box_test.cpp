// The simulated sensor box through the real link: its bursts, noise and torn first frame
// must reach the store as exactly the subject's samples, and its attempts must look like
// trunk rotations.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "device/acquisition_link.h"
#include "device/simulated_sensor_box.h"
#include "link_test_support.h"

namespace vanta {
namespace {

using test::eventually;

// Records one attempt of `box` through `link` until `samples` are stored.
void record(AcquisitionLink& link, AcquisitionControl& control, RepetitionRecord& rep, int samples) {
    control.prepare(rep);
    ASSERT_TRUE(link.startAcquisition(control)) << linkFailureText(link.lastStatus());
    ASSERT_TRUE(eventually([&] { return control.storedCount() >= samples; }, std::chrono::seconds(60)));
    link.stopAcquisition();
}

// The stored samples must be the subject's own, in order, from wherever listening began:
// returns the subject's sample index of stored sample 0, or -1 if they are not.
int matchSubject(TrunkAttempt subject, const AcquisitionControl& control, int count) {
    // The station starts listening within the first second of the box's stream.
    std::vector<std::array<int16_t, 6>> expected(static_cast<size_t>(count) + 1100);
    for (auto& s : expected) {
        int16_t ch[6];
        subject.next(ch);
        std::copy(ch, ch + 6, s.begin());
    }
    for (int first = 1; first < 1100; ++first) {
        bool same = true;
        for (int i = 0; i < count && same; ++i)
            for (int c = 0; c < kChannelCount && same; ++c) same = control.store[c][i] == expected[static_cast<size_t>(first + i)][static_cast<size_t>(c)];
        if (same) return first;
    }
    return -1;
}

// +1 when the subject first turns to positive angles, -1 to negative ones, 0 if never.
int windUpSide(const RepetitionRecord& rep, const AttemptParameters& p) {
    for (int i = 0; i < kMaxSamples; ++i) {
        const double degPerS = (rep.raw.row(RateY)[i] - p.channelOffset[RateY]) / kRateScale;
        if (std::abs(degPerS) > 30.0) return degPerS > 0 ? 1 : -1;
    }
    return 0;
}

SimulationOptions fastBox(uint64_t seed) {
    SimulationOptions o;
    o.seed = seed;
    o.timeScale = 5.0;  // five seconds of the box in one
    return o;
}

TEST(SimulatedSensorBox, IsFoundByItsDescriptionWithoutStartingAnAttempt) {
    SimulatedSensorBox box;
    AcquisitionLink link(box);
    EXPECT_TRUE(link.probeDevice());
    EXPECT_EQ(box.description(0), "Kavelvanta");
    EXPECT_EQ(box.attemptsStarted(), 0);
}

TEST(SimulatedSensorBox, DeliversTheSubjectsSamplesExactlyThroughTheLink) {
    auto boxOwned = std::make_unique<SimulatedSensorBox>(fastBox(7));
    SimulatedSensorBox& box = *boxOwned;
    AcquisitionLink link(std::move(boxOwned));
    auto rep = std::make_unique<RepetitionRecord>();
    AcquisitionControl control;
    constexpr int kSamples = 6000;  // stillness, wind-up, reversal and the stroke
    record(link, control, *rep, kSamples);
    ASSERT_EQ(box.overrunFrames(), 0u) << "the reader fell behind the box";
    const int first = matchSubject(box.subjectOf(0), control, kSamples);
    EXPECT_EQ(first, 2) << "not exactly the subject's samples from sample 2 on: lost, doubled or altered bytes";
    // The stream really carried noise bytes and split frames.
    const auto stats = link.statistics();
    EXPECT_GT(stats.bytesRead, stats.framesDecoded * kFrameBytes);
    EXPECT_LT(stats.wakeUps, stats.framesDecoded);
}

TEST(SimulatedSensorBox, AnAttemptLooksLikeATrunkRotation) {
    SimulatedSensorBox box(fastBox(11));
    AcquisitionLink link(box);
    auto rep = std::make_unique<RepetitionRecord>();
    AcquisitionControl control;
    record(link, control, *rep, 6000);
    const AttemptParameters p = attemptParameters(11, 0);

    // Standing still with the bar level: gravity on channel 1, a quiet rate channel.
    double acc = 0, rate = 0, rate2 = 0;
    for (int i = 0; i < 1000; ++i) {
        acc += control.store[AccelY][i];
        rate += control.store[RateY][i];
        rate2 += static_cast<double>(control.store[RateY][i]) * control.store[RateY][i];
    }
    acc /= 1000;
    rate /= 1000;
    EXPECT_NEAR(acc, -2048 + p.channelOffset[AccelY], 2.0);
    EXPECT_NEAR(rate, p.channelOffset[RateY], 1.0);
    EXPECT_LT(std::sqrt(rate2 / 1000 - rate * rate), 5.0);

    // Wind-up to the positive side (attempt 0), then a stroke back through with its peak
    // between 200 and 400 deg/s.
    double most = 0, least = 0;
    for (int i = 0; i < 6000; ++i) {
        const double degPerS = (control.store[RateY][i] - p.channelOffset[RateY]) / kRateScale;
        most = std::max(most, degPerS);
        least = std::min(least, degPerS);
    }
    EXPECT_GT(most, 40.0);
    EXPECT_LT(least, -190.0);
    EXPECT_GT(least, -410.0);
}

TEST(SimulatedSensorBox, EachStartIsTheNextAttemptFromTheOtherSide) {
    SimulatedSensorBox box(fastBox(3));
    AcquisitionLink link(box);
    AcquisitionControl control;
    auto first = std::make_unique<RepetitionRecord>();
    auto second = std::make_unique<RepetitionRecord>();
    record(link, control, *first, 4500);
    EXPECT_EQ(matchSubject(box.subjectOf(0), control, 4500), 2);
    record(link, control, *second, 4500);
    EXPECT_EQ(box.attemptsStarted(), 2);
    EXPECT_EQ(matchSubject(box.subjectOf(1), control, 4500), 2);
    EXPECT_EQ(windUpSide(*first, attemptParameters(3, 0)), 1);
    EXPECT_EQ(windUpSide(*second, attemptParameters(3, 1)), -1);
}

}  // namespace
}  // namespace vanta
