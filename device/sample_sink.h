// Receiver of decoded samples: the six channels of one frame in channel order.
#pragma once

#include <cstdint>

namespace vanta {

class SampleSink {
public:
    virtual ~SampleSink() = default;
    // Called on the reader thread for every complete frame. Must not block or allocate.
    virtual void onSample(const int16_t (&channels)[6]) = 0;
};

}  // namespace vanta
