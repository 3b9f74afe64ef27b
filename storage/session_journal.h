// The journal of the unsaved test: every attempt is on disk from the moment it is shown as
// stored, so a power cut, a crash or a killed station loses nothing that was stored.
//
// The file "unsaved-<date>-<time>.kvqj" lies in the data folder beside the tests, one per
// running station, which holds an OFD write lock on it for as long as it writes it; a
// journal nobody holds belongs to a station that is gone. It starts with an 8-byte mark
// and is a sequence of records, each appended once and never rewritten:
//
//     u32 length of the body | u32 CRC-32C of the body | body: u8 kind, then its fields
//
// kinds: the subject and test time; an attempt (its index, the test time, direction,
// offsets, load, radius, samples); IGNORE (the index dropped); calibration (the offsets of
// repetition 0). Integers and reals little-endian as in the test file. Each append is
// synced to the disk before the station shows the stored attempt; a new file's folder is
// synced too, so its name survives the power cut.
//
// Appending an attempt writes that attempt alone, however many are stored. After a write
// failed (disk full, folder read-only) the file is cut back to its last whole record, and
// the next event writes what the journal is missing, so it never tells a different test
// than the one in memory; the caller tells the operator once (takeWarning()).
//
// Reading replays the records in order and stops at the first one that is cut short or
// whose checksum, kind or index does not fit: what came before is recovered, nothing after
// it is used, so a recovered attempt is always one the station stored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/records.h"

namespace vanta {

inline constexpr std::string_view kJournalSuffix = ".kvqj";
inline constexpr std::string_view kJournalPrefix = "unsaved-";

class SessionJournal {
public:
    // `folder` empty: the journal is off (every event succeeds and writes nothing).
    explicit SessionJournal(std::string folder = {}) : folder_(std::move(folder)) {}
    ~SessionJournal();
    SessionJournal(const SessionJournal&) = delete;
    SessionJournal& operator=(const SessionJournal&) = delete;

    void setFolder(std::string folder) { folder_ = std::move(folder); }
    const std::string& folder() const { return folder_; }

    // The events of the test in memory; each makes the journal tell that test. False when
    // the journal could not be written (error() says why); the test is unaffected.
    // An attempt was stored as repetition repetitionCount - 1.
    bool attemptStored(const TestRecord& test);
    // IGNORE dropped the last repetition (repetitionCount is already the new count).
    bool attemptIgnored(const TestRecord& test);
    // Calibration set the offsets of repetition 0 and started a new test.
    bool calibrated(const TestRecord& test);

    // The test in memory is left behind (saved, dropped, or replaced by the next one):
    // the lock goes; the file goes too when `remove`, otherwise it stays to be recovered.
    void close(bool remove);
    // Continues a recovered journal as this station's own: `fd` is the journal at `path`,
    // opened for reading and writing and locked (JournalClaim::release()); `test` is what
    // it gave back and `end` the length of its whole records.
    void adopt(int fd, const std::string& path, const TestRecord& test, uint64_t end);

    bool isOpen() const { return fd_ >= 0; }
    // The file now written, or the one that could not be written.
    const std::string& path() const { return path_; }
    int error() const { return error_; }
    // True once per test after a failure: the operator is told, and not again for it.
    bool takeWarning();

private:
    bool create(int32_t testTime);
    bool sync(const TestRecord& test);
    bool fail(int error);

    std::string folder_;
    std::string path_;
    int fd_ = -1;
    uint64_t end_ = 0;      // length of the whole records on disk
    int onDisk_ = 0;        // repetitions the journal holds
    int agree_ = 0;         // of those, how many are still the ones in memory
    bool subjectWritten_ = false;
    SubjectInfo subject_;   // the subject the journal holds
    bool offsetsPending_ = false;
    bool failed_ = false;
    bool warned_ = false;
    int error_ = 0;
};

// What reading a journal gave.
struct JournalReading {
    bool opened = false;       // false: the file cannot be read (error says why)
    bool isJournal = false;    // the mark is there
    int attempts = 0;          // repetitions recovered
    int records = 0;           // whole records used
    int droppedRecords = 0;    // records cut short or damaged at the end, and any behind them
    uint64_t droppedBytes = 0;
    uint64_t end = 0;          // length of the whole records used
    std::string subjectName;   // as the journal last gave it
    int32_t testTime = 0;
    int error = 0;
};

// Replays the journal at `path` into `test`: subject, test time, repetition count and the
// repetitions (nothing analysed). With `test` null only counts.
JournalReading readJournal(const std::string& path, TestRecord* test);
// The same on a file already open (read from its start).
JournalReading readJournalFd(int fd, TestRecord* test);

// A journal taken for recovery: opened for writing and locked, so no other station offers
// it at the same time. Empty when a running station holds it or it cannot be opened.
class JournalClaim {
public:
    explicit JournalClaim(const std::string& path);
    ~JournalClaim();
    JournalClaim(const JournalClaim&) = delete;
    JournalClaim& operator=(const JournalClaim&) = delete;

    bool claimed() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Hands the descriptor (and the lock) over to a SessionJournal::adopt.
    int release();
    // Removes the file while still holding it.
    bool remove();

private:
    std::string path_;
    int fd_ = -1;
};

struct JournalEntry {
    std::string path;
    std::string subjectName;
    int32_t testTime = 0;
    int attempts = 0;
    int droppedRecords = 0;
    bool held = false;  // a running station holds it
    int64_t modified = 0;  // seconds since 1970, of the file
};

// The journals in `folder` ("unsaved-*.kvqj"), newest first.
std::vector<JournalEntry> listJournals(const std::string& folder);
// True when a running station holds the journal's lock.
bool journalHeld(const std::string& path);

}  // namespace vanta
