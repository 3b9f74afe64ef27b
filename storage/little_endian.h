// Little-endian integers and reals as both of the station's files hold them (the test file
// and the settings file): 16- and 32-bit unsigned integers, int32, IEEE single.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>

namespace vanta {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big);

// A 32-bit word as it lies in the file, in the machine's order (and back: the swap is its
// own inverse).
inline uint32_t fromLittle(uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) return __builtin_bswap32(v);
    return v;
}

inline void putU16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
inline void putU32(std::string& out, uint32_t v) {
    v = fromLittle(v);
    char b[4];
    std::memcpy(b, &v, 4);
    out.append(b, 4);
}
inline void putI32(std::string& out, int32_t v) { putU32(out, static_cast<uint32_t>(v)); }
inline void putF32(std::string& out, float v) { putU32(out, std::bit_cast<uint32_t>(v)); }

inline uint16_t getU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t getU32(const unsigned char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return fromLittle(v);
}
inline int32_t getI32(const unsigned char* p) { return static_cast<int32_t>(getU32(p)); }
inline float getF32(const unsigned char* p) { return std::bit_cast<float>(getU32(p)); }

}  // namespace vanta
