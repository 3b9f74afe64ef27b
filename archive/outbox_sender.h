// Sending a station's outbox to the lab's shared archive: every indexed test that is not yet
// on the server, one transaction each, struck from the outbox only once the server holds it.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_types.h"
#include "archive/server_archive.h"

namespace vanta::archive {

// The outbox of the local index, as the sender sees it.
class Outbox {
public:
    virtual ~Outbox() = default;
    // The tests indexed but not yet on the server. False when the index cannot be read.
    virtual bool pendingUploads(std::vector<IndexedTest>& tests) = 0;
    // The server holds the test now: it leaves the outbox.
    virtual bool markUploaded(const std::string& sha256) = 0;
    // The station's register subjects the lab's register has not had from this outbox yet
    // (none where the station keeps no register), and the word that they are there now.
    virtual bool unsentSubjects(std::vector<ArchivedSubject>& subjects) {
        subjects.clear();
        return true;
    }
    virtual void subjectsSent(const std::vector<ArchivedSubject>&) {}
    // The station's merges of two ids into one (kept, merged away) the lab may not have had:
    // a merge made while the server was away reaches it with the next sync.
    virtual bool unsentMerges(std::vector<std::pair<std::string, std::string>>& merges) {
        merges.clear();
        return true;
    }
    virtual void mergeSent(const std::pair<std::string, std::string>&) {}
};

struct SendReport {
    int sent = 0;          // new on the server
    int alreadyThere = 0;  // another station (or an earlier, interrupted run) was first
    int waiting = 0;       // still in the outbox afterwards
    int sidesDiffer = 0;   // already there with another sides setting than this station's
    int sidesReplaced = 0; // already there, their sides setting corrected (archive sides)
    bool reachable = true; // false: the server could not be reached or went away
    std::string failure;   // the reason of the last failure, "" when there was none
};

// Tests per transaction, and the bytes at which a batch is sent sooner: a batch is
// held in memory whole (64 MB at most, with the file that passes the mark).
inline constexpr size_t kSendBatchTests = 64;
inline constexpr size_t kSendBatchBytes = 48u << 20;

// Sends the register's subjects the server has not had yet, then what the outbox holds
// (a test already on the server without a subject id takes the one this station knows),
// a batch of tests per transaction, connecting first when `server` is not open. Stops at once
// when the server goes away (the rest waits for the next run) or when `stop` is set; a
// single test the server refuses, or whose file cannot be read, waits and the others go on.
// `lanes` 2 stores every other batch over a second connection at the same time.
SendReport sendOutbox(Outbox& outbox, ServerArchive& server, const std::string& connection,
                      const std::atomic<bool>* stop = nullptr, int lanes = 1);

// The whole of a file, false when it cannot be read.
bool readWholeFile(const std::string& path, std::string& bytes);

}  // namespace vanta::archive
