// The 8-bit code page of the texts in test files. Texts live in memory as UTF-8; the
// files hold one byte per character. The code page is ISO 8859-1 (Latin-1): every byte
// maps to exactly one character and back, so any 8-bit text in an old file survives a
// read and a write unchanged, byte for byte.
#pragma once

#include <string>
#include <string_view>

namespace vanta {

// 8-bit file text -> UTF-8. Never fails.
std::string codePageToUtf8(std::string_view bytes);

// UTF-8 -> 8-bit file text. A character the code page cannot hold, or a byte that is
// not valid UTF-8, becomes '?'.
std::string utf8ToCodePage(std::string_view utf8);

// UTF-16 (as read from a 16-bit file text) -> UTF-8, through the code page: what the
// code page cannot hold becomes '?', as it would when written back.
std::string utf16ToUtf8ViaCodePage(std::u16string_view text);

// Number of characters the text takes in the file.
size_t codePageLength(std::string_view utf8);

}  // namespace vanta
