#include "core/records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/sample_memory.h"

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

// Blocks are packed together and given back in large pieces: a block taken again must be
// zero whether its memory went back to the system or stayed beside blocks still in use,
// and once every block is given back, so is the memory.
TEST(Records, BlocksTakenAgainAreZeroAndMemoryGoesBack) {
    constexpr size_t kSeriesBytes = sizeof(float) * 4 * kMaxSamples;
    constexpr size_t kSampleBytes = sizeof(int32_t) * kChannelCount * kMaxSamples;
    const size_t reservedBefore = sample_memory::reservedBytes();
    std::vector<std::pair<void*, size_t>> blocks;
    for (int i = 0; i < 24; ++i) {
        const size_t bytes = i % 4 == 3 ? kSampleBytes : kSeriesBytes;
        void* p = sample_memory::allocateZeroed(bytes);
        ASSERT_NE(p, nullptr);
        std::memset(p, 0xAB, bytes);
        blocks.emplace_back(p, bytes);
    }
    // Give back two of every three: some large pieces empty out, others keep a block.
    for (size_t i = 0; i < blocks.size(); ++i)
        if (i % 3 != 2) sample_memory::release(blocks[i].first, blocks[i].second);
    for (size_t i = 0; i < blocks.size(); ++i) {
        if (i % 3 == 2) continue;
        blocks[i].first = sample_memory::allocateZeroed(blocks[i].second);
        ASSERT_NE(blocks[i].first, nullptr);
        const auto* bytes = static_cast<const unsigned char*>(blocks[i].first);
        EXPECT_TRUE(std::all_of(bytes, bytes + blocks[i].second, [](unsigned char b) { return b == 0; }))
            << "block " << i << " taken again holds old values";
    }
    for (const auto& [p, bytes] : blocks) sample_memory::release(p, bytes);
    EXPECT_EQ(sample_memory::reservedBytes(), reservedBefore);
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
