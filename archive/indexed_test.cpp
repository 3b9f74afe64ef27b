#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "archive/local_index.h"
#include "archive/sha256.h"
#include "storage/test_file.h"

namespace vanta::archive {

namespace {

int64_t modifiedNanoseconds(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

void setMessage(std::string* message, std::string_view text) {
    if (message) *message = std::string(text);
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

bool readIndexedTest(const std::string& path, IndexedTest& out, std::string* message, unsigned threads) {
    // The bytes are hashed first and the numbers read after: a file replaced in between
    // would give the rows of one file under the hash of another, so its size and time are
    // compared before and after, and a file that moved is not taken.
    Descriptor file;
    file.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat before {};
    if (file.fd < 0 || ::fstat(file.fd, &before) != 0 || !S_ISREG(before.st_mode)) {
        setMessage(message, kMsgErrorOpeningFile);
        return false;
    }
    std::string sha;
    int64_t hashed = 0;
    if (!sha256OfFile(file.fd, sha, hashed) || hashed != before.st_size) {
        setMessage(message, kMsgErrorOpeningFile);
        return false;
    }
    auto test = std::make_unique<TestRecord>();
    if (!readTestFile(path, *test, message, SampleStorage::Discard, threads)) return false;
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
