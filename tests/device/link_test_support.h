// Streams and waits shared by the link tests.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "device/acquisition_control.h"
#include "device/frame_encoder.h"

namespace vanta::test {

// The six channels of test frame `seq`: every sample differs from its neighbours in every
// channel, and low and high bytes of value 0x01 turn up inside frames.
inline void channelsOf(int seq, int16_t (&ch)[6]) {
    ch[0] = static_cast<int16_t>(seq);
    ch[1] = static_cast<int16_t>(-2048 + (seq % 97));
    ch[2] = static_cast<int16_t>(0x0101 + seq % 5);  // 0x01 high and low bytes
    ch[3] = static_cast<int16_t>(-seq);
    ch[4] = static_cast<int16_t>(seq * 7 - 30000);
    ch[5] = static_cast<int16_t>(0x0100 + (seq & 1));  // 0x01 high byte, 0x01 low byte every other frame
}

// Sample `index` of the store holds the six channels of test frame `seq`.
inline bool storedFrameIs(const AcquisitionControl& control, int index, int seq) {
    int16_t ch[6];
    channelsOf(seq, ch);
    for (int c = 0; c < 6; ++c)
        if (control.store[c][index] != ch[c]) return false;
    return true;
}

inline void appendFrame(std::vector<uint8_t>& out, int seq) {
    int16_t ch[6];
    channelsOf(seq, ch);
    uint8_t f[kFrameBytes];
    encodeFrame(ch, static_cast<int16_t>(0x0101), f);
    out.insert(out.end(), f, f + kFrameBytes);
}

// Frames first..first+count-1 back to back.
inline std::vector<uint8_t> frames(int first, int count) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(count) * kFrameBytes);
    for (int i = 0; i < count; ++i) appendFrame(out, first + i);
    return out;
}

// Polls `condition` until it holds or a generous deadline passes (the tests wait on what
// they need, never for a fixed time).
template <typename Condition>
bool eventually(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace vanta::test
