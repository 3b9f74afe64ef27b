// The tag both station files start with. The test file stores it as a text (its length
// byte 0x0F first), the settings file as the 15 bare characters; neither file carries any
// other version information, so a file with another tag is not the station's.
#pragma once

#include <cstring>
#include <string_view>

namespace vanta {

inline constexpr std::string_view kFileTag = "VantaCheck_V1.1";

// True when `bytes` (at least `size` of them) start with the bare tag.
inline bool startsWithFileTag(const unsigned char* bytes, size_t size) {
    return size >= kFileTag.size() && std::memcmp(bytes, kFileTag.data(), kFileTag.size()) == 0;
}

}  // namespace vanta
