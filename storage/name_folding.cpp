#include "storage/name_folding.h"

#include "core/codepage.h"

namespace vanta {

namespace {

// Base letters of U+00C0..U+017F.
constexpr std::string_view kLatin1Letters = "AAAAAAACEEEEIIIIDNOOOOO_OUUUUYTsaaaaaaaceeeeiiiidnooooo_ouuuuyty";
constexpr std::string_view kLatinExtendedA =
    "AaAaAaCcCcCcCcDd"
    "DdEeEeEeEeEeGgGg"
    "GgGgHhHhIiIiIiIi"
    "IiIiJjKkkLlLlLlL"
    "lLlNnNnNnnNnOoOo"
    "OoOoRrRrRrSsSsSs"
    "SsTtTtTtUuUuUuUu"
    "UuUuWwYyYZzZzZzs";
static_assert(kLatin1Letters.size() == 0x100 - 0xC0);
static_assert(kLatinExtendedA.size() == 0x180 - 0x100);

char32_t foldGreek(char32_t c) {
    switch (c) {
        case 0x386: case 0x3AC: return 0x3B1;  // alpha
        case 0x388: case 0x3AD: return 0x3B5;  // epsilon
        case 0x389: case 0x3AE: return 0x3B7;  // eta
        case 0x38A: case 0x3AF: case 0x3AA: case 0x3CA: case 0x390: return 0x3B9;  // iota
        case 0x38C: case 0x3CC: return 0x3BF;  // omicron
        case 0x38E: case 0x3CD: case 0x3AB: case 0x3CB: case 0x3B0: return 0x3C5;  // upsilon
        case 0x38F: case 0x3CE: return 0x3C9;  // omega
        case 0x3C2: return 0x3C3;  // final sigma
        default: break;
    }
    return (c >= 0x391 && c <= 0x3A9) ? c + 0x20 : c;
}

char32_t foldCyrillic(char32_t c) {
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) c += 0x50;
    return c == 0x451 ? 0x435 : c;  // "ё" is searched as "е"
}

}  // namespace

char latinBaseLetter(char32_t c) {
    if (c >= 0xC0 && c < 0x100) return kLatin1Letters[c - 0xC0];
    if (c >= 0x100 && c < 0x180) return kLatinExtendedA[c - 0x100];
    return 0;
}

std::string foldedName(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = decodeCodePoint(utf8, i);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
            continue;
        }
        if (c >= 0x300 && c <= 0x36F) continue;  // a combining accent ("a" + U+0301)
        switch (c) {
            case 0xDF: out += "ss"; continue;
            case 0xC6: case 0xE6: out += "ae"; continue;
            case 0x152: case 0x153: out += "oe"; continue;
            case 0x132: case 0x133: out += "ij"; continue;
            default: break;
        }
        const char base = latinBaseLetter(c);
        if (base && base != '_') {
            out.push_back(static_cast<char>(base >= 'A' && base <= 'Z' ? base - 'A' + 'a' : base));
            continue;
        }
        appendCodePoint(out, foldCyrillic(foldGreek(c)));
    }
    return out;
}

}  // namespace vanta
