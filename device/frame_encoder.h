// The sensor box's side of the frame format: six channels (and the unused word 4) as the
// 15 bytes the box sends. The simulated box, the test streams and the benchmarks use it.
#pragma once

#include <cstdint>

#include "device/frame_assembler.h"

namespace vanta {

// Writes 0x01 and the words acc X, Y, Z, word4, rate X, Y, Z, each high byte first.
inline void encodeFrame(const int16_t (&channels)[6], int16_t word4, uint8_t (&out)[kFrameBytes]) {
    const int16_t words[7] = {channels[0], channels[1], channels[2], word4, channels[3], channels[4], channels[5]};
    out[0] = kFrameSync;
    for (int w = 0; w < 7; ++w) {
        const uint16_t u = static_cast<uint16_t>(words[w]);
        out[1 + 2 * w] = static_cast<uint8_t>(u >> 8);
        out[2 + 2 * w] = static_cast<uint8_t>(u & 0xFF);
    }
}

}  // namespace vanta
