// The outbox of the station's local index (archive/local_index.h) as the sender of the
// shared archive uses it.
#pragma once

#include <string>
#include <vector>

#include "archive/local_index.h"
#include "archive/outbox_sender.h"

namespace vanta::archive {

class LocalIndexOutbox : public Outbox {
public:
    // Opens the index of the data folder; false with the index's message in reason().
    bool open(const std::string& dataFolder);
    // The tests waiting, as LocalIndex::sendableUploads gives them; dropped() names the
    // tests whose files are gone.
    bool pendingUploads(std::vector<IndexedTest>& tests) override;
    bool markUploaded(const std::string& sha256) override;
    const std::string& reason() const { return index_.lastMessage(); }
    // What the last pendingUploads() dropped, one line each.
    const std::vector<std::string>& dropped() const { return dropped_; }

private:
    LocalIndex index_;
    std::vector<std::string> dropped_;
};

}  // namespace vanta::archive
