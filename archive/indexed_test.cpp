#include "archive/indexed_test.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <new>
#include <vector>

#include "archive/sha256.h"
#include "storage/posix_io.h"
#include "storage/test_file.h"

namespace vanta::archive {

namespace {

void setMessage(std::string* message, std::string_view text) {
    if (message) *message = std::string(text);
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

// A test file at most this long is read into memory once, hashed there and its numbers
// read from the same bytes (the largest test the station writes is a few megabytes). A
// longer file, which can only be foreign, is hashed as it streams past and then read as
// any other, so that one does not cost its size in memory.
constexpr int64_t kReadWhole = 64 << 20;

// The whole file from offset 0 into `bytes`; false when a read fails or the file is no
// longer `expected` bytes long.
bool readWhole(int fd, int64_t expected, std::vector<uint8_t>& bytes) {
    // One byte more than expected: a file that grew since its size was taken shows it.
    bytes.resize(static_cast<size_t>(expected) + 1);
    const IoResult read = readExactlyAt(fd, bytes.data(), bytes.size(), 0);
    const size_t total = read.done;
    if (read.error != 0 || total != static_cast<size_t>(expected)) return false;
    bytes.resize(total);
    return true;
}

}  // namespace

int32_t localUtcOffset(int64_t testTime) {
    const std::time_t t = static_cast<std::time_t>(testTime);
    std::tm tm{};
    localtime_r(&t, &tm);
    return static_cast<int32_t>(tm.tm_gmtoff);
}

std::string localZoneName(int64_t testTime) {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return tz[0] == ':' ? tz + 1 : tz;
    char target[512];
    const ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
    if (n > 0) {
        const std::string link(target, static_cast<size_t>(n));
        const size_t at = link.find("zoneinfo/");
        if (at != std::string::npos) return link.substr(at + 9);
    }
    std::ifstream in("/etc/timezone");
    std::string name;
    if (std::getline(in, name) && !name.empty()) return name;
    const std::time_t t = static_cast<std::time_t>(testTime);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm.tm_zone ? tm.tm_zone : "";
}

int64_t modifiedNanoseconds(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool readIndexedTest(const std::string& path, IndexedTest& out, std::string* message, unsigned threads) {
    // A test file is read once: its bytes are hashed and its numbers read from the same
    // copy, so the rows always belong to the hash. Its size and time are still compared
    // before and after, so that what is stored for the path is what lies there; a file
    // that moved is not taken. (A longer, foreign file is hashed first and read after.)
    Descriptor file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat before {};
    if (file.fd < 0 || ::fstat(file.fd, &before) != 0 || !S_ISREG(before.st_mode)) {
        setMessage(message, kMsgErrorOpeningFile);
        return false;
    }
    std::string sha;
    auto test = std::make_unique<TestRecord>();
    // Kept per thread between files: a sweep does not allocate for each.
    thread_local std::vector<uint8_t> bytes;
    bool whole = before.st_size <= kReadWhole;
    if (whole) {
        try {
            bytes.reserve(static_cast<size_t>(before.st_size) + 1);
        } catch (const std::bad_alloc&) {
            whole = false;  // no room for it at once: streamed as a long file is
        }
    }
    if (whole) {
        if (!readWhole(file.fd, before.st_size, bytes)) {
            setMessage(message, kMsgErrorOpeningFile);
            return false;
        }
        sha = sha256Hex(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        const bool read = readTestBytes(bytes, *test, message, SampleStorage::Discard, threads);
        if (bytes.capacity() > (8u << 20)) std::vector<uint8_t>().swap(bytes);  // a rare big file gives its memory back
        if (!read) return false;
    } else {
        int64_t hashed = 0;
        if (!sha256OfFile(file.fd, sha, hashed) || hashed != before.st_size) {
            setMessage(message, kMsgErrorOpeningFile);
            return false;
        }
        if (!readTestFile(path, *test, message, SampleStorage::Discard, threads)) return false;
    }
    struct stat after {};
    if (::stat(path.c_str(), &after) != 0 || after.st_ino != before.st_ino || after.st_size != before.st_size ||
        modifiedNanoseconds(after) != modifiedNanoseconds(before)) {
        setMessage(message, "The file changed while it was read.");
        return false;
    }

    out = IndexedTest{};
    out.sha256 = std::move(sha);
    out.path = path;
    out.size = before.st_size;
    out.modified = modifiedNanoseconds(before);
    out.subject = test->subject.name;
    out.testTime = test->testTime;
    out.weight = test->subject.weight;
    out.sex = test->subject.sex;
    out.height = test->subject.height;
    out.utcOffset = localUtcOffset(out.testTime);
    out.timeZone = localZoneName(out.testTime);
    out.repetitions.resize(static_cast<size_t>(test->repetitionCount));
    for (int r = 0; r < test->repetitionCount; ++r) {
        const RepetitionRecord& rep = test->repetitions[r];
        const RepetitionResults& res = test->results[r];
        IndexedRepetition& row = out.repetitions[static_cast<size_t>(r)];
        row.number = r + 1;
        row.direction = rep.direction;
        row.load = rep.loadMass;
        row.radius = rep.radius;
        row.sampleCount = rep.sampleCount;
        row.velocityPeakIndex = res.velocityPeakIndex;
        std::memcpy(row.results, res.value, sizeof row.results);
    }
    return true;
}

}  // namespace vanta::archive
