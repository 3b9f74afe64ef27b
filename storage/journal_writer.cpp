#include "storage/journal_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "storage/journal_records.h"
#include "storage/posix_io.h"

namespace vanta {

using namespace journal_format;

namespace {

std::atomic<JournalSyncObserver> syncObserver{nullptr};

// fdatasync, told to the observer when it succeeded.
bool syncData(int fd) {
    if (::fdatasync(fd) != 0) return false;
    if (const JournalSyncObserver observe = syncObserver.load(std::memory_order_relaxed)) observe(fd);
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

bool lockWhole(int fd) {
    struct flock hold {};
    hold.l_type = F_WRLCK;
    hold.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &hold) == 0;
}

}  // namespace

void observeJournalSyncs(JournalSyncObserver observer) { syncObserver.store(observer, std::memory_order_relaxed); }

SessionJournal::~SessionJournal() {
    if (fd_ >= 0) ::close(fd_);
    dropPredecessor(false);
}

bool SessionJournal::fail(int error) {
    error_ = error ? error : EIO;
    failed_ = true;
    return false;
}

std::string SessionJournal::lastMessage() const {
    return error_ == 0 ? std::string() : path_ + ": " + std::strerror(error_);
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
    int error = lockWhole(fd) ? 0 : errno;
    if (error == 0) error = writeAllAt(fd, kMark, sizeof kMark, 0).error;
    if (error == 0 && ::fsync(fd) != 0) error = errno;
    if (error == 0) error = syncFolder(folder);
    if (error != 0) {
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

// The records the journal lacks to tell `test`: normally the one new record; after a
// failure, also what the failed writes did not leave.
std::string SessionJournal::missingRecords(const TestRecord& test, const std::string& subjectId) {
    const int count = std::clamp(test.repetitionCount, 0, kMaxRepetitions);
    std::string out;
    if (!subjectWritten_ || !(subject_ == test.subject) || subjectId_ != subjectId)
        appendSubject(out, test.subject, subjectId, test.testTime);
    // A calibration starts the test again: after its record the journal holds no repetition.
    if (offsetsPending_) appendCalibration(out, test);
    int onDisk = offsetsPending_ ? 0 : onDisk_;
    const int agree = offsetsPending_ ? 0 : std::min(agree_, count);
    for (; onDisk > agree; --onDisk) appendIgnore(out, onDisk - 1, test.testTime);
    for (; onDisk < count; ++onDisk) appendAttempt(out, test, onDisk);
    return out;
}

bool SessionJournal::sync(const TestRecord& test) {
    if (folder_.empty()) return true;
    // Nothing to keep yet (an IGNORE with no attempt stored): no file.
    if (fd_ < 0 && test.repetitionCount <= 0 && !offsetsPending_) return true;
    if (fd_ < 0 && !create(test.testTime)) return false;
    const std::string subjectId = subjectIdSource_ ? subjectIdSource_() : std::string();
    const std::string out = missingRecords(test, subjectId);
    if (out.empty()) return true;

    int error = writeAllAt(fd_, out.data(), out.size(), end_).error;
    if (error == 0 && !syncData(fd_)) error = errno;
    if (error != 0) {
        // Back to the last whole record, so that a later append does not lie behind a torn
        // one; should even that fail, the next append overwrites the torn part.
        (void)!::ftruncate(fd_, static_cast<off_t>(end_));
        return fail(error);
    }
    end_ += out.size();
    onDisk_ = agree_ = std::clamp(test.repetitionCount, 0, kMaxRepetitions);
    subject_ = test.subject;
    subjectId_ = subjectId;
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

bool SessionJournal::subjectChanged(const TestRecord& test) { return sync(test); }

void SessionJournal::dropPredecessor(bool remove) {
    if (predecessorFd_ < 0) return;
    if (remove) ::unlink(predecessorPath_.c_str());
    ::close(predecessorFd_);
    predecessorFd_ = -1;
    predecessorPath_.clear();
}

void SessionJournal::close(bool remove) {
    if (fd_ >= 0) {
        // Removed while still locked, so no other station takes it up in between.
        if (remove) ::unlink(path_.c_str());
        ::close(fd_);
    }
    dropPredecessor(remove);
    fd_ = -1;
    end_ = 0;
    onDisk_ = agree_ = 0;
    subjectWritten_ = false;
    subjectId_.clear();
    offsetsPending_ = false;
    failed_ = warned_ = false;
    error_ = 0;
}

void SessionJournal::adopt(int fd, const std::string& path, const TestRecord& test, uint64_t end) {
    close(false);
    fd_ = fd;
    path_ = path;
    end_ = end;
    onDisk_ = agree_ = test.repetitionCount;
    subject_ = test.subject;
    subjectId_ = subjectIdSource_ ? subjectIdSource_() : std::string();
    subjectWritten_ = true;
}

bool SessionJournal::continueFrom(int fd, const std::string& path, const TestRecord& test) {
    close(false);
    predecessorFd_ = fd;
    predecessorPath_ = path;
    return sync(test);
}

}  // namespace vanta
