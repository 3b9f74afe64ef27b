// CRC-32C: the known answers of RFC 3720 (iSCSI, appendix B.4) on both paths, and the
// fast path equal to the table on every length and alignment.
#include "storage/crc32c.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <random>
#include <vector>

namespace vanta {
namespace {

struct KnownAnswer {
    std::vector<uint8_t> bytes;
    uint32_t crc;
};

std::vector<KnownAnswer> rfc3720() {
    std::vector<KnownAnswer> v;
    v.push_back({std::vector<uint8_t>(32, 0x00), 0x8A9136AAu});
    v.push_back({std::vector<uint8_t>(32, 0xFF), 0x62A8AB43u});
    std::vector<uint8_t> up(32), down(32);
    for (int i = 0; i < 32; ++i) {
        up[i] = static_cast<uint8_t>(i);
        down[i] = static_cast<uint8_t>(31 - i);
    }
    v.push_back({up, 0x46DD794Eu});
    v.push_back({down, 0x113FDB5Cu});
    // An iSCSI SCSI Read (10) command PDU.
    v.push_back({{0x01, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                  0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x18,
                  0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
                 0xD9963A56u});
    v.push_back({{'1', '2', '3', '4', '5', '6', '7', '8', '9'}, 0xE3069283u});
    return v;
}

TEST(Crc32c, GivesTheKnownAnswersOfRfc3720) {
    for (const KnownAnswer& k : rfc3720()) {
        EXPECT_EQ(crc32cTable(k.bytes.data(), k.bytes.size()), k.crc) << "table, " << k.bytes.size() << " bytes";
        EXPECT_EQ(crc32c(k.bytes.data(), k.bytes.size()), k.crc) << "fast path, " << k.bytes.size() << " bytes";
    }
    EXPECT_EQ(crc32c(nullptr, 0), 0u);
}

TEST(Crc32c, TheFastPathEqualsTheTableOnEveryLengthAndAlignment) {
    std::mt19937 rng(7);
    std::vector<uint8_t> bytes(4096 + 16);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    for (size_t start = 0; start < 16; ++start)
        for (size_t n : {0u, 1u, 3u, 7u, 8u, 9u, 15u, 16u, 17u, 63u, 64u, 65u, 255u, 1000u, 4096u})
            ASSERT_EQ(crc32c(bytes.data() + start, n), crc32cTable(bytes.data() + start, n)) << start << "+" << n;
    std::cout << "[ fast path: " << (crc32cUsesHardware() ? "SSE 4.2" : "the table") << " ]" << std::endl;
}

}  // namespace
}  // namespace vanta
