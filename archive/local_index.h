// The station's own index of its tests: one SQLite file below the data root
// (DATA/archive.sqlite), beside the subject register but never inside it, so a damaged
// index costs a re-index of the files and never a subject.
//
// What it keeps:
//   - per file (by path): its SHA-256, size and modification time, so an unchanged file
//     is not read again;
//   - per test (by SHA-256): the subject's name, the register subject's UUID where known,
//     the test time, and one row per repetition with its 30 results. A file copied to a
//     second folder is the same test: it has two file rows and one test.
//   - the outbox: every test new to this index waits there until it is on the lab's
//     shared archive (markUploaded). With no shared archive it simply waits.
//
// Every row can be worked out again from the file it names; deleting the index file and
// indexing the folders again gives the same answers (only the outbox starts over).
//
// One LocalIndex is one connection: use it from one thread at a time (a worker thread
// keeps its own). Several connections, also from two stations on one computer, may have
// the file open together (WAL; a writer waits up to the busy timeout).
//
// Nothing here shows a dialog; every operation answers true or false, and after false
// lastError() and lastMessage() say why.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_types.h"
#include "archive/indexed_test.h"
#include "storage/sqlite_database.h"

namespace vanta::sqlite {
class StatementCache;
}

namespace vanta::archive {

using sqlite::Access;

// The index's errors are those of every store of the station (storage/sqlite_database.h):
// a database that is not this station's index is Foreign, a damaged one NotADatabase.
using IndexError = StoreError;

// One test waiting to go to the shared archive. `path` is where its file was last seen;
// the file may have changed since, so whoever sends it checks the bytes against sha256.
struct PendingUpload {
    std::string sha256;
    std::string path;
    IndexedTest test;  // with its repetitions
};

// Why the index does not take this test ("" when it does): a NUL character in its path or
// subject's name, which the lab's server could not keep whole. The message names the file.
std::string nulRefusal(const IndexedTest& test);

class LocalIndex {
public:
    // Layout version, kept in the file's user_version: a lower one is upgraded in one
    // transaction, a higher one refused (NewerVersion) and left as it is.
    static constexpr int kSchemaVersion = 4;
    // Marks the file as a test index (SQLite application_id): "VNTA".
    static constexpr int32_t kApplicationId = 0x564E5441;
    static constexpr const char* kFileName = "archive.sqlite";
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    LocalIndex();
    ~LocalIndex();
    LocalIndex(LocalIndex&&) noexcept;
    LocalIndex& operator=(LocalIndex&&) noexcept;
    LocalIndex(const LocalIndex&) = delete;
    LocalIndex& operator=(const LocalIndex&) = delete;

    // Opens <dataRoot>/archive.sqlite in WAL mode, creating the data root and the index
    // when they are missing. A file that is not an index (or a newer one), or a damaged
    // one, is refused and left as it is. Access::ReadOnly (list, history) creates nothing,
    // writes nothing and reads an index in a folder this user cannot write.
    bool open(const std::string& dataRoot, Access access = Access::ReadWrite);
    void close();
    bool isOpen() const;
    const std::string& dataRoot() const { return db_.dataRoot(); }
    std::string indexPath() const;
    void setBusyTimeout(int milliseconds);
    // For a bulk index (the index command): the log is folded into the index every 32 MB
    // rather than every 4 MB, so a thousand files fold it once, when the index closes.
    void foldLogRarely();

    // True when the index holds `path` with exactly this size and modification time
    // (nanoseconds since 1970): the file need not be read again.
    bool isUnchanged(const std::string& path, int64_t size, int64_t modified);

    // Indexes one file: reads it (readIndexedTest) unless its path, size and modification
    // time are unchanged, stores its rows and queues a test new to the index in the
    // outbox. `subjectId` is the register subject's UUID when the caller knows it (empty:
    // unknown; a UUID stored earlier for the same test is kept). `out` gets the test as
    // the index now holds it; *skipped says whether the file was left unread. A file that
    // does not read is UnreadableFile and changes nothing.
    bool indexFile(const std::string& path, IndexedTest* out = nullptr, std::string_view subjectId = {},
                   bool* skipped = nullptr);

    // Stores tests read elsewhere (the index command reads on every core and stores here),
    // all in one transaction: each path now names that test; a test no file names any
    // more leaves the index (and the outbox, which could no longer send its bytes). A test
    // with a value the index cannot hold (a result that is not a number) is left out and
    // named in *refused with the reason; the others are stored all the same.
    bool store(const std::vector<IndexedTest>& tests, std::vector<std::string>* refused = nullptr);

    // Forgets these paths; a test no file holds any more leaves the index and, unless it
    // was sent, the outbox.
    bool forgetFiles(const std::vector<std::string>& paths);
    // Forgets every indexed file below `folder` (an absolute path) that is no longer there;
    // *forgotten gets how many.
    // `paths` gets them.
    bool forgetGoneBelow(const std::string& folder, int64_t* forgotten = nullptr,
                         std::vector<std::string>* paths = nullptr);
    // Every indexed path of the test with this SHA-256, in order.
    bool pathsOf(const std::string& sha256, std::vector<std::string>& out);

    // The tests matching every field set in the query, oldest first (then by path), each
    // once with one of its paths, with their repetitions in order.
    bool listTests(const TestQuery& query, std::vector<IndexedTest>& out);
    // The test a path names, with its repetitions (NotFound when the path is not indexed).
    bool testAt(const std::string& path, IndexedTest& out);

    // The outbox, oldest first; `limit` 0 gives all.
    bool pendingUploads(std::vector<PendingUpload>& out, size_t limit = 0);
    bool pendingCount(int64_t& count);
    // The outbox as pendingUploads gives it, each test with a path its file is still found
    // at. A test none of whose files is there any more (deleted, moved away) can never be
    // sent: it leaves the index and the outbox here and `dropped` names it, once, so that
    // the others are sent and later runs say nothing more of it.
    bool sendableUploads(std::vector<PendingUpload>& out, std::vector<std::string>& dropped);
    // Sets the sides setting kept with the tests these (indexed) paths name, for tests
    // indexed with the wrong one; each changed test is queued for the lab's archive again,
    // marked so that the archive takes this setting over its own. *changed counts them.
    bool correctSides(const std::vector<std::string>& paths, bool sidesSwapped, int64_t* changed = nullptr);

    // The test is on the shared archive: it leaves the outbox and is never queued again.
    bool markUploaded(const std::string& sha256);

    IndexError lastError() const { return db_.lastError(); }
    const std::string& lastMessage() const { return db_.lastMessage(); }

private:
    bool fail(IndexError error, std::string message);
    bool failFromSqlite(const std::string& what);
    bool succeed();
    // Takes the index from `layout` to the next one inside the opening transaction: the
    // layout it made, 0 after failing.
    int upgradeStep(int layout);
    // One test inside store()'s transaction; false with SQLite's error left to read.
    bool storeOne(const IndexedTest& test);
    bool insertTest(const IndexedTest& test, int64_t& testId);
    bool dropIfNoFile(int64_t testId);
    // Whether the index has the table of the names' pieces (layout 3 with FTS5).
    bool hasPartIndex();
    sqlite3* handle() const { return db_.handle(); }

    sqlite::Database db_;
    std::unique_ptr<sqlite::StatementCache> statements_;  // of db_, finalized before it closes
    int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
};

}  // namespace vanta::archive
