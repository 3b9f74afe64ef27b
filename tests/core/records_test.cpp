#include "core/records.h"

#include <gtest/gtest.h>

#include <memory>

namespace vanta {
namespace {

TEST(Records, SampleStorageIsTakenOnlyForTouchedRepetitions) {
    auto test = std::make_unique<TestRecord>();
    for (const RepetitionRecord& rep : test->repetitions) EXPECT_FALSE(rep.raw.allocated());
    // A repetition nobody wrote reads as zeros.
    const RepetitionRecord& untouched = test->repetitions[5];
    EXPECT_EQ(untouched.raw.row(RateY)[kMaxSamples - 1], 0);
    EXPECT_EQ(test->series[5][SeriesPosition][123], 0.0f);

    test->repetitions[0].raw.row(AccelX)[0] = 7;
    test->repetitions[99].raw.row(RateZ)[kMaxSamples - 1] = -9;
    int allocated = 0;
    for (const RepetitionRecord& rep : test->repetitions) allocated += rep.raw.allocated();
    EXPECT_EQ(allocated, 2);
    // Fresh storage is zero-filled, and channels do not overlap.
    EXPECT_EQ(test->repetitions[0].raw.row(AccelY)[0], 0);
    EXPECT_EQ(test->repetitions[0].raw.row(AccelX)[0], 7);
    EXPECT_EQ(test->repetitions[99].raw.row(RateZ)[kMaxSamples - 1], -9);
    EXPECT_EQ(test->repetitions[99].raw.row(RateY)[kMaxSamples - 1], 0);
}

TEST(Records, ValidSamplesStaysWithinTheCapacity) {
    RepetitionRecord rep;
    rep.sampleCount = -4;
    EXPECT_EQ(rep.validSamples(), 0);
    rep.sampleCount = kMaxSamples + 1;
    EXPECT_EQ(rep.validSamples(), kMaxSamples);
    rep.sampleCount = 651;
    EXPECT_EQ(rep.validSamples(), 651);
}

}  // namespace
}  // namespace vanta
