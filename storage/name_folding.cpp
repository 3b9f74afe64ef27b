#include "storage/name_folding.h"

#include <algorithm>
#include <vector>

#include "core/codepage.h"

namespace vanta {

namespace {

struct Composition {
    char32_t base, mark, made;
};
struct CasePair {
    char32_t upper, lower;
};
#include "storage/name_tables.inc"

// A letter and the combining mark after it as one letter (U+0065 U+0301 -> U+00E9), or 0.
char32_t composed(char32_t base, char32_t mark) {
    const Composition key{base, mark, 0};
    const auto less = [](const Composition& a, const Composition& b) {
        return a.base != b.base ? a.base < b.base : a.mark < b.mark;
    };
    const auto* end = std::end(kCompositions);
    const auto* at = std::lower_bound(std::begin(kCompositions), end, key, less);
    return at != end && at->base == base && at->mark == mark ? at->made : 0;
}

char32_t lowerCase(char32_t c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
    const auto* end = std::end(kLowerCase);
    const auto* at = std::lower_bound(std::begin(kLowerCase), end, c,
                                      [](const CasePair& p, char32_t v) { return p.upper < v; });
    return at != end && at->upper == c ? at->lower : c;
}

// Space as an operator may type it or a file may hold it: a tab, a line break, a
// no-break or typographic space all part two words the same way.
bool isNameSpace(char32_t c) {
    return c <= 0x20 || c == 0x7F || c == 0xA0 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F || c == 0x3000;
}

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

std::string normalisedName(std::string_view utf8) {
    std::vector<char32_t> letters;
    letters.reserve(utf8.size());
    bool space = false;
    for (size_t i = 0; i < utf8.size();) {
        const char32_t c = decodeCodePoint(utf8, i);
        if (isNameSpace(c)) {
            space = !letters.empty();
            continue;
        }
        if (space) letters.push_back(U' ');
        space = false;
        // A name typed on one computer and copied from another may carry its accents as
        // separate marks (NFD): composed here, "Novák" is one spelling whichever it came as.
        if (!letters.empty())
            if (const char32_t made = composed(letters.back(), c)) {
                letters.back() = made;
                continue;
            }
        letters.push_back(c);
    }
    std::string out;
    out.reserve(utf8.size());
    for (char32_t c : letters) appendCodePoint(out, c);
    return out;
}

std::string exactNameKey(std::string_view utf8) {
    std::string out;
    const std::string name = normalisedName(utf8);
    for (size_t i = 0; i < name.size();) appendCodePoint(out, lowerCase(decodeCodePoint(name, i)));
    return out;
}

std::string foldedName(std::string_view typed) {
    const std::string name = normalisedName(typed);
    const std::string_view utf8 = name;
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
