// The outbox of the station's local index (archive/local_index.h) as the sender of the
// shared archive uses it.
#pragma once

#include <string>
#include <vector>

#include "archive/local_index.h"
#include "archive/outbox_sender.h"
#include "storage/subject_register.h"

namespace vanta::archive {

// A register subject as the lab's register keeps it.
ArchivedSubject archivedSubject(const RegisteredSubject& subject);

class LocalIndexOutbox : public Outbox {
public:
    // Opens the index of the data folder; false with the index's message in reason().
    bool open(const std::string& dataFolder);
    // The tests waiting, as LocalIndex::sendableUploads gives them; dropped() names the
    // tests whose files are gone.
    bool pendingUploads(std::vector<IndexedTest>& tests) override;
    bool markUploaded(const std::string& sha256) override;
    // The data folder's register subjects (none without a register), less those this
    // outbox has sent as they are now: a window that syncs every few minutes sends a
    // subject again only after it was added or changed.
    bool unsentSubjects(std::vector<ArchivedSubject>& subjects) override;
    void subjectsSent(const std::vector<ArchivedSubject>& subjects) override;
    // The register's merges (kept id, id merged away), less those this outbox has sent.
    bool unsentMerges(std::vector<std::pair<std::string, std::string>>& merges) override;
    void mergeSent(const std::pair<std::string, std::string>& merge) override;
    const std::string& reason() const { return index_.lastMessage(); }
    // What the last pendingUploads() dropped, one line each.
    const std::vector<std::string>& dropped() const { return dropped_; }

private:
    LocalIndex index_;
    std::vector<std::string> dropped_;
    std::string dataFolder_;
    std::vector<ArchivedSubject> sent_;
    std::vector<std::pair<std::string, std::string>> sentMerges_;
};

}  // namespace vanta::archive
