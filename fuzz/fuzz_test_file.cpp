// libFuzzer target: the test-file reader on any bytes. Every input must end in a read test
// or one of the station's three refusals, never in a crash, a leak or undefined behaviour
// (the fuzz build runs under AddressSanitizer and UBSan). A test that reads is saved and
// read again and must come back the same: what the writer puts down, the reader takes up.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "storage/test_file.h"

namespace {

using namespace vanta;

// The input as a regular file without touching the disk.
class MemoryFile {
public:
    MemoryFile(const uint8_t* data, size_t size) : fd_(::memfd_create("kvq", MFD_CLOEXEC)) {
        if (fd_ < 0 || ::write(fd_, data, size) != static_cast<ssize_t>(size)) std::abort();
        path_ = "/proc/self/fd/" + std::to_string(fd_);
    }
    ~MemoryFile() { ::close(fd_); }
    const std::string& path() const { return path_; }

private:
    int fd_;
    std::string path_;
};

bool knownRefusal(const std::string& message) {
    return message == kMsgIncompatibleData || message == kMsgFileEndsEarly || message == kMsgErrorOpeningFile;
}

// A folder of this run for the saved copies, removed when the run ends.
class ScratchFolder {
public:
    ScratchFolder() {
        char dir[] = "/dev/shm/vanta-fuzz-XXXXXX";
        if (!::mkdtemp(dir)) std::abort();
        folder_ = dir;
        file_ = folder_ + "/again.kvq";
    }
    ~ScratchFolder() {
        ::unlink(file_.c_str());
        ::rmdir(folder_.c_str());
    }
    const std::string& file() const { return file_; }

private:
    std::string folder_, file_;
};

const std::string& scratchFile() {
    static const ScratchFolder scratch;
    return scratch.file();
}

void same(bool equal, const char* what) {
    if (!equal) {
        std::fprintf(stderr, "saved and read again, the test differs in %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile file(data, size);
    auto test = std::make_unique<TestRecord>();
    std::string message;
    // The command-line tools' way (samples pass through and go) and the station's.
    const SampleStorage storage = size % 2 ? SampleStorage::Discard : SampleStorage::Keep;
    if (!readTestFile(file.path(), *test, &message, storage)) {
        if (!knownRefusal(message)) {
            std::fprintf(stderr, "unexpected refusal: %s\n", message.c_str());
            std::abort();
        }
        return 0;
    }
    if (storage == SampleStorage::Discard) return 0;
    if (!writeTestFile(scratchFile(), *test, &message)) {
        std::fprintf(stderr, "a test that was read cannot be saved: %s\n", message.c_str());
        std::abort();
    }
    auto again = std::make_unique<TestRecord>();
    if (!readTestFile(scratchFile(), *again, &message)) {
        std::fprintf(stderr, "a saved test cannot be read: %s\n", message.c_str());
        std::abort();
    }
    same(again->subject.name == test->subject.name && again->subject.comment1 == test->subject.comment1 &&
             again->subject.comment2 == test->subject.comment2 && again->subject.comment3 == test->subject.comment3 &&
             again->subject.sex == test->subject.sex && again->subject.weight == test->subject.weight &&
             again->subject.height == test->subject.height,
         "the subject");
    same(again->testTime == test->testTime && again->repetitionCount == test->repetitionCount, "the header");
    for (int r = 0; r < test->repetitionCount; ++r) {
        const RepetitionRecord& a = test->repetitions[r];
        const RepetitionRecord& b = again->repetitions[r];
        same(a.sampleCount == b.sampleCount && a.direction == b.direction &&
                 std::memcmp(a.channelOffset, b.channelOffset, sizeof a.channelOffset) == 0 &&
                 std::memcmp(&a.loadMass, &b.loadMass, 4) == 0 && std::memcmp(&a.radius, &b.radius, 4) == 0,
             "a repetition's header");
        for (int c = 0; c < kChannelCount; ++c)
            same(std::memcmp(a.raw.row(c), b.raw.row(c), sizeof(int32_t) * static_cast<size_t>(a.sampleCount)) == 0,
                 "the samples");
    }
    return 0;
}
