// Finding the journals a station left (storage/journal_writer.h) and taking one up for
// recovery.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "storage/journal_reader.h"

namespace vanta {

// A journal taken for recovery: opened for writing and locked, so no other station offers
// it at the same time. Empty when a running station holds it or it cannot be opened
// (lastError() says why; EAGAIN: held).
class JournalClaim {
public:
    explicit JournalClaim(const std::string& path);
    ~JournalClaim();
    JournalClaim(const JournalClaim&) = delete;
    JournalClaim& operator=(const JournalClaim&) = delete;

    bool claimed() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    int lastError() const { return error_; }
    // Hands the descriptor (and the lock) over to a SessionJournal.
    int release();
    // Removes the file while still holding it.
    bool remove();

private:
    std::string path_;
    int fd_ = -1;
    int error_ = 0;
};

struct JournalEntry {
    std::string path;
    std::string subjectName;
    int32_t testTime = 0;
    int attempts = 0;
    int droppedRecords = 0;
    bool held = false;  // a running station holds it
    int64_t modified = 0;  // seconds since 1970, of the file
    JournalReading reading;  // how it was read: whole, torn, damaged, unreadable
};

// The journals of a folder, or why the folder cannot be read.
struct JournalListing {
    std::vector<JournalEntry> entries;
    int error = 0;  // errno of opening or reading the folder
};

// The journals in `folder` ("unsaved-*.kvqj"), newest first; one that cannot be read is
// listed with its reading's error, a file with the name but without the mark too.
JournalListing listJournals(const std::string& folder);
// True when a running station holds the journal's lock.
bool journalHeld(const std::string& path);
bool isJournalName(const std::string& name);

}  // namespace vanta
