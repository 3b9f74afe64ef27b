#include "device/frame_assembler.h"

namespace vanta {

namespace {
int16_t wordAt(const uint8_t* buffer, int offset) {
    return static_cast<int16_t>(static_cast<uint16_t>((buffer[offset] << 8) | buffer[offset + 1]));
}
}  // namespace

void FrameAssembler::complete() {
    // Word 4 (bytes 7 and 8) carries nothing the station uses.
    const int16_t channels[6] = {wordAt(buffer_, 1), wordAt(buffer_, 3),  wordAt(buffer_, 5),
                                 wordAt(buffer_, 9), wordAt(buffer_, 11), wordAt(buffer_, 13)};
    position_ = 0;
    sink_.onSample(channels);
}

}  // namespace vanta
