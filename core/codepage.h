// The texts of test files. Texts live in memory as UTF-8 (full Unicode). The files hold
// a text in one of two forms:
// - 8-bit, one byte per character in the code page ISO 8859-1 (Latin-1): every byte maps
//   to exactly one character and back, so any 8-bit text in an old file survives a read
//   and a write unchanged, byte for byte. Every text Latin-1 can hold is written this way.
// - 16-bit (UTF-16, little-endian), for a text Latin-1 cannot hold ("Łódź", "李"). Older
//   readers take such a text too and convert it to their own code page.
#pragma once

#include <string>
#include <string_view>

namespace vanta {

// 8-bit file text -> UTF-8. Never fails.
std::string codePageToUtf8(std::string_view bytes);

// True when every character of the text is in the code page (and the UTF-8 is sound):
// the text is written 8-bit.
bool fitsCodePage(std::string_view utf8);

// UTF-8 -> 8-bit file text. A character the code page cannot hold, or a byte that is
// not valid UTF-8, becomes '?'.
std::string utf8ToCodePage(std::string_view utf8);

// UTF-8 <-> UTF-16 for the 16-bit file texts. What is not valid on the way in (a byte
// that is not UTF-8, a surrogate without its partner) becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view text);

// One code point of UTF-8 text at text[i] (U+FFFD for a malformed sequence); i moves past
// it. And one code point appended as UTF-8.
char32_t decodeCodePoint(std::string_view text, size_t& i);
void appendCodePoint(std::string& out, char32_t c);

// Number of characters of the text (its code points).
size_t codePageLength(std::string_view utf8);

}  // namespace vanta
