#include "storage/journal_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "storage/crc32c.h"
#include "storage/journal_format.h"
#include "storage/journal_records.h"
#include "storage/little_endian.h"
#include "storage/repetition_block.h"

namespace vanta {

using namespace journal_format;

namespace {

class FdSource : public JournalSource {
public:
    explicit FdSource(int fd) : fd_(fd) {}
    IoResult read(void* dst, size_t n) override { return readExactly(fd_, dst, n); }
    uint64_t size() override {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    }

private:
    int fd_;
};

class BytesSource : public JournalSource {
public:
    explicit BytesSource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    IoResult read(void* dst, size_t n) override {
        IoResult r;
        r.done = std::min(n, bytes_.size() - at_);
        if (r.done > 0) std::memcpy(dst, bytes_.data() + at_, r.done);
        at_ += r.done;
        return r;
    }
    uint64_t size() override { return bytes_.size(); }

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

// The records applied so far: the test they tell, and the reading's account of them.
struct Replay {
    TestRecord* test;
    JournalReading& info;
    int count = 0;  // repetitions the records so far leave
};

bool apply(const SubjectEntry& e, Replay& r) {
    r.info.subjectName = e.subject.name;
    r.info.subjectId = e.subjectId;
    r.info.testTime = e.testTime;
    if (r.test) {
        r.test->subject = e.subject;
        r.test->testTime = e.testTime;
    }
    return true;
}

bool apply(const AttemptEntry& e, Replay& r) {
    if (e.index != r.count || e.index >= kMaxRepetitions) return false;
    r.info.testTime = e.testTime;
    ++r.count;
    if (!r.test) return true;
    RepetitionRecord& rep = r.test->repetitions[static_cast<size_t>(e.index)];
    copyBlockHeader(e.header, rep);
    // Fresh rows: what lies beyond the samples reads as zeros, as in a stored attempt.
    rep.raw.release();
    if (e.header.sampleCount > 0) {
        int32_t* rows[kChannelCount];
        for (int c = 0; c < kChannelCount; ++c) rows[c] = rep.raw.row(c);
        samplesToChannels(e.samples, e.header.sampleCount, rows);
    }
    r.test->testTime = e.testTime;
    r.test->repetitionCount = r.count;
    return true;
}

bool apply(const IgnoreEntry& e, Replay& r) {
    if (e.dropped != r.count - 1) return false;
    --r.count;
    r.info.testTime = e.testTime;
    if (r.test) {
        r.test->repetitionCount = r.count;
        r.test->testTime = e.testTime;
    }
    return true;
}

bool apply(const CalibrationEntry& e, Replay& r) {
    // Calibration starts a new test on repetition 0.
    r.count = 0;
    r.info.testTime = e.testTime;
    if (r.test) {
        std::copy(std::begin(e.offsets), std::end(e.offsets), r.test->repetitions[0].channelOffset);
        r.test->repetitionCount = 0;
        r.test->testTime = e.testTime;
    }
    return true;
}

// Checks one record's body; true when it was used. False: damage, and the reading stops.
bool useRecord(const unsigned char* body, uint32_t length, uint32_t sum, Replay& replay) {
    if (crc32c(body, length) != sum) return false;
    const std::optional<Record> record = decodeRecord(body, length);
    return record && std::visit([&](const auto& e) { return apply(e, replay); }, *record);
}

// Where the reading stopped and why, once: the first cause is the one reported, except
// that a read error always is (nothing after it is known).
void stopAt(JournalReading& info, JournalEnd ending, uint64_t offset, int error = 0) {
    if (ending == JournalEnd::ReadError) {
        if (info.ending == JournalEnd::Whole) info.damageOffset = offset;
        info.ending = ending;
        info.error = error;
        return;
    }
    if (info.ending != JournalEnd::Whole) return;
    info.ending = ending;
    info.damageOffset = offset;
}

// The mark; false when the reading ends there (not a journal, torn, a read error).
bool readMark(JournalSource& source, JournalReading& info) {
    char mark[sizeof kMark];
    const IoResult r = source.read(mark, sizeof mark);
    if (r.error != 0) {
        info.ending = JournalEnd::ReadError;
        info.error = r.error;
        return false;
    }
    if (std::memcmp(mark, kMark, r.done) != 0) return false;  // NotJournal
    // An empty file is a journal whose station stopped before its mark: whole, empty.
    info.isJournal = true;
    info.ending = r.done == sizeof mark || r.done == 0 ? JournalEnd::Whole : JournalEnd::TornTail;
    info.end = r.done == sizeof mark ? sizeof kMark : 0;
    return r.done == sizeof mark;
}

// The records after the mark, until the file ends or a record does not fit. After the
// first that does not fit nothing more is used; the whole records behind it that still
// check are counted as dropped with it.
void readRecords(JournalSource& source, Replay& replay) {
    JournalReading& info = replay.info;
    std::unique_ptr<unsigned char[]> body;
    uint32_t capacity = 0;
    uint64_t offset = info.end;
    bool damaged = false;
    for (;;) {
        unsigned char head[kRecordHead];
        const IoResult h = source.read(head, kRecordHead);
        if (h.error != 0) return stopAt(info, JournalEnd::ReadError, offset, h.error);
        if (h.done == 0) return;
        if (!damaged) ++info.droppedRecords;  // counted back when it is used
        if (h.done < kRecordHead) return stopAt(info, JournalEnd::TornTail, offset);
        const uint32_t length = getU32(head);
        if (length == 0 || length > kMaxBody) return stopAt(info, JournalEnd::Damaged, offset);
        if (length > capacity) {
            body.reset(new unsigned char[length]);
            capacity = length;
        }
        const IoResult b = source.read(body.get(), length);
        if (b.error != 0) return stopAt(info, JournalEnd::ReadError, offset, b.error);
        if (b.done < length) return stopAt(info, JournalEnd::TornTail, offset);
        if (damaged) {
            if (crc32c(body.get(), length) != getU32(head + 4)) return;
            ++info.droppedRecords;
        } else if (useRecord(body.get(), length, getU32(head + 4), replay)) {
            --info.droppedRecords;
            ++info.records;
            info.end += kRecordHead + length;
        } else {
            damaged = true;
            stopAt(info, JournalEnd::Damaged, offset);
        }
        offset += kRecordHead + length;
    }
}

}  // namespace

JournalReading readJournalFrom(JournalSource& source, TestRecord* test) {
    JournalReading info;
    info.opened = true;
    if (test) test->repetitionCount = 0;
    Replay replay{test, info};
    if (readMark(source, info)) readRecords(source, replay);
    const uint64_t size = source.size();
    if (size > info.end) info.droppedBytes = size - info.end;
    info.attempts = replay.count;
    if (test) test->repetitionCount = replay.count;
    return info;
}

JournalReading readJournalFd(int fd, TestRecord* test) {
    if (::lseek(fd, 0, SEEK_SET) != 0) {
        JournalReading r;
        r.opened = true;
        r.ending = JournalEnd::ReadError;
        r.error = errno;
        return r;
    }
    FdSource source(fd);
    return readJournalFrom(source, test);
}

JournalReading readJournal(const std::string& path, TestRecord* test) {
    JournalReading r;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        r.error = errno;
        return r;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) r.error = EINVAL;
    else r = readJournalFd(fd, test);
    ::close(fd);
    return r;
}

JournalReading readJournalBytes(std::span<const uint8_t> bytes, TestRecord* test) {
    BytesSource source(bytes);
    return readJournalFrom(source, test);
}

std::string describeEnding(const JournalReading& r) {
    switch (r.ending) {
        case JournalEnd::Whole: return "read whole";
        case JournalEnd::TornTail:
            return "its last record was being written when its station stopped: " + std::to_string(r.droppedBytes) +
                   " bytes at the end, never stored";
        case JournalEnd::Damaged: return "damaged at byte " + std::to_string(r.damageOffset);
        case JournalEnd::ReadError:
            return "cannot be read at byte " + std::to_string(r.damageOffset) + ": " + std::strerror(r.error);
        case JournalEnd::NotJournal:
            return r.error != 0 ? std::string(std::strerror(r.error)) : std::string("not a journal of the station");
    }
    return {};
}

}  // namespace vanta
