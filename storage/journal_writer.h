// The journal of the unsaved test: every attempt is on disk from the moment it is shown as
// stored, so a power cut, a crash or a killed station loses nothing that was stored.
//
// The file lies in the data folder beside the tests, one per running station, which holds
// an OFD write lock on it for as long as it writes it; a journal nobody holds belongs to a
// station that is gone. Its records: storage/journal_format.h. Each append is synced to
// the disk (fdatasync) before the event returns, so before the station shows the stored
// attempt; a new file's folder is synced too, so its name survives the power cut.
//
// Appending an attempt writes that attempt alone, however many are stored. After a write
// failed (disk full, folder read-only) the file is cut back to its last whole record, and
// the next event writes what the journal is missing, so it never tells a different test
// than the one in memory; the caller tells the operator once (takeWarning()).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/records.h"
#include "storage/journal_format.h"

namespace vanta {

class SessionJournal {
public:
    // `folder` empty: the journal is off (every event succeeds and writes nothing).
    explicit SessionJournal(std::string folder = {}) : folder_(std::move(folder)) {}
    ~SessionJournal();
    SessionJournal(const SessionJournal&) = delete;
    SessionJournal& operator=(const SessionJournal&) = delete;

    void setFolder(std::string folder) { folder_ = std::move(folder); }
    const std::string& folder() const { return folder_; }
    // Where the subject register's permanent id of the test's subject comes from (empty
    // answer: not known); it goes into the subject record, so that a recovered test is
    // filed under the subject it was recorded for.
    void setSubjectIdSource(std::function<std::string()> source) { subjectIdSource_ = std::move(source); }

    // The events of the test in memory; each makes the journal tell that test. False when
    // the journal could not be written (lastError() says why); the test is unaffected.
    // An attempt was stored as repetition repetitionCount - 1.
    bool attemptStored(const TestRecord& test);
    // IGNORE dropped the last repetition (repetitionCount is already the new count).
    bool attemptIgnored(const TestRecord& test);
    // Calibration set the offsets of repetition 0 and started a new test.
    bool calibrated(const TestRecord& test);
    // The test was filed under another subject (or its subject's data edited): a subject
    // record with the subject and the id the source gives now, so a recovered test comes
    // back under it.
    bool subjectChanged(const TestRecord& test);

    // The test in memory is left behind (saved, dropped, or replaced by the next one):
    // the lock goes; the file goes too when `remove` (and with it a damaged journal this
    // one took the test from), otherwise it stays to be recovered.
    void close(bool remove);
    // Continues a recovered journal that was read whole as this station's own: `fd` is the
    // journal at `path`, opened for reading and writing and locked (JournalClaim::
    // release()); `test` is what it gave back and `end` its length. Nothing in it changes;
    // the next record follows.
    void adopt(int fd, const std::string& path, const TestRecord& test, uint64_t end);
    // A recovered journal that was not read whole (torn at its end, damaged) stays byte for
    // byte as it is, held through `fd`: the test goes on in a new journal that starts with every
    // attempt recovered. Both go when the test is saved (close(true)); else both stay.
    bool continueFrom(int fd, const std::string& path, const TestRecord& test);

    bool isOpen() const { return fd_ >= 0; }
    // The file now written, or the one that could not be written.
    const std::string& path() const { return path_; }
    int lastError() const { return error_; }
    int error() const { return error_; }
    // "PATH: reason" of the last failure.
    std::string lastMessage() const;
    // True once per test after a failure: the operator is told, and not again for it.
    bool takeWarning();

private:
    bool create(int32_t testTime);
    bool sync(const TestRecord& test);
    std::string missingRecords(const TestRecord& test, const std::string& subjectId);
    bool fail(int error);
    void dropPredecessor(bool remove);

    std::string folder_;
    std::string path_;
    std::function<std::string()> subjectIdSource_;
    int fd_ = -1;
    uint64_t end_ = 0;      // length of the whole records on disk
    int onDisk_ = 0;        // repetitions the journal holds
    int agree_ = 0;         // of those, how many are still the ones in memory
    bool subjectWritten_ = false;
    SubjectInfo subject_;   // the subject the journal holds
    std::string subjectId_;
    bool offsetsPending_ = false;
    bool failed_ = false;
    bool warned_ = false;
    int error_ = 0;
    // A damaged journal the test was recovered from, kept until the test is saved.
    int predecessorFd_ = -1;
    std::string predecessorPath_;
};

// Tests and benchmarks: called with the descriptor after every data sync of a journal
// record succeeded (nullptr: nobody).
using JournalSyncObserver = void (*)(int fd);
void observeJournalSyncs(JournalSyncObserver observer);

}  // namespace vanta
