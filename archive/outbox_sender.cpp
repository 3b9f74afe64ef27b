#include "archive/outbox_sender.h"

#include <fstream>
#include <iterator>

namespace vanta::archive {

bool readWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

SendReport sendOutbox(Outbox& outbox, ServerArchive& server, const std::string& connection,
                      const std::atomic<bool>* stop) {
    SendReport report;
    std::vector<IndexedTest> pending;
    if (!outbox.pendingUploads(pending)) {
        report.failure = "The station's archive index cannot be read";
        return report;
    }
    report.waiting = static_cast<int>(pending.size());
    if (pending.empty()) return report;
    if (!server.isOpen() && !server.open(connection)) {
        report.reachable = false;
        report.failure = server.reason();
        return report;
    }
    std::string bytes;
    for (const IndexedTest& test : pending) {
        if (stop && stop->load()) break;
        if (!readWholeFile(test.path, bytes)) {
            report.failure = "The test file " + test.path + " cannot be read";
            continue;
        }
        const StoreResult r = server.store(test, bytes);
        if (r == StoreResult::Failed) {
            report.failure = server.reason();
            if (!server.isOpen()) {
                report.reachable = false;
                break;
            }
            continue;
        }
        (r == StoreResult::Added ? report.sent : report.alreadyThere) += 1;
        // Struck only now: a station killed before this line sends the test again and the
        // server finds it already there.
        if (outbox.markUploaded(test.sha256))
            report.waiting -= 1;
        else
            report.failure = "The station's archive index cannot be written";
    }
    return report;
}

}  // namespace vanta::archive
