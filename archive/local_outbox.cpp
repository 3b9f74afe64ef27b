#include "archive/local_outbox.h"

namespace vanta::archive {

bool LocalIndexOutbox::open(const std::string& dataFolder) { return index_.open(dataFolder); }

bool LocalIndexOutbox::pendingUploads(std::vector<IndexedTest>& tests) {
    tests.clear();
    std::vector<PendingUpload> pending;
    if (!index_.sendableUploads(pending, dropped_)) return false;
    tests.reserve(pending.size());
    for (PendingUpload& p : pending) tests.push_back(std::move(p.test));
    return true;
}

bool LocalIndexOutbox::markUploaded(const std::string& sha256) { return index_.markUploaded(sha256); }

}  // namespace vanta::archive
