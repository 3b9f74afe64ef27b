#include "archive/local_index.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "storage/sqlite_statement.h"
#include "storage/name_folding.h"

namespace vanta::archive {

namespace fs = std::filesystem;
using sqlite::readPragma;
using sqlite::Statement;
using sqlite::Transaction;

namespace {

// The result columns of a repetition row, in the order of RepetitionResults: row by row
// (peaks, then means; whole stroke, acceleration, deceleration), column by column.
std::string resultColumnNames(const char* separator, const char* prefix, const char* suffix) {
    static const char* rows[kResultRowCount] = {"peak",      "peak_acc", "peak_dec",
                                                 "mean",      "mean_acc", "mean_dec"};
    static const char* cols[kResultColumnCount] = {"force", "power", "velocity", "position", "torque"};
    std::string out;
    for (int r = 0; r < kResultRowCount; ++r)
        for (int c = 0; c < kResultColumnCount; ++c) {
            if (!out.empty()) out += separator;
            out += std::string(prefix) + rows[r] + "_" + cols[c] + suffix;
        }
    return out;
}

std::string schemaV1() {
    return "CREATE TABLE test ("
           "  id INTEGER PRIMARY KEY,"
           "  sha256 TEXT NOT NULL UNIQUE,"
           "  subject TEXT NOT NULL,"
           "  subject_key TEXT NOT NULL,"  // the name folded as the register folds it
           "  subject_id TEXT NOT NULL DEFAULT '',"
           "  test_time INTEGER NOT NULL,"
           "  repetition_count INTEGER NOT NULL);"
           "CREATE INDEX test_by_time ON test (test_time);"
           "CREATE INDEX test_by_subject_id ON test (subject_id);"
           "CREATE TABLE file ("
           "  path TEXT PRIMARY KEY,"
           "  test_id INTEGER NOT NULL REFERENCES test (id),"
           "  size INTEGER NOT NULL,"
           "  modified INTEGER NOT NULL) WITHOUT ROWID;"
           "CREATE INDEX file_by_test ON file (test_id);"
           "CREATE TABLE repetition ("
           "  test_id INTEGER NOT NULL REFERENCES test (id),"
           "  number INTEGER NOT NULL,"
           "  direction INTEGER NOT NULL,"
           "  load REAL NOT NULL,"
           "  radius REAL NOT NULL,"
           "  sample_count INTEGER NOT NULL,"
           "  velocity_peak_index INTEGER NOT NULL," +
           resultColumnNames(",", "", " REAL NOT NULL") +
           ", PRIMARY KEY (test_id, number)) WITHOUT ROWID;"
           // Sent tests keep their row (sent = 1): a test already on the shared archive is
           // never queued again, wherever its file turns up.
           "CREATE TABLE outbox ("
           "  id INTEGER PRIMARY KEY,"
           "  sha256 TEXT NOT NULL UNIQUE,"
           "  sent INTEGER NOT NULL DEFAULT 0);"
           "CREATE INDEX outbox_waiting ON outbox (sent, id);";
}

int64_t modifiedNanoseconds(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

namespace {

std::string readOnlyFolderMessage(const std::string& root, const std::string&, bool) {
    return "The test index in " + root + " cannot be written: the folder is read-only.";
}

// The index can be built again from the files, so a commit need not wait for the disk
// (NORMAL keeps the file consistent across a crash; at worst the last tests are indexed
// again).
const sqlite::StoreKind kIndexKind{"test index",
                                   LocalIndex::kFileName,
                                   LocalIndex::kApplicationId,
                                   LocalIndex::kSchemaVersion,
                                   "NORMAL",
                                   "",
                                   " The index can be deleted and built again from the test files.",
                                   " The index can be deleted and built again from the test files",
                                   readOnlyFolderMessage};

}  // namespace

LocalIndex::LocalIndex() : db_(kIndexKind) {}
LocalIndex::~LocalIndex() { close(); }
LocalIndex::LocalIndex(LocalIndex&&) noexcept = default;
LocalIndex& LocalIndex::operator=(LocalIndex&&) noexcept = default;

bool LocalIndex::isOpen() const { return db_.isOpen(); }
void LocalIndex::close() {
    statements_.reset();
    db_.close();
}
std::string LocalIndex::indexPath() const { return db_.path(); }

void LocalIndex::foldLogRarely() {
    // SQLite folds its log into the index every 1000 pages (4 MB) and each time waits for
    // the disk twice; a thousand files write about 3000 pages. Every 8192 pages (32 MB)
    // such a run folds it only when the index closes, and a lab's whole archive still
    // never leaves a log of more than 32 MB. A crash meanwhile loses at most index rows
    // (NORMAL), which the files give again; the files themselves are only read.
    if (isOpen()) sqlite3_exec(handle(), "PRAGMA wal_autocheckpoint=8192", nullptr, nullptr, nullptr);
}

void LocalIndex::setBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds;
    db_.setBusyTimeout(milliseconds);
}

bool LocalIndex::fail(IndexError error, std::string message) { return db_.fail(error, std::move(message)); }
bool LocalIndex::succeed() { return db_.succeed(); }
bool LocalIndex::failFromSqlite(const std::string& what) { return db_.failFromSqlite(what); }

bool LocalIndex::open(const std::string& dataRoot, Access access) {
    close();
    sqlite::OpenOptions options;
    options.access = access;
    options.busyTimeoutMs = busyTimeoutMs_;
    // Garbage in the index's pages is found before a run trusts its rows ("unchanged").
    options.checkWhole = true;
    if (!db_.open(dataRoot, options, [this](int layout) { return upgradeStep(layout); })) return false;
    statements_ = std::make_unique<sqlite::StatementCache>(handle());
    return true;
}

int LocalIndex::upgradeStep(int layout) {
    if (layout == 0) {
        if (sqlite3_exec(handle(), schemaV1().c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot create the test index " + indexPath()), 0;
        return 1;
    }
    fail(IndexError::Failed, "The test index " + indexPath() + " has the unknown layout " + std::to_string(layout) + ".");
    return 0;
}

bool LocalIndex::isUnchanged(const std::string& path, int64_t size, int64_t modified) {
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    Statement st(*statements_, "SELECT 1 FROM file WHERE path = ?1 AND size = ?2 AND modified = ?3");
    if (!st.prepared()) return failFromSqlite("Cannot read the test index");
    st.bind(1, path);
    st.bind(2, size);
    st.bind(3, modified);
    const int rc = st.step();
    if (rc == SQLITE_ROW) return succeed();
    if (rc == SQLITE_DONE) {
        succeed();
        return false;
    }
    return failFromSqlite("Cannot read the test index");
}

bool LocalIndex::indexFile(const std::string& path, IndexedTest* out, std::string_view subjectId, bool* skipped) {
    if (skipped) *skipped = false;
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    struct stat st {};
    bool unchanged = false;
    if (::stat(path.c_str(), &st) == 0) {
        unchanged = isUnchanged(path, st.st_size, modifiedNanoseconds(st));
        if (!unchanged && lastError() != IndexError::None) return false;  // the index could not be read
    }
    if (unchanged) {
        if (skipped) *skipped = true;
        // A caller that now knows the subject gives the stored test its id.
        if (!subjectId.empty()) {
            Statement set(handle(),
                          "UPDATE test SET subject_id = ?1 WHERE id = (SELECT test_id FROM file WHERE path = ?2)");
            if (!set.prepared()) return failFromSqlite("Cannot write the test index");
            set.bind(1, subjectId);
            set.bind(2, path);
            if (set.step() != SQLITE_DONE) return failFromSqlite("Cannot write the test index");
        }
        return out ? testAt(path, *out) : succeed();
    }
    IndexedTest test;
    std::string message;
    if (!readIndexedTest(path, test, &message))
        return fail(IndexError::UnreadableFile, path + ": " + message);
    test.subjectId = std::string(subjectId);
    if (!store({test})) return false;
    return out ? testAt(path, *out) : succeed();
}

bool LocalIndex::store(const std::vector<IndexedTest>& tests) {
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    Transaction t(handle());
    if (!t.begun()) return failFromSqlite("Cannot write the test index");
    for (const IndexedTest& test : tests)
        if (!storeOne(test)) return false;
    if (!t.commit()) return failFromSqlite("Cannot write the test index");
    return succeed();
}

bool LocalIndex::storeOne(const IndexedTest& test) {
    sqlite3* db = handle();
    const std::string what = "Cannot write " + test.path + " into the test index";
    int64_t previousTest = 0;
    {
        Statement st(*statements_, "SELECT test_id FROM file WHERE path = ?1");
        if (!st.prepared()) return failFromSqlite(what);
        st.bind(1, test.path);
        const int rc = st.step();
        if (rc == SQLITE_ROW) previousTest = st.integer(0);
        else if (rc != SQLITE_DONE) return failFromSqlite(what);
    }
    int64_t testId = 0;
    {
        Statement st(*statements_, "SELECT id FROM test WHERE sha256 = ?1");
        if (!st.prepared()) return failFromSqlite(what);
        st.bind(1, test.sha256);
        const int rc = st.step();
        if (rc == SQLITE_ROW) testId = st.integer(0);
        else if (rc != SQLITE_DONE) return failFromSqlite(what);
    }
    if (testId == 0) {
        Statement ins(*statements_,
                      "INSERT INTO test (sha256, subject, subject_key, subject_id, test_time, repetition_count)"
                      " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        if (!ins.prepared()) return failFromSqlite(what);
        ins.bind(1, test.sha256);
        ins.bind(2, test.subject);
        ins.bind(3, foldedName(test.subject));
        ins.bind(4, test.subjectId);
        ins.bind(5, test.testTime);
        ins.bind(6, static_cast<int64_t>(test.repetitions.size()));
        if (ins.step() != SQLITE_DONE) return failFromSqlite(what);
        testId = sqlite3_last_insert_rowid(db);

        static const std::string repSql = "INSERT INTO repetition (test_id, number, direction, load, radius, sample_count,"
                                   " velocity_peak_index, " + resultColumnNames(", ", "", "") + ") VALUES (?1" +
                                   [] {
                                       std::string marks;
                                       for (int i = 2; i <= 7 + kResultRowCount * kResultColumnCount; ++i)
                                           marks += ", ?" + std::to_string(i);
                                       return marks;
                                   }() + ")";
        Statement rep(*statements_, repSql);
        if (!rep.prepared()) return failFromSqlite(what);
        for (const IndexedRepetition& r : test.repetitions) {
            rep.reset();
            rep.bind(1, testId);
            rep.bind(2, int64_t{r.number});
            rep.bind(3, int64_t{r.direction});
            rep.bind(4, r.load);
            rep.bind(5, r.radius);
            rep.bind(6, int64_t{r.sampleCount});
            rep.bind(7, int64_t{r.velocityPeakIndex});
            int k = 8;
            for (int row = 0; row < kResultRowCount; ++row)
                for (int c = 0; c < kResultColumnCount; ++c) rep.bind(k++, double{r.results[row][c]});
            if (rep.step() != SQLITE_DONE) return failFromSqlite(what);
        }
        // A test new to the index waits for the shared archive, unless it was sent before.
        Statement queue(*statements_, "INSERT OR IGNORE INTO outbox (sha256) VALUES (?1)");
        if (!queue.prepared()) return failFromSqlite(what);
        queue.bind(1, test.sha256);
        if (queue.step() != SQLITE_DONE) return failFromSqlite(what);
    } else if (!test.subjectId.empty()) {
        Statement set(*statements_, "UPDATE test SET subject_id = ?1 WHERE id = ?2");
        if (!set.prepared()) return failFromSqlite(what);
        set.bind(1, test.subjectId);
        set.bind(2, testId);
        if (set.step() != SQLITE_DONE) return failFromSqlite(what);
    }
    {
        Statement st(*statements_, "INSERT OR REPLACE INTO file (path, test_id, size, modified) VALUES (?1, ?2, ?3, ?4)");
        if (!st.prepared()) return failFromSqlite(what);
        st.bind(1, test.path);
        st.bind(2, testId);
        st.bind(3, test.size);
        st.bind(4, test.modified);
        if (st.step() != SQLITE_DONE) return failFromSqlite(what);
    }
    if (previousTest != 0 && previousTest != testId) {
        // The file now holds another test. The one it held before leaves the index when no
        // other file holds it: its rows could no longer be worked out again, and its bytes
        // could no longer be sent (a test already sent keeps its outbox mark).
        Statement orphan(*statements_, "SELECT sha256 FROM test WHERE id = ?1 AND NOT EXISTS"
                             " (SELECT 1 FROM file WHERE test_id = ?1)");
        if (!orphan.prepared()) return failFromSqlite(what);
        orphan.bind(1, previousTest);
        const int rc = orphan.step();
        if (rc == SQLITE_ROW) {
            const std::string oldSha = orphan.text(0);
            for (const char* sql : {"DELETE FROM repetition WHERE test_id = ?1", "DELETE FROM test WHERE id = ?1"}) {
                Statement del(*statements_, sql);
                if (!del.prepared()) return failFromSqlite(what);
                del.bind(1, previousTest);
                if (del.step() != SQLITE_DONE) return failFromSqlite(what);
            }
            Statement unqueue(*statements_, "DELETE FROM outbox WHERE sha256 = ?1 AND sent = 0");
            if (!unqueue.prepared()) return failFromSqlite(what);
            unqueue.bind(1, oldSha);
            if (unqueue.step() != SQLITE_DONE) return failFromSqlite(what);
        } else if (rc != SQLITE_DONE) {
            return failFromSqlite(what);
        }
    }
    return true;
}

namespace {

// The tests of `from` matching `where`, in `order`, each joined with its repetitions:
// one statement however many tests come back.
std::string testSelect(const std::string& from, const std::string& where, const std::string& order) {
    return "SELECT t.id, t.sha256, t.subject, t.subject_id, t.test_time, f.path, f.size, f.modified,"
           " r.number, r.direction, r.load, r.radius, r.sample_count, r.velocity_peak_index, " +
           resultColumnNames(", ", "r.", "") + " FROM " + from +
           " LEFT JOIN repetition r ON r.test_id = t.id WHERE " + where + " ORDER BY " + order + ", r.number";
}

// A listed test comes with the first of its paths.
constexpr const char* kTestWithFile = "test t JOIN file f ON f.path = (SELECT min(path) FROM file WHERE test_id = t.id)";

// Steps through testSelect's rows into `out`; the last step's result code.
int readTests(Statement& st, std::vector<IndexedTest>& out) {
    int64_t current = -1;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        const int64_t id = st.integer(0);
        if (id != current) {
            current = id;
            IndexedTest t;
            t.sha256 = st.text(1);
            t.subject = st.text(2);
            t.subjectId = st.text(3);
            t.testTime = st.integer(4);
            t.path = st.text(5);
            t.size = st.integer(6);
            t.modified = st.integer(7);
            out.push_back(std::move(t));
        }
        if (st.isNull(8)) continue;  // a test without repetitions
        IndexedRepetition r;
        r.number = static_cast<int32_t>(st.integer(8));
        r.direction = static_cast<int32_t>(st.integer(9));
        r.load = st.real(10);
        r.radius = st.real(11);
        r.sampleCount = static_cast<int32_t>(st.integer(12));
        r.velocityPeakIndex = static_cast<int32_t>(st.integer(13));
        int k = 14;
        for (int row = 0; row < kResultRowCount; ++row)
            for (int c = 0; c < kResultColumnCount; ++c) r.results[row][c] = static_cast<float>(st.real(k++));
        out.back().repetitions.push_back(r);
    }
    return rc;
}

}  // namespace

bool LocalIndex::listTests(const TestQuery& query, std::vector<IndexedTest>& out) {
    out.clear();
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    std::string where = "1";
    if (query.subject) where += " AND instr(t.subject_key, ?1) > 0";
    if (query.subjectId) where += " AND t.subject_id = ?2";
    if (query.from) where += " AND t.test_time >= ?3";
    if (query.to) where += " AND t.test_time < ?4";
    Statement st(handle(), testSelect(kTestWithFile, where, "t.test_time, f.path"));
    if (!st.prepared()) return failFromSqlite("Cannot read the test index");
    if (query.subject) st.bind(1, foldedName(*query.subject));
    if (query.subjectId) st.bind(2, *query.subjectId);
    if (query.from) st.bind(3, *query.from);
    if (query.to) st.bind(4, *query.to);
    if (readTests(st, out) != SQLITE_DONE) {
        out.clear();
        return failFromSqlite("Cannot read the test index");
    }
    return succeed();
}

bool LocalIndex::testAt(const std::string& path, IndexedTest& out) {
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    Statement st(handle(), testSelect("file f JOIN test t ON t.id = f.test_id", "f.path = ?1", "t.id"));
    if (!st.prepared()) return failFromSqlite("Cannot read the test index");
    st.bind(1, path);
    std::vector<IndexedTest> found;
    if (readTests(st, found) != SQLITE_DONE) return failFromSqlite("Cannot read the test index");
    if (found.empty()) return fail(IndexError::NotFound, path + " is not in the test index.");
    out = std::move(found.front());
    return succeed();
}

bool LocalIndex::pendingUploads(std::vector<PendingUpload>& out, size_t limit) {
    out.clear();
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    std::string waiting = "SELECT id FROM outbox WHERE sent = 0 ORDER BY id";
    if (limit > 0) waiting += " LIMIT " + std::to_string(limit);
    Statement st(handle(), testSelect("outbox o JOIN test t ON t.sha256 = o.sha256 JOIN file f ON f.path ="
                                       " (SELECT min(path) FROM file WHERE test_id = t.id)",
                                       "o.id IN (" + waiting + ")", "o.id"));
    if (!st.prepared()) return failFromSqlite("Cannot read the outbox of the test index");
    std::vector<IndexedTest> tests;
    if (readTests(st, tests) != SQLITE_DONE) return failFromSqlite("Cannot read the outbox of the test index");
    for (IndexedTest& t : tests) {
        PendingUpload p;
        p.sha256 = t.sha256;
        p.path = t.path;
        p.test = std::move(t);
        out.push_back(std::move(p));
    }
    return succeed();
}

bool LocalIndex::pendingCount(int64_t& count) {
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    if (!readPragma(handle(), "SELECT count(*) FROM outbox WHERE sent = 0", count))
        return failFromSqlite("Cannot read the outbox of the test index");
    return succeed();
}

bool LocalIndex::markUploaded(const std::string& sha256) {
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    // Also a test the outbox does not hold (sent by another station's copy of the file) is
    // marked, so indexing it later does not queue it.
    Statement st(handle(), "INSERT INTO outbox (sha256, sent) VALUES (?1, 1) ON CONFLICT (sha256) DO UPDATE SET sent = 1");
    if (!st.prepared()) return failFromSqlite("Cannot write the outbox of the test index");
    st.bind(1, sha256);
    if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot write the outbox of the test index");
    return succeed();
}

}  // namespace vanta::archive
