// The ".kvq" test file: subject, every recorded repetition and the test time, byte for
// byte as the station has always written it (integers int32 and reals float32, both
// little-endian; texts with a length prefix in the 8-bit code page).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/records.h"
#include "storage/file_tag.h"

namespace vanta {

// Messages for the operator, exactly as the station shows them.
inline constexpr std::string_view kMsgErrorOpeningFile = "Error opening file";
inline constexpr std::string_view kMsgIncompatibleData = "Incompatible data";
inline constexpr std::string_view kMsgFileEndsEarly = "An attempt was made to access an unnamed file past its end.";
inline constexpr std::string_view kMsgFileSaveError = "File Save Error";

// Writes the test to `path` through AtomicFile (storage/atomic_file.h): a failed save
// leaves the previous file as it was, except a file written in place in a read-only
// folder, which is left as far as it was written (the message then does not promise the
// previous file). On success sets test.saved to 1; on failure leaves test.saved as it was
// and puts the operator's message into *message and the system's reason ("Permission
// denied", "No space left on device") into *reason.
bool writeTestFile(const std::string& path, TestRecord& test, std::string* message = nullptr,
                   std::string* reason = nullptr);
// The same into a file already opened for `path` (record holds it from the first attempt
// on, so that nobody else writes that file meanwhile).
class AtomicFile;
bool writeTestFile(AtomicFile& file, const std::string& path, TestRecord& test, std::string* message = nullptr,
                   std::string* reason = nullptr);

// Reads a test file into `test` and analyses every repetition read. The file is checked
// whole before anything is taken over: a wrong tag, a count beyond the capacities or a
// file that ends early leaves `test` exactly as it was. On success sets test.saved to 1.
// `age` is not in the file and keeps its value; repetitions beyond the file's count keep
// their headers and results but give back their samples and series (nothing reads them).
// The repetitions are read and analysed on up to `threads` threads (0: one per core), with
// the same numbers as on one. Only a regular file is read (anything else, a named pipe
// too, is "Error opening file" at once). A file the station cannot hold in memory, wherever
// the reading runs out, is "Incompatible data" and also leaves `test` as it was.
// Samples kept, they are read straight over those of `test`: a file that, once checked,
// still gives fewer bytes (cut while it is read, a disk that fails) is "An attempt was made
// to access an unnamed file past its end." and leaves `test` holding no repetitions
// (repetitionCount 0, saved 1) rather than a mixture of two tests.
enum class SampleStorage {
    Keep,     // the station: samples and series stay for the screens
    Discard,  // tools that want only the numbers: every repetition is analysed as it
              // passes and only its header and results stay (a full test then needs a
              // few megabytes instead of 240); samples and series of the read repetitions
              // are released
};
bool readTestFile(const std::string& path, TestRecord& test, std::string* message = nullptr,
                  SampleStorage storage = SampleStorage::Keep, unsigned threads = 0);
// The same from a whole file's bytes already in memory, with the same results and
// messages: a caller that also hashes the bytes reads the file once.
bool readTestBytes(std::span<const uint8_t> bytes, TestRecord& test, std::string* message = nullptr,
                   SampleStorage storage = SampleStorage::Keep, unsigned threads = 0);

// The file form of one text: length prefix and 8-bit characters, or 16-bit ones for a text
// Latin-1 cannot hold.
std::string encodeFileText(std::string_view utf8);

}  // namespace vanta
