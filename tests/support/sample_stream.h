// Sensor samples for the tests of the attempt workflow: a subject's attempt as the box
// sends it, or a level bar with a chosen rate, and their frames.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/trunk_motion.h"
#include "device/frame_encoder.h"

namespace vanta::testing {

using Sample = std::array<int16_t, 6>;

// The subject of attempt `attempt` from its first sample to `extra` samples after it has
// settled again.
inline std::vector<Sample> subjectStream(uint64_t seed, int attempt, int extra) {
    TrunkAttempt subject(attemptParameters(seed, attempt), seed + 17);
    std::vector<Sample> out(static_cast<size_t>(subject.settledSample() + extra));
    for (Sample& s : out) subject.next(s.data());
    return out;
}

// A level bar at rest but for the rate channel.
template <typename Rate>
std::vector<Sample> rateStream(int n, Rate rate) {
    std::vector<Sample> out(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = {0, -2048, 0, 0, static_cast<int16_t>(rate(i)), 0};
    return out;
}

// The frames of samples from..to-1.
inline std::vector<uint8_t> framesOf(const std::vector<Sample>& stream, size_t from, size_t to) {
    std::vector<uint8_t> bytes;
    for (size_t k = from; k < to && k < stream.size(); ++k) {
        int16_t ch[6];
        for (int c = 0; c < 6; ++c) ch[c] = stream[k][static_cast<size_t>(c)];
        uint8_t frame[kFrameBytes];
        encodeFrame(ch, 0, frame);
        bytes.insert(bytes.end(), frame, frame + kFrameBytes);
    }
    return bytes;
}

}  // namespace vanta::testing
