// CRC-32C (Castagnoli, reflected, as iSCSI and ext4 use it): the checksum of every session
// journal record. The processor's own instruction where it has one (SSE 4.2), else tables;
// the fast path is used only after it gave the table's answers on a check at first use.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vanta {

uint32_t crc32c(const void* data, size_t n);
// The table path alone: the reference the fast path is checked against.
uint32_t crc32cTable(const void* data, size_t n);
// True when crc32c() uses the processor's instruction (it exists and agreed with the table).
bool crc32cUsesHardware();

}  // namespace vanta
