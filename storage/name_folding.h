// How the subject register compares names when the operator searches: without case and
// without accents, so "novak" finds "Novák", "łódź" finds "Łódź" and "ωμεγα" finds
// "Ωμέγα". The register stores this key beside each name.
#pragma once

#include <string>
#include <string_view>

namespace vanta {

// A name as the station keeps it: letters with their accents composed (Unicode NFC, as
// "e" followed by a combining acute becomes "é"), every run of spaces, tabs or line breaks
// one space, none at either end. "Ana  Kovač " and "Ana Kovač" are one name.
std::string normalisedName(std::string_view utf8);

// The key under which two spellings are the same person without asking: the normalised
// name in lower case, accents kept ("JAN NOVÁK" and "Jan Novák" match, "Jan Novak" does not).
std::string exactNameKey(std::string_view utf8);

// The search key of a name (normalised first): Latin letters lower case without their accents ("ß" as "ss",
// "Æ" as "ae"), Greek and Cyrillic lower case without accents, combining accents dropped;
// everything else as it is.
std::string foldedName(std::string_view utf8);

// The plain letter of a Latin letter with an accent (U+00C0..U+017F: "Á" -> 'A',
// "ł" -> 'l'), '_' for the two signs among them (multiplication, division), 0 outside.
char latinBaseLetter(char32_t c);

}  // namespace vanta
