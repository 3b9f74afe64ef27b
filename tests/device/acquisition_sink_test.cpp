// The store of the acquisition link, sample by sample: skipping the first frame, the
// capacity of SEARCH, the limit of TAIL, and BACK.
#include <gtest/gtest.h>

#include <memory>

#include "device/acquisition_control.h"
#include "link_test_support.h"

namespace vanta {
namespace {

class AcquisitionSinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        rep = std::make_unique<RepetitionRecord>();
        control.prepare(*rep);
        control.skipFirst.store(1);
        sink.attach(&control);
    }
    void feed(int seq) {
        int16_t ch[6];
        test::channelsOf(seq, ch);
        sink.onSample(ch);
    }
    bool holds(int index, int seq) const { return test::storedFrameIs(control, index, seq); }

    std::unique_ptr<RepetitionRecord> rep;
    AcquisitionControl control;
    AcquisitionSink sink;
};

TEST_F(AcquisitionSinkTest, DropsTheFirstFrameAndStoresTheNextFromIndexZero) {
    feed(1);
    EXPECT_EQ(control.storedCount(), 0);
    EXPECT_EQ(control.skipFirst.load(), 0);
    feed(2);
    feed(3);
    ASSERT_EQ(control.storedCount(), 2);
    EXPECT_TRUE(holds(0, 2));
    EXPECT_TRUE(holds(1, 3));
    // Widened to 32 bits with their sign.
    EXPECT_EQ(control.store[RateY][0], 2 * 7 - 30000);
}

TEST_F(AcquisitionSinkTest, SearchFillsTheRepetitionToItsCapacityThenSetsFull) {
    feed(0);  // skipped
    for (int i = 1; i <= kMaxSamples; ++i) feed(i);
    ASSERT_EQ(control.storedCount(), kMaxSamples);
    EXPECT_FALSE(control.isFull()) << "the 60000th sample alone does not set full";
    EXPECT_TRUE(holds(kMaxSamples - 1, kMaxSamples));
    feed(kMaxSamples + 1);
    EXPECT_TRUE(control.isFull());
    EXPECT_EQ(control.storedCount(), kMaxSamples);
    EXPECT_TRUE(holds(kMaxSamples - 1, kMaxSamples)) << "the dropped frame must not overwrite the last sample";
}

TEST_F(AcquisitionSinkTest, SearchIgnoresALimitLeftOverFromAnEarlierTail) {
    // A limit of a former attempt's tail must not cut a new attempt short while it still
    // searches for the stroke.
    control.limit.store(10);
    feed(0);
    for (int i = 1; i <= 50; ++i) feed(i);
    EXPECT_EQ(control.storedCount(), 50);
    EXPECT_FALSE(control.isFull());
}

TEST_F(AcquisitionSinkTest, TailStoresExactlyLimitSamples) {
    feed(0);
    for (int i = 1; i <= 100; ++i) feed(i);
    control.switchToTail(300);
    EXPECT_EQ(control.phaseMode.load(), TAIL);
    for (int i = 101; i <= 400; ++i) feed(i);
    EXPECT_TRUE(control.isFull());
    ASSERT_EQ(control.storedCount(), 300);
    EXPECT_TRUE(holds(299, 300));
    for (int c = 0; c < kChannelCount; ++c) EXPECT_EQ(control.store[c][300], 0) << "channel " << c;
}

TEST_F(AcquisitionSinkTest, TailLimitAlreadyPassedStopsAtTheNextFrame) {
    feed(0);
    for (int i = 1; i <= 80; ++i) feed(i);
    control.switchToTail(50);
    feed(81);
    EXPECT_TRUE(control.isFull());
    EXPECT_EQ(control.storedCount(), 80);
}

TEST_F(AcquisitionSinkTest, FullSetByTheStationStoresNothingMore) {
    feed(0);
    feed(1);
    control.markFull();
    feed(2);
    EXPECT_EQ(control.storedCount(), 1);
    // A sink without a control block (the link is stopped) drops everything.
    sink.attach(nullptr);
    feed(3);
    EXPECT_EQ(control.storedCount(), 1);
}

TEST(AcquisitionControl, PrepareAllocatesTheRepetitionAndSearches) {
    auto rep = std::make_unique<RepetitionRecord>();
    AcquisitionControl control;
    control.switchToTail(5);
    ASSERT_FALSE(rep->raw.allocated());
    control.prepare(*rep);
    EXPECT_TRUE(rep->raw.allocated());
    EXPECT_EQ(control.phaseMode.load(), SEARCH);
    EXPECT_EQ(control.limit.load(), kMaxSamples);
    for (int c = 0; c < kChannelCount; ++c) EXPECT_EQ(control.store[c], rep->raw.row(c));
}

}  // namespace
}  // namespace vanta
