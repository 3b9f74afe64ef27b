// The window's reader of the lab's shared archive: a thread of its own with its own
// connection, so the window never waits on the server. It answers one question at a time
// in the order they were asked (a subject's tests, the lab's list of tests, one test's
// bytes, the lab's subjects of a name; and the register's two changes the window makes
// there: a new subject, two subjects merged) and hands each answer to a callback on the
// reader's thread.
//
// The window asks while the operator watches: a server that does not answer within a few
// seconds (kReaderAnswerLimit, also for the connection) is taken for unreachable, and the
// screen keeps what this station knows; a test's bytes, which the operator asked for and
// may cancel, have the upload worker's longer limit. A failed call drops the connection;
// the next question connects again.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "archive/archive_types.h"
#include "archive/server_archive.h"

namespace vanta::archive {

class ServerArchive;

inline constexpr std::chrono::milliseconds kReaderAnswerLimit{5000};

// `connection` with libpq's connect_timeout set to `seconds` unless the lab set one.
std::string withConnectTimeout(const std::string& connection, int seconds);

// One subject's tests on the server, oldest first, as the station's index gives them for
// the history: with an id every test stored with it and the tests of unknown id stored
// under exactly the name; without one every test of exactly the name. Rows only.
bool labSubjectTests(ServerArchive& server, const std::string& subjectId, const std::string& name,
                     std::vector<IndexedTest>& out);

class LabArchiveReader {
public:
    using Done = std::function<void(LabAnswer)>;

    explicit LabArchiveReader(std::string connection, std::chrono::milliseconds answerLimit = kReaderAnswerLimit);
    ~LabArchiveReader();  // the question being answered ends (at most the answer limit), the rest are dropped
    LabArchiveReader(const LabArchiveReader&) = delete;
    LabArchiveReader& operator=(const LabArchiveReader&) = delete;

    void subjectTests(std::string subjectId, std::string name, Done done);
    void list(TestQuery query, Done done);
    void fetch(std::string sha256, Done done);
    // The lab's subjects whose folded name is `name`'s (ServerArchive::findSubjects).
    void findSubjects(std::string name, Done done);
    // The subjects go into the lab's register (ServerArchive::storeSubjects).
    void storeSubjects(std::vector<ArchivedSubject> subjects, Done done);
    // `gone` becomes `keep` in the lab's register (ServerArchive::mergeSubjects). Both go
    // into the lab's register first, as the next sync would send them: a subject this
    // station added while the server was away is not known there yet.
    void mergeSubjects(ArchivedSubject keep, ArchivedSubject gone, Done done);

private:
    void ask(std::function<LabAnswer(ServerArchive&)> question, Done done);
    void run();

    std::string connection_;
    std::chrono::milliseconds answerLimit_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::pair<std::function<LabAnswer(ServerArchive&)>, Done>> questions_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace vanta::archive
