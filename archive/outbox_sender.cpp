#include "archive/outbox_sender.h"

#include <fstream>
#include <iterator>

namespace vanta::archive {

bool readWholeFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    bytes.resize(static_cast<size_t>(size));
    in.seekg(0);
    in.read(bytes.data(), size);
    // A file that grew meanwhile is read to its new end: the server checks the bytes
    // against the key either way.
    if (in.gcount() != size) return false;
    char more[4096];
    while (in.read(more, sizeof more) || in.gcount() > 0) bytes.append(more, static_cast<size_t>(in.gcount()));
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
    // A batch of tests goes in one transaction (one commit, one sync of the server's log,
    // instead of one per test); each test in it is still all or nothing.
    std::vector<std::string> bytes(kSendBatchTests);
    std::vector<ServerArchive::TestToStore> batch;
    std::vector<const IndexedTest*> tests;
    size_t next = 0;
    while (next < pending.size()) {
        if (stop && stop->load()) break;
        batch.clear();
        tests.clear();
        size_t batchBytes = 0;
        while (next < pending.size() && batch.size() < kSendBatchTests && batchBytes < kSendBatchBytes) {
            const IndexedTest& test = pending[next++];
            std::string& b = bytes[batch.size()];
            if (!readWholeFile(test.path, b)) {
                report.failure = "The test file " + test.path + " cannot be read";
                continue;
            }
            batchBytes += b.size();
            batch.push_back({&test, b});
            tests.push_back(&test);
        }
        if (batch.empty()) continue;
        const std::vector<StoreResult> results = server.storeBatch(batch);
        for (size_t i = 0; i < results.size(); ++i) {
            if (results[i] == StoreResult::Failed) continue;
            (results[i] == StoreResult::Added ? report.sent : report.alreadyThere) += 1;
            // Struck only now: a station killed before this line sends the test again and
            // the server finds it already there.
            if (outbox.markUploaded(tests[i]->sha256))
                report.waiting -= 1;
            else
                report.failure = "The station's archive index cannot be written";
        }
        for (StoreResult r : results)
            if (r == StoreResult::Failed) {
                report.failure = server.reason();
                break;
            }
        if (!server.isOpen()) {
            report.reachable = false;
            break;
        }
    }
    return report;
}

}  // namespace vanta::archive
