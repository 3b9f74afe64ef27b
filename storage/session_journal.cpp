#include "storage/session_journal.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <memory>

#include "storage/little_endian.h"

namespace vanta {

namespace {

// The first bytes of every journal; a file without them is not one.
constexpr char kMark[8] = {'K', 'V', 'Q', 'J', 'R', 'N', 'L', '1'};
constexpr size_t kRecordHead = 8;  // length and checksum
// The largest body a record may claim: a full attempt is 1.44 MB; the subject texts of an
// opened file may be long, but not this long. A larger claim is damage, not a record.
constexpr uint32_t kMaxBody = 16u << 20;
constexpr size_t kSampleBytes = 4 * kChannelCount;

enum Kind : uint8_t { KindSubject = 1, KindAttempt = 2, KindIgnore = 3, KindCalibration = 4 };

// CRC-32C (Castagnoli), reflected, as iSCSI and ext4 use it: a table per byte position,
// eight bytes a step.
struct CrcTables {
    std::array<std::array<uint32_t, 256>, 8> t{};
    CrcTables() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0x82F63B78u & (0u - (c & 1u)));
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

uint32_t crc32cTable(const unsigned char* p, size_t n) {
    static const CrcTables tables;
    const auto& t = tables.t;
    uint32_t c = 0xFFFFFFFFu;
    while (n >= 8) {
        const uint32_t lo = getU32(p) ^ c;
        const uint32_t hi = getU32(p + 4);
        c = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
            t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        p += 8;
        n -= 8;
    }
    while (n--) c = (c >> 8) ^ t[0][(c ^ *p++) & 0xFF];
    return ~c;
}

#if defined(__x86_64__)
// The processor's own instruction where it has one (SSE 4.2): a full attempt in a fraction
// of a millisecond.
__attribute__((target("sse4.2"))) uint32_t crc32cHardware(const unsigned char* p, size_t n) {
    uint64_t c = 0xFFFFFFFFu;
    while (n >= 8) {
        uint64_t v;
        std::memcpy(&v, p, 8);
        c = __builtin_ia32_crc32di(c, v);
        p += 8;
        n -= 8;
    }
    auto c32 = static_cast<uint32_t>(c);
    while (n--) c32 = __builtin_ia32_crc32qi(c32, *p++);
    return ~c32;
}
#endif

uint32_t crc32c(const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
#if defined(__x86_64__) && !defined(__BIG_ENDIAN__)
    static const bool hardware = __builtin_cpu_supports("sse4.2");
    if (hardware) return crc32cHardware(p, n);
#endif
    return crc32cTable(p, n);
}

struct flock wholeFile(short type) {
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    return l;
}

void putText(std::string& out, const std::string& text) {
    putU32(out, static_cast<uint32_t>(text.size()));
    out += text;
}

// Starts a record: room for the head, then the kind. finishRecord() fills the head in.
size_t beginRecord(std::string& out, Kind kind) {
    const size_t at = out.size();
    out.append(kRecordHead, '\0');
    out.push_back(static_cast<char>(kind));
    return at;
}
void finishRecord(std::string& out, size_t at) {
    const size_t body = out.size() - at - kRecordHead;
    std::string head;
    putU32(head, static_cast<uint32_t>(body));
    putU32(head, crc32c(out.data() + at + kRecordHead, body));
    out.replace(at, kRecordHead, head);
}

void appendSubject(std::string& out, const SubjectInfo& s, int32_t testTime) {
    const size_t at = beginRecord(out, KindSubject);
    putI32(out, testTime);
    putText(out, s.name);
    putI32(out, s.sex);
    putI32(out, s.age);
    putI32(out, s.weight);
    putI32(out, s.height);
    putText(out, s.comment1);
    putText(out, s.comment2);
    putText(out, s.comment3);
    finishRecord(out, at);
}

void appendAttempt(std::string& out, const TestRecord& test, int r) {
    const RepetitionRecord& rep = test.repetitions[static_cast<size_t>(r)];
    const int n = rep.validSamples();
    out.reserve(out.size() + kRecordHead + 64 + static_cast<size_t>(n) * kSampleBytes);
    const size_t at = beginRecord(out, KindAttempt);
    putI32(out, r);
    putI32(out, test.testTime);
    putI32(out, rep.direction);
    for (float off : rep.channelOffset) putF32(out, off);
    putF32(out, rep.loadMass);
    putF32(out, rep.radius);
    putI32(out, n);
    // Sample by sample, as the test file holds them.
    const int32_t* ch[kChannelCount];
    for (int c = 0; c < kChannelCount; ++c) ch[c] = rep.raw.row(c);
    const size_t samplesAt = out.size();
    out.resize(samplesAt + static_cast<size_t>(n) * kSampleBytes);
    char* p = out.data() + samplesAt;
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < kChannelCount; ++c, p += 4) {
            const uint32_t v = fromLittle(static_cast<uint32_t>(ch[c][i]));
            std::memcpy(p, &v, 4);
        }
    finishRecord(out, at);
}

void appendIgnore(std::string& out, int dropped, int32_t testTime) {
    const size_t at = beginRecord(out, KindIgnore);
    putI32(out, dropped);
    putI32(out, testTime);
    finishRecord(out, at);
}

void appendCalibration(std::string& out, const TestRecord& test) {
    const size_t at = beginRecord(out, KindCalibration);
    putI32(out, test.testTime);
    for (float off : test.repetitions[0].channelOffset) putF32(out, off);
    finishRecord(out, at);
}

bool writeAll(int fd, const char* p, size_t n, uint64_t offset, int& error) {
    while (n > 0) {
        const ssize_t put = ::pwrite(fd, p, n, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            error = put < 0 ? errno : ENOSPC;
            return false;
        }
        p += put;
        n -= static_cast<size_t>(put);
        offset += static_cast<uint64_t>(put);
    }
    return true;
}

bool syncFolder(const std::string& folder) {
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return false;
    const bool ok = ::fsync(dfd) == 0;
    ::close(dfd);
    return ok;
}

// The body of one record, checked piece by piece: a field that runs past the body makes
// the record damaged.
class BodyReader {
public:
    BodyReader(const unsigned char* p, size_t n) : p_(p), end_(p + n) {}
    bool i32(int32_t& v) {
        if (end_ - p_ < 4) return false;
        v = getI32(p_);
        p_ += 4;
        return true;
    }
    bool f32(float& v) {
        if (end_ - p_ < 4) return false;
        v = getF32(p_);
        p_ += 4;
        return true;
    }
    bool text(std::string& s) {
        int32_t n = 0;
        if (!i32(n) || n < 0 || end_ - p_ < n) return false;
        s.assign(reinterpret_cast<const char*>(p_), static_cast<size_t>(n));
        p_ += n;
        return true;
    }
    const unsigned char* take(size_t n) {
        if (static_cast<size_t>(end_ - p_) < n) return nullptr;
        const unsigned char* at = p_;
        p_ += n;
        return at;
    }
    bool atEnd() const { return p_ == end_; }

private:
    const unsigned char* p_;
    const unsigned char* end_;
};

// Applies one record whose checksum fitted. False: it does not fit the records before it
// (an index out of order, fields that do not add up): damage, and the reading stops.
bool applyRecord(const unsigned char* body, size_t n, TestRecord* test, int& count, JournalReading& info) {
    if (n < 1) return false;
    BodyReader in(body + 1, n - 1);
    int32_t testTime = 0;
    switch (body[0]) {
        case KindSubject: {
            SubjectInfo s;
            if (!in.i32(testTime) || !in.text(s.name) || !in.i32(s.sex) || !in.i32(s.age) || !in.i32(s.weight) ||
                !in.i32(s.height) || !in.text(s.comment1) || !in.text(s.comment2) || !in.text(s.comment3) ||
                !in.atEnd())
                return false;
            info.subjectName = s.name;
            info.testTime = testTime;
            if (test) {
                test->subject = std::move(s);
                test->testTime = testTime;
            }
            return true;
        }
        case KindAttempt: {
            int32_t index = 0, direction = 0, samples = 0;
            float offsets[kChannelCount] = {}, load = 0, radius = 0;
            if (!in.i32(index) || index != count || index >= kMaxRepetitions || !in.i32(testTime) ||
                !in.i32(direction))
                return false;
            for (float& off : offsets)
                if (!in.f32(off)) return false;
            if (!in.f32(load) || !in.f32(radius) || !in.i32(samples) || samples < 0 || samples > kMaxSamples)
                return false;
            const unsigned char* raw = in.take(static_cast<size_t>(samples) * kSampleBytes);
            if (!raw || !in.atEnd()) return false;
            if (test) {
                RepetitionRecord& rep = test->repetitions[static_cast<size_t>(index)];
                rep.direction = direction;
                std::copy(offsets, offsets + kChannelCount, rep.channelOffset);
                rep.loadMass = load;
                rep.radius = radius;
                rep.sampleCount = samples;
                int32_t* ch[kChannelCount];
                for (int c = 0; c < kChannelCount; ++c) ch[c] = rep.raw.row(c);
                for (int i = 0; i < samples; ++i, raw += kSampleBytes)
                    for (int c = 0; c < kChannelCount; ++c) ch[c][i] = getI32(raw + 4 * c);
                test->testTime = testTime;
                test->repetitionCount = index + 1;
            }
            info.testTime = testTime;
            ++count;
            return true;
        }
        case KindIgnore: {
            int32_t dropped = 0;
            if (!in.i32(dropped) || dropped != count - 1 || !in.i32(testTime) || !in.atEnd()) return false;
            --count;
            info.testTime = testTime;
            if (test) {
                test->repetitionCount = count;
                test->testTime = testTime;
            }
            return true;
        }
        case KindCalibration: {
            float offsets[kChannelCount] = {};
            if (!in.i32(testTime)) return false;
            for (float& off : offsets)
                if (!in.f32(off)) return false;
            if (!in.atEnd()) return false;
            // Calibration starts a new test on repetition 0.
            count = 0;
            info.testTime = testTime;
            if (test) {
                std::copy(offsets, offsets + kChannelCount, test->repetitions[0].channelOffset);
                test->repetitionCount = 0;
                test->testTime = testTime;
            }
            return true;
        }
        default: return false;
    }
}

bool readExactly(int fd, void* dst, size_t n, size_t& got) {
    auto* out = static_cast<unsigned char*>(dst);
    got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, out + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        got += static_cast<size_t>(r);
    }
    return true;
}

std::string journalName(int32_t testTime, int attempt) {
    const time_t t = static_cast<time_t>(testTime);
    struct tm local {};
    char stamp[32] = "0000-00-00-000000";
    if (::localtime_r(&t, &local)) std::strftime(stamp, sizeof stamp, "%Y-%m-%d-%H%M%S", &local);
    std::string name = std::string(kJournalPrefix) + stamp;
    if (attempt > 1) name += "-" + std::to_string(attempt);
    return name + std::string(kJournalSuffix);
}

bool isJournalName(const std::string& name) {
    return name.size() > kJournalPrefix.size() + kJournalSuffix.size() && name.starts_with(kJournalPrefix) &&
           name.ends_with(kJournalSuffix);
}

}  // namespace

// ---------------------------------------------------------------- writing

SessionJournal::~SessionJournal() {
    if (fd_ >= 0) ::close(fd_);
}

bool SessionJournal::fail(int error) {
    error_ = error ? error : EIO;
    failed_ = true;
    return false;
}

bool SessionJournal::takeWarning() {
    if (!failed_ || warned_) return false;
    warned_ = true;
    return true;
}

bool SessionJournal::create(int32_t testTime) {
    const std::string folder = folder_.empty() ? std::string(".") : folder_;
    int fd = -1;
    // Two stations in one folder within the same second get two names.
    for (int attempt = 1; attempt <= 100 && fd < 0; ++attempt) {
        path_ = folder + "/" + journalName(testTime, attempt);
        fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0 && errno != EEXIST) return fail(errno);
    }
    if (fd < 0) return fail(EEXIST);
    struct flock hold = wholeFile(F_WRLCK);
    int error = 0;
    if (::fcntl(fd, F_OFD_SETLK, &hold) != 0 || !writeAll(fd, kMark, sizeof kMark, 0, error) || ::fsync(fd) != 0 ||
        !syncFolder(folder)) {
        if (error == 0) error = errno;
        ::close(fd);
        ::unlink(path_.c_str());
        return fail(error);
    }
    fd_ = fd;
    end_ = sizeof kMark;
    onDisk_ = agree_ = 0;
    subjectWritten_ = false;
    return true;
}

// Writes what the journal is missing to tell `test`: normally the one new record; after a
// failure, also what the failed writes did not leave.
bool SessionJournal::sync(const TestRecord& test) {
    if (folder_.empty()) return true;
    // Nothing to keep yet (an IGNORE with no attempt stored): no file.
    if (fd_ < 0 && test.repetitionCount <= 0 && !offsetsPending_) return true;
    if (fd_ < 0 && !create(test.testTime)) return false;
    const int count = std::clamp(test.repetitionCount, 0, kMaxRepetitions);
    std::string out;
    if (!subjectWritten_ || !(subject_ == test.subject)) appendSubject(out, test.subject, test.testTime);
    // A calibration starts the test again: after its record the journal holds no repetition.
    if (offsetsPending_) appendCalibration(out, test);
    int onDisk = offsetsPending_ ? 0 : onDisk_;
    const int agree = offsetsPending_ ? 0 : std::min(agree_, count);
    for (; onDisk > agree; --onDisk) appendIgnore(out, onDisk - 1, test.testTime);
    for (; onDisk < count; ++onDisk) appendAttempt(out, test, onDisk);
    if (out.empty()) return true;

    int error = 0;
    if (!writeAll(fd_, out.data(), out.size(), end_, error) || ::fdatasync(fd_) != 0) {
        if (error == 0) error = errno;
        // Back to the last whole record, so that a later append does not lie behind a torn
        // one; should even that fail, the next append overwrites the torn part.
        (void)!::ftruncate(fd_, static_cast<off_t>(end_));
        return fail(error);
    }
    end_ += out.size();
    onDisk_ = agree_ = count;
    subject_ = test.subject;
    subjectWritten_ = true;
    offsetsPending_ = false;
    return true;
}

bool SessionJournal::attemptStored(const TestRecord& test) {
    agree_ = std::min(agree_, test.repetitionCount - 1);
    return sync(test);
}

bool SessionJournal::attemptIgnored(const TestRecord& test) {
    agree_ = std::min(agree_, test.repetitionCount);
    return sync(test);
}

bool SessionJournal::calibrated(const TestRecord& test) {
    offsetsPending_ = true;
    agree_ = 0;
    return sync(test);
}

void SessionJournal::close(bool remove) {
    if (fd_ >= 0) {
        // Removed while still locked, so no other station takes it up in between.
        if (remove) ::unlink(path_.c_str());
        ::close(fd_);
    }
    fd_ = -1;
    end_ = 0;
    onDisk_ = agree_ = 0;
    subjectWritten_ = false;
    offsetsPending_ = false;
    failed_ = warned_ = false;
    error_ = 0;
}

void SessionJournal::adopt(int fd, const std::string& path, const TestRecord& test, uint64_t end) {
    close(false);
    fd_ = fd;
    path_ = path;
    end_ = end;
    // A torn tail behind the whole records goes, so the next record follows them.
    (void)!::ftruncate(fd_, static_cast<off_t>(end_));
    onDisk_ = agree_ = test.repetitionCount;
    subject_ = test.subject;
    subjectWritten_ = true;
}

// ---------------------------------------------------------------- reading

JournalReading readJournalFd(int fd, TestRecord* test) {
    JournalReading result;
    result.opened = true;
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        result.error = errno;
        return result;
    }
    char mark[sizeof kMark];
    size_t got = 0;
    if (!readExactly(fd, mark, sizeof mark, got) || std::memcmp(mark, kMark, sizeof kMark) != 0) return result;
    result.isJournal = true;
    result.end = sizeof kMark;
    if (test) test->repetitionCount = 0;

    int count = 0;
    std::unique_ptr<unsigned char[]> body;
    size_t capacity = 0;
    // After the first record that does not fit, nothing more is used; the whole records
    // behind it that still check are counted as dropped with it.
    bool damaged = false;
    for (;;) {
        unsigned char head[kRecordHead];
        if (!readExactly(fd, head, kRecordHead, got)) {
            if (got > 0 && !damaged) ++result.droppedRecords;  // cut inside a record's head
            break;
        }
        const uint32_t length = getU32(head);
        const uint32_t sum = getU32(head + 4);
        if (length == 0 || length > kMaxBody) {
            if (!damaged) ++result.droppedRecords;
            break;
        }
        if (length > capacity) {
            body.reset(new unsigned char[length]);
            capacity = length;
        }
        const bool whole = readExactly(fd, body.get(), length, got);
        const bool fits = whole && crc32c(body.get(), length) == sum;
        if (damaged) {
            if (!fits) break;
            ++result.droppedRecords;
            continue;
        }
        if (fits && applyRecord(body.get(), length, test, count, result)) {
            ++result.records;
            result.end += kRecordHead + length;
            continue;
        }
        damaged = true;
        ++result.droppedRecords;
        if (!whole) break;
    }
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0 && static_cast<uint64_t>(size) > result.end) result.droppedBytes = static_cast<uint64_t>(size) - result.end;
    result.attempts = count;
    if (test) test->repetitionCount = count;
    return result;
}

JournalReading readJournal(const std::string& path, TestRecord* test) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        JournalReading r;
        r.error = errno;
        return r;
    }
    struct stat st {};
    JournalReading r;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) r.error = EINVAL;
    else r = readJournalFd(fd, test);
    ::close(fd);
    return r;
}

// ---------------------------------------------------------------- finding

JournalClaim::JournalClaim(const std::string& path) : path_(path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return;
    struct stat st {};
    struct flock hold = wholeFile(F_WRLCK);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_OFD_SETLK, &hold) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

JournalClaim::~JournalClaim() {
    if (fd_ >= 0) ::close(fd_);
}

int JournalClaim::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool JournalClaim::remove() { return fd_ >= 0 && ::unlink(path_.c_str()) == 0; }

bool journalHeld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock probe = wholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

std::vector<JournalEntry> listJournals(const std::string& folder) {
    std::vector<JournalEntry> found;
    const std::string dirPath = folder.empty() ? std::string(".") : folder;
    DIR* dir = ::opendir(dirPath.c_str());
    if (!dir) return found;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (!isJournalName(name)) continue;
        JournalEntry e;
        e.path = dirPath + "/" + name;
        struct stat st {};
        if (::stat(e.path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        e.modified = static_cast<int64_t>(st.st_mtime);
        // The samples are checked and counted, not kept.
        const JournalReading r = readJournal(e.path, nullptr);
        if (!r.isJournal) continue;
        e.subjectName = r.subjectName;
        e.testTime = r.testTime;
        e.attempts = r.attempts;
        e.droppedRecords = r.droppedRecords;
        e.held = journalHeld(e.path);
        found.push_back(std::move(e));
    }
    ::closedir(dir);
    std::sort(found.begin(), found.end(), [](const JournalEntry& a, const JournalEntry& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.path > b.path;
    });
    return found;
}

}  // namespace vanta
