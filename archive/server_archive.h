// The lab's shared archive on a PostgreSQL server: every station of a lab sends its tests
// there (the file's bytes, its rows and its subject by UUID) and any station can list them
// or bring a file back byte for byte.
//
// - The station creates the tables itself in an empty database and upgrades them from an
//   older layout; the layout it finds is named in the table `vanta_archive_schema`. A
//   newer layout than this station knows, or a database that holds tables of another
//   program, is refused with a reason and never altered.
// - One test is one transaction, keyed by the SHA-256 of its bytes: a test sent twice is
//   stored once, and a connection that dies half-way leaves nothing of the test behind.
//   The server checks the bytes against the key, so a file changed since it was indexed
//   is never stored under the old identity.
// - After the tables exist, a role with SELECT and INSERT on them is all a station needs to
//   send tests; UPDATE on the subjects (and on a test's subject id) lets it keep the lab's
//   register of subjects.
//
// Nothing here throws or shows anything: calls return false (or Failed) with a reason in
// the station's words. Connection strings may carry a password; it never appears in a
// reason (see redactedUrl).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_types.h"
#include "archive/connection_string.h"
#include "core/result_names.h"

namespace vanta::archive {

// The layout of the tables this station writes; raised with every change of them, each
// change an upgrade step of its own (ServerArchive::upgradeStep), so a lab's server with
// an older layout is brought up to this one in place, step by step.
inline constexpr int kServerSchemaVersion = 8;

// The researchers' view `vanta_results` names each of a repetition's 30 results as
// core/result_names.h does (the same names `analyse --json` gives).
using vanta::ResultColumnName;
using vanta::resultColumnNames;

// A call that has had no answer for this long ends as a broken connection: a server that
// stopped answering ends a sync with its reason instead of holding it (and the window's
// exit) for as long as the line stays open. The server ends a statement itself after
// kStatementLimit, so one that is there but waits (a lock) gives its own reason first.
inline constexpr std::chrono::milliseconds kAnswerLimit{35000};
inline constexpr std::chrono::milliseconds kStatementLimit{30000};

// What kind of failure the last call met, for a caller that acts on it (a refusal of the
// role is not a server that went away); lastMessage() says it in the station's words.
enum class ServerError {
    None,
    NotConnected,  // no connection (none set, or dropped after a failure)
    Unreachable,   // the server could not be reached or refused the login
    Silent,        // the server stopped answering; the connection is given up
    Broken,        // the connection broke
    Permission,    // the role may not do this (permission denied)
    Timeout,       // the server gave up waiting (its statement or lock limit)
    Refused,       // the server refused what was sent or asked (the message says why)
};

enum class StoreResult {
    Added,          // the test is on the server now
    AlreadyThere,   // it was there before (sent by this or another station): nothing changed
    Failed,         // nothing of it is on the server; the reason says why
};

class ServerArchive {
public:
    ServerArchive();
    ~ServerArchive();
    ServerArchive(const ServerArchive&) = delete;
    ServerArchive& operator=(const ServerArchive&) = delete;

    // Connects (a libpq URI or "service=NAME"; passwords from libpq's own places or the
    // URI) and makes sure the tables are this station's, creating or upgrading them when
    // needed. False with the reason: unreachable, refused login, newer or foreign layout.
    bool open(const std::string& connection);
    bool isOpen() const;
    void close();

    // The name stored with every test this connection sends ("" stores none).
    void setStation(std::string name);
    const std::string& station() const { return station_; }

    // One test in one transaction: `bytes` is the whole file whose SHA-256 is test.sha256.
    StoreResult store(const IndexedTest& test, std::string_view bytes);

    // Several tests in one transaction, each all or nothing: should the server refuse one
    // of them, each goes again in a transaction of its own, so only the refused one waits.
    // A result per test, in the batch's order; reason() tells the first failure.
    struct TestToStore {
        const IndexedTest* test = nullptr;
        std::string_view bytes;
    };
    std::vector<StoreResult> storeBatch(const std::vector<TestToStore>& batch);

    // The subjects go into the lab's register: a new id is added, a known one takes the
    // name and fields given (the latest edit of a station wins). Sending the same again
    // changes nothing. One transaction for all.
    bool storeSubjects(const std::vector<ArchivedSubject>& subjects);

    // The subjects whose name, folded as the register folds it, is the folded `name`:
    // what a station looks up before it gives a new name an id of its own. Oldest name first.
    bool findSubjects(const std::string& name, std::vector<ArchivedSubject>& found);

    // Tests already on the server learn their subject's id (sha256, subject id, subject's
    // name): only a test that has none yet is changed, so a second run changes nothing.
    // `attached` counts the tests that took an id.
    struct LearnedId {
        std::string sha256, subjectId, subjectName;
    };
    bool attachSubjectIds(const std::vector<LearnedId>& learned, int* attached = nullptr);

    // Tests already on the server and the sides setting this station keeps for each: one
    // corrected by hand (`corrected`) replaces the server's flag; another is only compared.
    // `differing` counts the tests whose flag on the server is not this station's (and
    // stays so), `replaced` the flags changed.
    struct SidesOf {
        std::string sha256;
        std::optional<bool> sidesSwapped;
        bool corrected = false;
    };
    bool settleSides(const std::vector<SidesOf>& tests, int& differing, int& replaced);

    // Takes tests out of histories, profiles, lists and the view, keeping them with who
    // (this connection's role), when and why; `restore` brings one back. A role without
    // UPDATE on the withdrawal's columns (a station's) is refused. `changed` counts the
    // tests that changed; a SHA-256 the server does not hold is named in `unknown`.
    bool withdraw(const std::vector<std::string>& sha256s, const std::string& reason, int& changed,
                  std::vector<std::string>& unknown);
    bool restore(const std::string& sha256, int& changed);

    // The lab's subjects with how many tests each has (a merged id's tests counted with the
    // subject it went into; merged ids are not listed), by folded name.
    struct SubjectCount {
        std::string id, name;
        long long tests = 0;
        std::vector<std::string> mergedIds;  // the ids merged into this one, in order
    };
    bool listSubjects(std::vector<SubjectCount>& subjects);

    // Whether the lab's register holds a subject of this id (merged away or not).
    bool hasSubject(const std::string& id, bool& held);

    // Two ids that are one person: `gone` (and whatever was merged into it) points to
    // `keep` from now on, so the history and profile of either are both ids' tests.
    bool mergeSubjects(const std::string& keep, const std::string& gone);

    // The tests matching `query`, oldest testTime first, with their repetitions.
    bool list(const TestQuery& query, std::vector<IndexedTest>& tests);

    // One subject's tests with their repetitions (rows only, never the files' bytes),
    // oldest first, for the history and the profile: by the subject's id (with the ids
    // merged with it), or where the
    // id is "" by the name folded as the register folds it; from <= testTime < to where set.
    bool subjectTests(const std::string& subjectId, const std::string& name, std::optional<int64_t> from,
                      std::optional<int64_t> to, std::vector<IndexedTest>& tests);

    // One subject's history as the station shows it, in one statement: with an id, the
    // tests of that id (and the ids merged with it) and, after them, those stored under
    // exactly `name` before anyone knew whose they were; without one, the tests stored under
    // exactly `name`. Each part oldest first (then by SHA-256), as subjectTests gives them.
    bool subjectHistory(const std::string& subjectId, const std::string& name, std::vector<IndexedTest>& tests);

    // The subjects of the tests whose name folds to `text`'s (folded as the register folds
    // names), else of those whose name contains it: one (id or "", name as stored) per
    // pair, the one last tested last. Names and ids only, for choosing whom a text means
    // before her rows are read.
    bool subjectsNamed(const std::string& text, std::vector<std::pair<std::string, std::string>>& idsAndNames);

    // The file's bytes; false with the reason "No test ..." when the server does not hold it.
    bool fetch(const std::string& sha256, std::string& bytes);

    // Why the last call failed: its kind, and the reason in the station's words.
    ServerError lastError() const { return error_; }
    const std::string& lastMessage() const { return reason_; }
    const std::string& reason() const { return reason_; }

    // How long one call may wait for the server's answer before the station gives the
    // connection up (the server's own statement timeout is set a little shorter, so a
    // server that is there but stuck says so itself). Tests shorten it.
    void setAnswerLimit(std::chrono::milliseconds limit) { answerLimit_ = limit; }

private:
    struct Connection;
    class Watched;
    struct Call;  // one call's transaction and the watch over its answer (server_internal.h)
    // The words a failed call ends with: `failed` begins the reason, followed by the
    // server's own; `denied` replaces it when the role may not (the connection is then
    // dropped: everything else would be refused alike); `unchecked` when a check of the
    // tables refuses what was sent.
    struct CallWords {
        std::string failed, denied, unchecked;
    };
    // Every call to the server goes through here: the open check, the watch over the
    // answer, one transaction (committed when `body` returns true), and each way it can
    // fail put in the station's words. A body that returns false has said why (fail()).
    bool call(const CallWords& words, const std::function<bool(Call&)>& body);
    bool call(const char* failed, const std::function<bool(Call&)>& body) { return call(CallWords{failed, {}, {}}, body); }
    bool brokenBySilence();
    bool fail(const std::string& why) { return fail(ServerError::Refused, why); }
    bool fail(ServerError error, const std::string& why);
    bool ensureSchema();
    bool storeTogether(const std::vector<TestToStore>& batch, std::vector<StoreResult>& results);

    std::unique_ptr<Connection> db_;
    std::chrono::milliseconds answerLimit_ = kAnswerLimit;
    std::string station_;
    bool prepared_ = false;
    std::vector<std::string> secrets_;  // the password as written and as meant, kept only to blank it out
    std::string reason_;
    ServerError error_ = ServerError::None;
};

}  // namespace vanta::archive
