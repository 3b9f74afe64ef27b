// Byte-by-byte assembly of the sensor box's 15-byte frames:
//   0x01, then seven big-endian signed 16-bit words: acc X, Y, Z, (unused), rate X, Y, Z.
// The sync byte is only looked for between frames; inside a frame 0x01 is data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/sample_sink.h"

namespace vanta {

inline constexpr int kFrameBytes = 15;
inline constexpr uint8_t kFrameSync = 0x01;

class FrameAssembler {
public:
    explicit FrameAssembler(SampleSink& sink) : sink_(sink) {}

    void feed(uint8_t byte) {
        if (position_ == 0) {
            if (byte == kFrameSync) position_ = 1;  // the sync byte itself is not kept
            return;
        }
        buffer_[position_++] = byte;
        if (position_ == kFrameBytes) complete();
    }
    void feed(const uint8_t* bytes, size_t count) {
        for (size_t i = 0; i < count; ++i) feed(bytes[i]);
    }
    // Back to hunting for a sync byte (a new start of the link).
    void reset() { position_ = 0; }
    int position() const { return position_; }

private:
    void complete();

    SampleSink& sink_;
    int position_ = 0;
    uint8_t buffer_[kFrameBytes] = {};
};

}  // namespace vanta
