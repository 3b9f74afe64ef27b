// Reading a session journal (storage/journal_format.h): the records are decoded one by
// one and replayed in order. Reading stops at the first record that is cut short or whose
// checksum, kind or index does not fit: what came before is recovered, nothing after it
// is used, so a recovered attempt is always one the station stored. How the reading ended
// is told apart: the end of the file after a whole record, a torn tail (the file ends
// inside the last record: the writer died while appending it, ordinary after a crash),
// damage at an offset, or a read error with its reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "core/records.h"
#include "storage/posix_io.h"

namespace vanta {

enum class JournalEnd {
    Whole,      // every byte was read and used
    TornTail,   // the file ends inside its last record (the writer died appending it)
    Damaged,    // a record at damageOffset does not fit; the rest was not used
    ReadError,  // a read failed (error says why); nothing after it is known
    NotJournal, // no journal mark, or the file cannot be opened (error then says why)
};

// What reading a journal gave.
struct JournalReading {
    bool opened = false;       // false: the file cannot be read (error says why)
    bool isJournal = false;    // the mark is there
    JournalEnd ending = JournalEnd::NotJournal;
    int attempts = 0;          // repetitions recovered
    int records = 0;           // whole records used
    int droppedRecords = 0;    // the record that ended the reading, and whole ones behind it
    uint64_t droppedBytes = 0;
    uint64_t end = 0;          // length of the whole records used
    uint64_t damageOffset = 0; // Damaged, TornTail, ReadError: where the unused part starts
    std::string subjectName;   // as the journal last gave it
    std::string subjectId;     // the subject register's permanent id, where it gave one
    int32_t testTime = 0;
    int error = 0;             // errno of an open or read that failed

    // Every byte read and used: nothing in the file is unaccounted for.
    bool readWhole() const { return ending == JournalEnd::Whole; }
    // A part of the file may hold records that were stored but are not used.
    bool damaged() const { return ending == JournalEnd::Damaged || ending == JournalEnd::ReadError; }
};

// Where the journal's bytes come from, in order. Tests put a source in that fails.
class JournalSource {
public:
    virtual ~JournalSource() = default;
    // Reads n bytes, fewer only at the end (error 0) or on a read error.
    virtual IoResult read(void* dst, size_t n) = 0;
    // The whole length, for the bytes not used (0 when unknown).
    virtual uint64_t size() = 0;
};

// Replays the journal into `test`: subject, test time, repetition count and the
// repetitions (nothing analysed). With `test` null only counts.
JournalReading readJournalFrom(JournalSource& source, TestRecord* test);
JournalReading readJournal(const std::string& path, TestRecord* test);
// The same on a file already open (read from its start).
JournalReading readJournalFd(int fd, TestRecord* test);
// The same from a whole journal's bytes in memory (beside readTestBytes).
JournalReading readJournalBytes(std::span<const uint8_t> bytes, TestRecord* test);

// "the journal is damaged at byte N" and the like: how the reading ended, for messages.
std::string describeEnding(const JournalReading& reading);

}  // namespace vanta
