// The session journal's file format, shared by its writer (storage/journal_writer.h) and
// its reader (storage/journal_reader.h).
//
// The file "unsaved-<date>-<time>.kvqj" starts with an 8-byte mark and is a sequence of
// records, each appended once and never rewritten:
//
//     u32 length of the body | u32 CRC-32C of the body | body: u8 kind, then its fields
//
//   subject       i32 test time, text name, i32 sex, age, weight, height, text comment 1-3,
//                 and, only when the station knows it, text register id (the subject's
//                 permanent id in the subject register)
//   attempt       i32 index, i32 test time, the repetition block (storage/repetition_block.h)
//   ignore        i32 index dropped, i32 test time
//   calibration   i32 test time, f32 offsets of repetition 0 x6
//
// A text is an u32 byte count and UTF-8. Integers and reals little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vanta {

inline constexpr std::string_view kJournalSuffix = ".kvqj";
inline constexpr std::string_view kJournalPrefix = "unsaved-";

namespace journal_format {

// The first bytes of every journal; a file without them is not one.
inline constexpr char kMark[8] = {'K', 'V', 'Q', 'J', 'R', 'N', 'L', '1'};
inline constexpr size_t kRecordHead = 8;  // length and checksum
// The largest body a record may claim: a full attempt is 1.44 MB; the subject texts of an
// opened file may be long, but not this long. A larger claim is damage, not a record, and
// the reader never asks for the memory it claims.
inline constexpr uint32_t kMaxBody = 16u << 20;

enum Kind : uint8_t { KindSubject = 1, KindAttempt = 2, KindIgnore = 3, KindCalibration = 4 };

}  // namespace journal_format

}  // namespace vanta
