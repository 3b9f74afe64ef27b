#include "device/frame_assembler.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace vanta {
namespace {

struct CollectingSink : SampleSink {
    std::vector<std::array<int16_t, 6>> samples;
    void onSample(const int16_t (&c)[6]) override { samples.push_back({c[0], c[1], c[2], c[3], c[4], c[5]}); }
};

std::vector<uint8_t> frame(const std::array<uint16_t, 7>& words) {
    std::vector<uint8_t> f{0x01};
    for (uint16_t w : words) {
        f.push_back(static_cast<uint8_t>(w >> 8));
        f.push_back(static_cast<uint8_t>(w & 0xFF));
    }
    return f;
}

TEST(FrameAssembler, OneFrameGivesTheSixChannelsWithoutWordFour) {
    CollectingSink sink;
    FrameAssembler fa(sink);
    const auto f = frame({0x0102, 0xF800, 0x0003, 0xABCD, 0x7FFF, 0x8000, 0xFFFF});
    fa.feed(f.data(), f.size());
    ASSERT_EQ(sink.samples.size(), 1u);
    EXPECT_EQ(sink.samples[0], (std::array<int16_t, 6>{258, -2048, 3, 32767, -32768, -1}));
    // Word 4 changes nothing.
    const auto g = frame({0x0102, 0xF800, 0x0003, 0x0000, 0x7FFF, 0x8000, 0xFFFF});
    fa.feed(g.data(), g.size());
    EXPECT_EQ(sink.samples[1], sink.samples[0]);
}

TEST(FrameAssembler, SyncIsOnlySoughtBetweenFrames) {
    CollectingSink sink;
    FrameAssembler fa(sink);
    std::vector<uint8_t> stream{0x00, 0xFF, 0x13, 0x37};  // garbage before the first sync
    const auto f = frame({0x0101, 0x0001, 0x0100, 0x0101, 0x0001, 0x0101, 0x0100});  // 0x01 inside as data
    stream.insert(stream.end(), f.begin(), f.end());
    stream.insert(stream.end(), {0x42, 0x00});  // dropped until the next 0x01
    const auto g = frame({1, 2, 3, 4, 5, 6, 7});
    stream.insert(stream.end(), g.begin(), g.end());
    stream.insert(stream.end(), g.begin(), g.end());  // back to back
    fa.feed(stream.data(), stream.size());
    ASSERT_EQ(sink.samples.size(), 3u);
    EXPECT_EQ(sink.samples[0], (std::array<int16_t, 6>{0x0101, 1, 0x0100, 1, 0x0101, 0x0100}));
    EXPECT_EQ(sink.samples[1], (std::array<int16_t, 6>{1, 2, 3, 5, 6, 7}));
    EXPECT_EQ(sink.samples[2], sink.samples[1]);
    EXPECT_EQ(fa.position(), 0);
}

TEST(FrameAssembler, AnySplitDecodesLikeOneRead) {
    std::vector<uint8_t> stream;
    for (int k = 0; k < 3; ++k) {
        const auto f = frame({uint16_t(k), uint16_t(0x0100 + k), 0x01FF, 9, uint16_t(-k), 0x8001, 0x0201});
        stream.insert(stream.end(), f.begin(), f.end());
    }
    CollectingSink whole;
    FrameAssembler wa(whole);
    wa.feed(stream.data(), stream.size());
    for (size_t a = 0; a <= stream.size(); ++a) {
        for (size_t b = a; b <= stream.size(); b += 7) {
            CollectingSink split;
            FrameAssembler sa(split);
            sa.feed(stream.data(), a);
            sa.feed(stream.data() + a, b - a);
            sa.feed(stream.data() + b, stream.size() - b);
            ASSERT_EQ(split.samples, whole.samples) << a << "/" << b;
        }
    }
}

}  // namespace
}  // namespace vanta
