// One repetition as both of the station's formats hold it: the test file (storage/
// test_file.h) after its subject, and the session journal's attempt record (storage/
// journal_format.h) after the attempt's index and test time. A new field is one edit here.
//
//     i32 direction | f32 offset x6 | f32 load | f32 radius | i32 n | n samples
//
// A sample is the six channels' int32 in turn; everything little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/records.h"

namespace vanta {

inline constexpr size_t kSampleBytes = 4 * kChannelCount;
// Direction, six offsets, load, radius and the sample count.
inline constexpr size_t kBlockHeaderBytes = 4 + 4 * kChannelCount + 4 + 4 + 4;

// The bytes of a block of n samples.
inline uint64_t repetitionBlockBytes(int samples) {
    return kBlockHeaderBytes + static_cast<uint64_t>(samples < 0 ? 0 : samples) * kSampleBytes;
}

// Appends the block's header with its valid sample count (rep.validSamples()).
void putBlockHeader(std::string& out, const RepetitionRecord& rep);
// Appends samples [first, first + n) of the repetition, sample by sample.
void putBlockSamples(std::string& out, const RepetitionRecord& rep, int first, int n);
// The whole block: header and every valid sample.
void putRepetitionBlock(std::string& out, const RepetitionRecord& rep);

// Reads a header (kBlockHeaderBytes at `h`) into the repetition's fields (direction,
// offsets, load, radius; not the samples) and gives the sample count as the file claims it.
int32_t getBlockHeader(const unsigned char* h, RepetitionRecord& rep);
// n samples as the file holds them into the channel rows, which hold them channel by channel.
void samplesToChannels(const unsigned char* bytes, int n, int32_t* const* channels);
// One channel of n samples as the file holds them.
void channelFromSamples(const unsigned char* bytes, int n, int channel, int32_t* out);

// The header's fields and the sample count from one repetition to another (the samples
// themselves are the caller's: swapped, copied or released).
void copyBlockHeader(const RepetitionRecord& from, RepetitionRecord& to);

}  // namespace vanta
