#include "archive/lab_reader.h"

#include <algorithm>
#include <cstdlib>

#include "archive/archive_url.h"
#include "archive/server_archive.h"

namespace vanta::archive {

std::string withConnectTimeout(const std::string& connection, int seconds) {
    return withLibpqOptions(connection, {"connect_timeout=" + std::to_string(seconds)});
}

bool labSubjectTests(ServerArchive& server, const std::string& subjectId, const std::string& name,
                     std::vector<IndexedTest>& out) {
    // A history takes only the name itself, and with an id only the tests that were stored
    // before anyone knew whose they were: one statement on the server.
    if (!server.subjectHistory(subjectId, name, out)) return false;
    std::stable_sort(out.begin(), out.end(), [](const IndexedTest& a, const IndexedTest& b) {
        return a.testTime != b.testTime ? a.testTime < b.testTime : a.path < b.path;
    });
    return true;
}

LabArchiveReader::LabArchiveReader(std::string connection, std::chrono::milliseconds answerLimit)
    : connection_(std::move(connection)), answerLimit_(answerLimit) {}

LabArchiveReader::~LabArchiveReader() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        questions_.clear();
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void LabArchiveReader::ask(std::function<LabAnswer(ServerArchive&)> question, Done done) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        questions_.emplace_back(std::move(question), std::move(done));
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_one();
}

void LabArchiveReader::subjectTests(std::string subjectId, std::string name, Done done) {
    ask(
        [subjectId = std::move(subjectId), name = std::move(name)](ServerArchive& server) {
            LabAnswer a;
            a.ok = labSubjectTests(server, subjectId, name, a.tests);
            return a;
        },
        std::move(done));
}

void LabArchiveReader::list(TestQuery query, Done done) {
    ask(
        [query = std::move(query)](ServerArchive& server) {
            LabAnswer a;
            a.ok = server.list(query, a.tests);
            return a;
        },
        std::move(done));
}

void LabArchiveReader::fetch(std::string sha256, Done done) {
    ask(
        [this, sha256 = std::move(sha256)](ServerArchive& server) {
            // A test's bytes (up to some tens of megabytes) take longer than rows on a slow
            // line; the operator asked for them and may cancel: the worker's own limit.
            server.setAnswerLimit(std::max(answerLimit_, kAnswerLimit));
            LabAnswer a;
            a.ok = server.fetch(sha256, a.bytes);
            server.setAnswerLimit(answerLimit_);
            return a;
        },
        std::move(done));
}

void LabArchiveReader::findSubjects(std::string name, Done done) {
    ask(
        [name = std::move(name)](ServerArchive& server) {
            LabAnswer a;
            a.ok = server.findSubjects(name, a.subjects);
            return a;
        },
        std::move(done));
}

void LabArchiveReader::storeSubjects(std::vector<ArchivedSubject> subjects, Done done) {
    ask(
        [subjects = std::move(subjects)](ServerArchive& server) {
            LabAnswer a;
            a.ok = server.storeSubjects(subjects);
            return a;
        },
        std::move(done));
}

void LabArchiveReader::mergeSubjects(ArchivedSubject keep, ArchivedSubject gone, Done done) {
    ask(
        [keep = std::move(keep), gone = std::move(gone)](ServerArchive& server) {
            LabAnswer a;
            a.ok = server.storeSubjects({keep, gone}) && server.mergeSubjects(keep.id, gone.id);
            return a;
        },
        std::move(done));
}

void LabArchiveReader::run() {
    ServerArchive server;
    server.setAnswerLimit(answerLimit_);
    server.setStation(stationName(std::getenv(kStationNameVariable)));
    const int connectSeconds = std::max(2, static_cast<int>(answerLimit_.count() / 1000));
    for (;;) {
        std::pair<std::function<LabAnswer(ServerArchive&)>, Done> next;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !questions_.empty(); });
            if (stopping_) return;
            next = std::move(questions_.front());
            questions_.pop_front();
        }
        LabAnswer answer;
        const bool kept = server.isOpen();
        if (!server.isOpen() && !server.open(withConnectTimeout(connection_, connectSeconds))) {
            answer.reason = server.reason();
        } else {
            answer = next.first(server);
            // A connection kept from an earlier question that the server dropped meanwhile
            // (it restarted) is opened again and the question asked once more, before the
            // operator is told the server cannot be reached.
            if (!answer.ok && kept && !server.isOpen() && server.open(withConnectTimeout(connection_, connectSeconds)))
                answer = next.first(server);
            // A failed call's reason is the server's; a connection that failed a call is
            // not trusted with the next one.
            if (!answer.ok) {
                answer.reason = server.reason();
                server.close();
            }
        }
        if (next.second) next.second(std::move(answer));
    }
}

}  // namespace vanta::archive
