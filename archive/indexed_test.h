// What the index keeps of one test file, read from the file itself.
#pragma once

#include <cstdint>
#include <string>

#include "archive/archive_types.h"

struct stat;

namespace vanta::archive {

// Reads a test file numbers-only (no samples are kept) and fills `out` with everything
// the index keeps of it: the SHA-256 of its bytes, size, modification time, subject name,
// test time and each repetition's rows. out.subjectId is left empty. A file that does not
// read is false with the station's message ("Error opening file", "Incompatible data",
// ...) in *message. The repetitions are analysed on up to `threads` threads (0: one per
// core).
bool readIndexedTest(const std::string& path, IndexedTest& out, std::string* message = nullptr,
                     unsigned threads = 1);

// This computer's clock at `testTime`: its offset from UTC (seconds east) and its zone's
// name (TZ, else the system's zone, else its abbreviation). The station that indexes its
// own tests is the station that recorded them.
int32_t localUtcOffset(int64_t testTime);
std::string localZoneName(int64_t testTime);

// A file's modification time as the index keeps it: nanoseconds since 1970. A test saved
// again within the same second, with the same size, differs from the old one only here.
int64_t modifiedNanoseconds(const struct stat& st);

}  // namespace vanta::archive
