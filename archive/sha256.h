// The SHA-256 of a test file's bytes: the test's identity in the lab's archive, the same
// on every station and on the shared server. Computed by OpenSSL's libcrypto (Debian's
// libssl-dev), which uses the processor's SHA instructions where it has them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vanta::archive {

// 64 lowercase hex digits.
std::string sha256Hex(std::string_view bytes);

// The SHA-256 of everything an open file descriptor reads from offset 0 to its end, and
// the number of bytes read. False when a read fails.
bool sha256OfFile(int fd, std::string& hex, int64_t& size);

}  // namespace vanta::archive
