#include "archive/outbox_sender.h"

#include <fstream>
#include <future>
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

namespace {

// The files of the next batch, read into memory: up to kSendBatchTests tests or
// kSendBatchBytes bytes. A file that cannot be read is named in the report and waits.
struct Batch {
    std::vector<std::string> bytes = std::vector<std::string>(kSendBatchTests);
    std::vector<ServerArchive::TestToStore> tests;
    std::vector<StoreResult> results;
};

void readBatch(const std::vector<IndexedTest>& pending, size_t& next, Batch& batch, SendReport& report) {
    batch.tests.clear();
    batch.results.clear();
    size_t batchBytes = 0;
    while (next < pending.size() && batch.tests.size() < kSendBatchTests && batchBytes < kSendBatchBytes) {
        const IndexedTest& test = pending[next++];
        std::string& b = batch.bytes[batch.tests.size()];
        if (!readWholeFile(test.path, b)) {
            report.failure = "The test file " + test.path + " cannot be read";
            continue;
        }
        batchBytes += b.size();
        batch.tests.push_back({&test, b});
    }
}

// A test already on the server, sent before its subject was known (or by a station that
// did not know it), takes the id this station has learned since. Should the server not
// take it, the test stays in the outbox and the next run tries again.
void attachLearnedIds(Batch& batch, ServerArchive& server) {
    std::vector<ServerArchive::LearnedId> learned;
    for (size_t i = 0; i < batch.results.size(); ++i) {
        const IndexedTest& t = *batch.tests[i].test;
        if (batch.results[i] == StoreResult::AlreadyThere && !t.subjectId.empty())
            learned.push_back({t.sha256, t.subjectId, t.subject});
    }
    if (learned.empty() || server.attachSubjectIds(learned)) return;
    for (size_t i = 0; i < batch.results.size(); ++i)
        if (batch.results[i] == StoreResult::AlreadyThere && !batch.tests[i].test->subjectId.empty())
            batch.results[i] = StoreResult::Failed;
}

// A test already on the server: its sides setting there is compared with this station's,
// and replaced where this station corrected it by hand. A correction the server does not
// take leaves the test in the outbox for the next run.
void settleSides(Batch& batch, ServerArchive& server, SendReport& report) {
    std::vector<ServerArchive::SidesOf> tests;
    for (size_t i = 0; i < batch.results.size(); ++i) {
        const IndexedTest& t = *batch.tests[i].test;
        if (batch.results[i] == StoreResult::AlreadyThere) tests.push_back({t.sha256, t.sidesSwapped, t.sidesCorrected});
    }
    int differing = 0, replaced = 0;
    if (tests.empty()) return;
    if (server.settleSides(tests, differing, replaced)) {
        report.sidesDiffer += differing;
        report.sidesReplaced += replaced;
        return;
    }
    for (size_t i = 0; i < batch.results.size(); ++i)
        if (batch.results[i] == StoreResult::AlreadyThere && batch.tests[i].test->sidesCorrected)
            batch.results[i] = StoreResult::Failed;
}

// Strikes what the server now holds from the outbox; the first failure is the report's.
void account(Outbox& outbox, const Batch& batch, const ServerArchive& server, SendReport& report) {
    for (size_t i = 0; i < batch.results.size(); ++i) {
        if (batch.results[i] == StoreResult::Failed) continue;
        (batch.results[i] == StoreResult::Added ? report.sent : report.alreadyThere) += 1;
        // Struck only now: a station killed before this line sends the test again and
        // the server finds it already there.
        if (outbox.markUploaded(batch.tests[i].test->sha256))
            report.waiting -= 1;
        else
            report.failure = "The station's archive index cannot be written";
    }
    for (StoreResult r : batch.results)
        if (r == StoreResult::Failed) {
            report.failure = server.reason();
            break;
        }
}

}  // namespace

SendReport sendOutbox(Outbox& outbox, ServerArchive& server, const std::string& connection,
                      const std::atomic<bool>* stop, int lanes) {
    SendReport report;
    std::vector<IndexedTest> pending;
    if (!outbox.pendingUploads(pending)) {
        report.failure = "The station's archive index cannot be read";
        return report;
    }
    report.waiting = static_cast<int>(pending.size());
    std::vector<ArchivedSubject> subjects;
    if (!outbox.unsentSubjects(subjects)) report.failure = "The station's subject register cannot be read";
    std::vector<std::pair<std::string, std::string>> unsentMerges;
    outbox.unsentMerges(unsentMerges);
    if (pending.empty() && subjects.empty() && unsentMerges.empty()) return report;
    if (!server.isOpen() && !server.open(connection)) {
        report.reachable = false;
        report.failure = server.reason();
        return report;
    }
    // The subjects first: the tests that follow name them by id.
    if (!subjects.empty()) {
        if (server.storeSubjects(subjects)) outbox.subjectsSent(subjects);
        else report.failure = server.reason();
        if (!server.isOpen()) {
            report.reachable = false;
            return report;
        }
    }
    // The station's merges next: a merge made without a server (or refused then) is the
    // lab's too from now on. One the lab has made already, or of an id it never had, is done.
    std::vector<std::pair<std::string, std::string>> merges;
    if (!outbox.unsentMerges(merges)) report.failure = "The station's subject register cannot be read";
    for (const auto& [keep, gone] : merges) {
        if (server.mergeSubjects(keep, gone) || server.lastError() == ServerError::Refused) {
            outbox.mergeSent({keep, gone});
        } else {
            report.failure = server.reason();
            if (!server.isOpen()) {
                report.reachable = server.lastError() == ServerError::Permission;
                return report;
            }
        }
    }
    // A second connection stores every other batch at the same time, so the server's
    // work for a test (its checksum, its compression) runs on two of its cores. Where it
    // cannot be opened, everything goes through the first.
    ServerArchive second;
    if (lanes > 1 && pending.size() > kSendBatchTests) {
        second.setStation(server.station());
        second.open(connection);
    }
    // A batch of tests goes in one transaction (one commit, one sync of the server's log,
    // instead of one per test); each test in it is still all or nothing.
    Batch first, other;
    size_t next = 0;
    while (next < pending.size()) {
        if (stop && stop->load()) break;
        readBatch(pending, next, first, report);
        other.tests.clear();
        other.results.clear();
        std::future<std::vector<StoreResult>> otherLane;
        if (second.isOpen()) {
            readBatch(pending, next, other, report);
            if (!other.tests.empty())
                otherLane = std::async(std::launch::async, [&] { return second.storeBatch(other.tests); });
        }
        if (!first.tests.empty()) first.results = server.storeBatch(first.tests);
        if (otherLane.valid()) other.results = otherLane.get();
        attachLearnedIds(first, server);
        attachLearnedIds(other, second.isOpen() ? second : server);
        settleSides(first, server, report);
        settleSides(other, second.isOpen() ? second : server, report);
        account(outbox, first, server, report);
        account(outbox, other, second, report);
        if (!server.isOpen()) {
            report.reachable = false;
            break;
        }
    }
    return report;
}

}  // namespace vanta::archive
