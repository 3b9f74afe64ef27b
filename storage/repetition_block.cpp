#include "storage/repetition_block.h"

#include <algorithm>
#include <cstring>

#include "storage/little_endian.h"

namespace vanta {

void putBlockHeader(std::string& out, const RepetitionRecord& rep) {
    putI32(out, rep.direction);
    for (float off : rep.channelOffset) putF32(out, off);
    putF32(out, rep.loadMass);
    putF32(out, rep.radius);
    putI32(out, rep.validSamples());
}

void putBlockSamples(std::string& out, const RepetitionRecord& rep, int first, int n) {
    if (n <= 0) return;
    const int32_t* ch[kChannelCount];
    for (int c = 0; c < kChannelCount; ++c) ch[c] = rep.raw.row(c) + first;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(n) * kSampleBytes);
    char* p = out.data() + at;
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < kChannelCount; ++c, p += 4) {
            const uint32_t v = fromLittle(static_cast<uint32_t>(ch[c][i]));
            std::memcpy(p, &v, 4);
        }
}

void putRepetitionBlock(std::string& out, const RepetitionRecord& rep) {
    const int n = rep.validSamples();
    out.reserve(out.size() + repetitionBlockBytes(n));
    putBlockHeader(out, rep);
    putBlockSamples(out, rep, 0, n);
}

int32_t getBlockHeader(const unsigned char* h, RepetitionRecord& rep) {
    rep.direction = getI32(h);
    for (int c = 0; c < kChannelCount; ++c) rep.channelOffset[c] = getF32(h + 4 + 4 * c);
    rep.loadMass = getF32(h + 4 + 4 * kChannelCount);
    rep.radius = getF32(h + 8 + 4 * kChannelCount);
    return getI32(h + 12 + 4 * kChannelCount);
}

void samplesToChannels(const unsigned char* bytes, int n, int32_t* const* channels) {
    static_assert(kChannelCount == 6);
    int32_t* __restrict c0 = channels[0];
    int32_t* __restrict c1 = channels[1];
    int32_t* __restrict c2 = channels[2];
    int32_t* __restrict c3 = channels[3];
    int32_t* __restrict c4 = channels[4];
    int32_t* __restrict c5 = channels[5];
    for (int i = 0; i < n; ++i, bytes += kSampleBytes) {
        c0[i] = getI32(bytes);
        c1[i] = getI32(bytes + 4);
        c2[i] = getI32(bytes + 8);
        c3[i] = getI32(bytes + 12);
        c4[i] = getI32(bytes + 16);
        c5[i] = getI32(bytes + 20);
    }
}

void channelFromSamples(const unsigned char* bytes, int n, int channel, int32_t* __restrict out) {
    bytes += 4 * channel;
    for (int i = 0; i < n; ++i, bytes += kSampleBytes) out[i] = getI32(bytes);
}

void copyBlockHeader(const RepetitionRecord& from, RepetitionRecord& to) {
    to.direction = from.direction;
    std::copy(std::begin(from.channelOffset), std::end(from.channelOffset), std::begin(to.channelOffset));
    to.loadMass = from.loadMass;
    to.radius = from.radius;
    to.sampleCount = from.sampleCount;
}

}  // namespace vanta
