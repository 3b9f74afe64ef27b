#include "archive/local_index.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

namespace {

// Whether the index in `dataRoot` has a layout older than this station's (read without
// opening it for SQLite's own use: only its header's user_version).
bool olderLayout(const std::string& dataRoot) {
    sqlite3* db = nullptr;
    const std::string file = dataRoot + "/" + LocalIndex::kFileName;
    bool older = false;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) {
            const int layout = sqlite3_column_int(st, 0);
            older = layout > 0 && layout < LocalIndex::kSchemaVersion;
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return older;
}

}  // namespace

bool LocalIndex::open(const std::string& dataRoot, Access access) {
    close();
    sqlite::OpenOptions options;
    options.access = access;
    options.busyTimeoutMs = busyTimeoutMs_;
    // Garbage in the index's pages is found before a run trusts its rows ("unchanged").
    options.checkWhole = true;
    if (!db_.open(dataRoot, options, [this](int layout) { return upgradeStep(layout); })) {
        // An index of an earlier station is brought up to date before it is read, wherever
        // the folder can be written (list, history and the subjects' counts read it so):
        // once, by opening it for writing, then read as asked.
        if (access != Access::ReadOnly || lastError() != IndexError::ReadOnly || !olderLayout(dataRoot)) return false;
        const std::string refusal = lastMessage();
        std::string root = dataRoot;
        while (root.size() > 1 && root.back() == '/') root.pop_back();
        if (::access(root.c_str(), W_OK) != 0) return false;
        if (!open(dataRoot, Access::ReadWrite)) {
            fail(IndexError::ReadOnly, refusal + " (" + lastMessage() + ")");
            return false;
        }
        close();
        return open(dataRoot, Access::ReadOnly);
    }
    statements_ = std::make_unique<sqlite::StatementCache>(handle());
    return true;
}

int LocalIndex::upgradeStep(int layout) {
    if (layout == 0) {
        if (sqlite3_exec(handle(), schemaV1().c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot create the test index " + indexPath()), 0;
        return 1;
    }
    if (layout == 1) {
        // Which side a direction was for the station that indexed the test, and the subject's
        // body as the file holds it; NULL for the tests indexed before, until read again.
        if (sqlite3_exec(handle(),
                         "ALTER TABLE test ADD COLUMN sides_swapped INTEGER;"
                         "ALTER TABLE test ADD COLUMN weight INTEGER;"
                         "ALTER TABLE test ADD COLUMN sex INTEGER;"
                         "ALTER TABLE test ADD COLUMN height INTEGER;",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot upgrade the test index " + indexPath()), 0;
        return 2;
    }
    if (layout == 2) {
        // The outbox marks a test whose sides setting was corrected by hand (archive sides):
        // it goes to the lab's archive again, whose flag it then replaces.
        // Each test keeps its station's clock (offset from UTC at the test time, zone name).
        if (sqlite3_exec(handle(),
                         "ALTER TABLE outbox ADD COLUMN sides_corrected INTEGER NOT NULL DEFAULT 0;"
                         "ALTER TABLE test ADD COLUMN utc_offset INTEGER;"
                         "ALTER TABLE test ADD COLUMN time_zone TEXT NOT NULL DEFAULT '';",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot upgrade the test index " + indexPath()), 0;
        return 3;
    }
    if (layout == 3) {
        // A part of a name is looked up among the folded names' three-letter pieces (an
        // FTS5 table of the test table's subject_key, kept by triggers) rather than in
        // every test. A SQLite without FTS5's trigram tokenizer takes the layout without
        // it and answers the same, by reading every test.
        const char* pieces =
            "CREATE VIRTUAL TABLE test_subject_part USING fts5(subject_key, content='test', content_rowid='id',"
            "  tokenize='trigram case_sensitive 1')";
        if (sqlite3_exec(handle(), pieces, nullptr, nullptr, nullptr) != SQLITE_OK) return 4;
        if (sqlite3_exec(handle(),
                         "INSERT INTO test_subject_part (test_subject_part) VALUES ('rebuild');"
                         "CREATE TRIGGER test_subject_part_add AFTER INSERT ON test BEGIN"
                         "  INSERT INTO test_subject_part (rowid, subject_key) VALUES (new.id, new.subject_key); END;"
                         "CREATE TRIGGER test_subject_part_drop AFTER DELETE ON test BEGIN"
                         "  INSERT INTO test_subject_part (test_subject_part, rowid, subject_key)"
                         "  VALUES ('delete', old.id, old.subject_key); END;"
                         "CREATE TRIGGER test_subject_part_change AFTER UPDATE OF subject_key ON test BEGIN"
                         "  INSERT INTO test_subject_part (test_subject_part, rowid, subject_key)"
                         "  VALUES ('delete', old.id, old.subject_key);"
                         "  INSERT INTO test_subject_part (rowid, subject_key) VALUES (new.id, new.subject_key); END;",
                         nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot upgrade the test index " + indexPath()), 0;
        return 4;
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
            // A test already sent goes out again when its id is new to it: the server then
            // finds it there and gives it the id. Queued before the id is set, so a station
            // stopped in between only sends it once more.
            Statement requeue(handle(),
                              "UPDATE outbox SET sent = 0 WHERE sha256 = (SELECT t.sha256 FROM test t JOIN file f"
                              " ON f.test_id = t.id WHERE f.path = ?2 AND t.subject_id <> ?1)");
            if (!requeue.prepared()) return failFromSqlite("Cannot write the test index");
            requeue.bind(1, subjectId);
            requeue.bind(2, path);
            if (requeue.step() != SQLITE_DONE) return failFromSqlite("Cannot write the test index");
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
    std::vector<std::string> refused;
    if (!store({test}, &refused)) return false;
    if (!refused.empty()) return fail(IndexError::Failed, refused.front());
    return out ? testAt(path, *out) : succeed();
}

namespace {

// Runs one of the kept statements to its end with these parameters (?1, ?2, ...).
template <typename... Values>
bool run(sqlite::StatementCache& cache, const std::string& sql, const Values&... values) {
    Statement st(cache, sql);
    if (!st.prepared()) return false;
    int i = 0;
    (st.bind(++i, values), ...);
    return st.step() == SQLITE_DONE;
}

// The first column of the first row of `sql` as an integer, 0 when there is no row; false
// when SQLite fails.
template <typename... Values>
bool readInteger(sqlite::StatementCache& cache, const std::string& sql, int64_t& out, const Values&... values) {
    out = 0;
    Statement st(cache, sql);
    if (!st.prepared()) return false;
    int i = 0;
    (st.bind(++i, values), ...);
    const int rc = st.step();
    if (rc == SQLITE_ROW) out = st.integer(0);
    return rc == SQLITE_ROW || rc == SQLITE_DONE;
}

// What SQLite refuses of one test's values (a number that is no number for a column that
// needs one): the test is left out, the run goes on.
bool refusesTheValues(int code) {
    switch (code & 0xff) {
        case SQLITE_CONSTRAINT:
        case SQLITE_MISMATCH:
        case SQLITE_TOOBIG:
        case SQLITE_RANGE:
            return true;
        default:
            return false;
    }
}

const std::string& repetitionInsert() {
    static const std::string sql = [] {
        std::string marks;
        for (int i = 2; i <= 7 + kResultRowCount * kResultColumnCount; ++i) marks += ", ?" + std::to_string(i);
        return "INSERT INTO repetition (test_id, number, direction, load, radius, sample_count, velocity_peak_index, " +
               resultColumnNames(", ", "", "") + ") VALUES (?1" + marks + ")";
    }();
    return sql;
}

}  // namespace

std::string nulRefusal(const IndexedTest& test) {
    const auto printable = [](std::string text) {
        for (char& ch : text)
            if (ch == '\0') ch = '?';
        return text;
    };
    if (test.path.find('\0') != std::string::npos)
        return printable(test.path) + ": the file's path holds a NUL character; the index does not take it.";
    if (test.subject.find('\0') != std::string::npos)
        return test.path + ": the subject's name \"" + printable(test.subject) +
               "\" holds a NUL character; the index does not take it.";
    return "";
}

bool LocalIndex::store(const std::vector<IndexedTest>& tests, std::vector<std::string>* refused) {
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    Transaction t(handle());
    if (!t.begun()) return failFromSqlite("Cannot write the test index");
    for (const IndexedTest& test : tests) {
        // A NUL inside a name or path would be kept whole here and cut short by the lab's
        // server: the test is refused rather than stored under two different names.
        if (const std::string why = nulRefusal(test); !why.empty()) {
            if (refused) refused->push_back(why);
            continue;
        }
        // Each test on its own savepoint: one the index cannot hold is taken back alone.
        if (sqlite3_exec(handle(), "SAVEPOINT one_test", nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot write the test index");
        if (!storeOne(test)) {
            const int code = sqlite3_extended_errcode(handle());
            const std::string message = lastMessage();
            if (sqlite3_exec(handle(), "ROLLBACK TO one_test", nullptr, nullptr, nullptr) != SQLITE_OK ||
                !refusesTheValues(code))
                return fail(lastError(), message);
            if (refused) refused->push_back(message);
        }
        if (sqlite3_exec(handle(), "RELEASE one_test", nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot write the test index");
    }
    if (!t.commit()) return failFromSqlite("Cannot write the test index");
    return succeed();
}

bool LocalIndex::storeOne(const IndexedTest& test) {
    sqlite::StatementCache& cache = *statements_;
    int64_t previousTest = 0, testId = 0;
    bool ok = readInteger(cache, "SELECT test_id FROM file WHERE path = ?1", previousTest, test.path) &&
              readInteger(cache, "SELECT id FROM test WHERE sha256 = ?1", testId, test.sha256);
    if (ok && testId == 0) ok = insertTest(test, testId);
    else if (ok && !test.subjectId.empty())
        // A sent test whose id is new to it goes out again, so the server learns the id.
        ok = run(cache,
                 "UPDATE outbox SET sent = 0 WHERE sha256 = (SELECT sha256 FROM test WHERE id = ?2"
                 " AND subject_id <> ?1)",
                 test.subjectId, testId) &&
             run(cache, "UPDATE test SET subject_id = ?1 WHERE id = ?2", test.subjectId, testId);
    ok = ok && run(cache, "INSERT OR REPLACE INTO file (path, test_id, size, modified) VALUES (?1, ?2, ?3, ?4)",
                   test.path, testId, test.size, test.modified);
    // The file now holds another test: the one it held before may have no file left.
    ok = ok && (previousTest == 0 || previousTest == testId || dropIfNoFile(previousTest));
    return ok || failFromSqlite("Cannot write " + test.path + " into the test index");
}

bool LocalIndex::insertTest(const IndexedTest& test, int64_t& testId) {
    sqlite::StatementCache& cache = *statements_;
    if (!run(cache,
             "INSERT INTO test (sha256, subject, subject_key, subject_id, test_time, repetition_count,"
             " sides_swapped, weight, sex, height, utc_offset, time_zone)"
             " VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)",
             test.sha256, test.subject, foldedName(test.subject), test.subjectId, test.testTime,
             static_cast<int64_t>(test.repetitions.size()),
             test.sidesSwapped, test.weight, test.sex, test.height, test.utcOffset, test.timeZone))
        return false;
    testId = sqlite3_last_insert_rowid(handle());
    Statement rep(cache, repetitionInsert());
    if (!rep.prepared()) return false;
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
        if (rep.step() != SQLITE_DONE) return false;
    }
    // A test new to the index waits for the shared archive, unless it was sent before.
    return run(cache, "INSERT OR IGNORE INTO outbox (sha256) VALUES (?1)", test.sha256);
}

bool LocalIndex::dropIfNoFile(int64_t testId) {
    // A test no file holds leaves the index: its rows could no longer be worked out again,
    // and its bytes could no longer be sent (a test already sent keeps its outbox mark, so
    // it is never queued again). The outbox row goes first, while the test row names it.
    sqlite::StatementCache& cache = *statements_;
    return run(cache,
               "DELETE FROM outbox WHERE sent = 0 AND sha256 = (SELECT sha256 FROM test WHERE id = ?1"
               " AND NOT EXISTS (SELECT 1 FROM file WHERE test_id = ?1))",
               testId) &&
           run(cache,
               "DELETE FROM repetition WHERE test_id = ?1 AND NOT EXISTS (SELECT 1 FROM file WHERE test_id = ?1)",
               testId) &&
           run(cache, "DELETE FROM test WHERE id = ?1 AND NOT EXISTS (SELECT 1 FROM file WHERE test_id = ?1)", testId);
}

bool LocalIndex::forgetFiles(const std::vector<std::string>& paths) {
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    Transaction t(handle());
    if (!t.begun()) return failFromSqlite("Cannot write the test index");
    for (const std::string& path : paths) {
        int64_t testId = 0;
        if (!readInteger(*statements_, "SELECT test_id FROM file WHERE path = ?1", testId, path) ||
            !run(*statements_, "DELETE FROM file WHERE path = ?1", path) || (testId != 0 && !dropIfNoFile(testId)))
            return failFromSqlite("Cannot write the test index");
    }
    if (!t.commit()) return failFromSqlite("Cannot write the test index");
    return succeed();
}

bool LocalIndex::forgetGoneBelow(const std::string& folder, int64_t* forgotten, std::vector<std::string>* paths) {
    if (forgotten) *forgotten = 0;
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    std::string below = folder;
    while (below.size() > 1 && below.back() == '/') below.pop_back();
    if (below != "/") below += '/';
    // Every path that starts with "<folder>/": from there up to the next character after '/'.
    std::string after = below;
    after.back() = static_cast<char>('/' + 1);
    Statement st(*statements_, "SELECT path FROM file WHERE path >= ?1 AND path < ?2");
    if (!st.prepared()) return failFromSqlite("Cannot read the test index");
    st.bind(1, below);
    st.bind(2, after);
    std::vector<std::string> gone;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
        const std::string path = st.text(0);
        struct stat info {};
        // Only a file that is certainly gone: one behind a folder this user cannot read stays.
        if (::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) gone.push_back(path);
    }
    if (rc != SQLITE_DONE) return failFromSqlite("Cannot read the test index");
    st.reset();
    if (gone.empty()) return succeed();
    if (!forgetFiles(gone)) return false;
    if (forgotten) *forgotten = static_cast<int64_t>(gone.size());
    if (paths) paths->insert(paths->end(), gone.begin(), gone.end());
    return true;
}

bool LocalIndex::pathsOf(const std::string& sha256, std::vector<std::string>& out) {
    out.clear();
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    Statement st(*statements_, "SELECT f.path FROM file f JOIN test t ON t.id = f.test_id WHERE t.sha256 = ?1"
                               " ORDER BY f.path");
    if (!st.prepared()) return failFromSqlite("Cannot read the test index");
    st.bind(1, sha256);
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) out.push_back(st.text(0));
    if (rc != SQLITE_DONE) return failFromSqlite("Cannot read the test index");
    return succeed();
}

namespace {

// The tests of `from` matching `where`, in `order`, each joined with its repetitions:
// one statement however many tests come back.
std::string testSelect(const std::string& from, const std::string& where, const std::string& order) {
    return "SELECT t.id, t.sha256, t.subject, t.subject_id, t.test_time, f.path, f.size, f.modified,"
           " t.sides_swapped, t.weight, t.sex, t.height, t.utc_offset, t.time_zone, r.number, r.direction, r.load, r.radius, r.sample_count, r.velocity_peak_index, " +
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
            if (!st.isNull(8)) t.sidesSwapped = st.integer(8) != 0;
            if (!st.isNull(9)) t.weight = static_cast<int32_t>(st.integer(9));
            if (!st.isNull(10)) t.sex = static_cast<int32_t>(st.integer(10));
            if (!st.isNull(11)) t.height = static_cast<int32_t>(st.integer(11));
            if (!st.isNull(12)) t.utcOffset = static_cast<int32_t>(st.integer(12));
            t.timeZone = st.text(13);
            out.push_back(std::move(t));
        }
        if (st.isNull(14)) continue;  // a test without repetitions
        IndexedRepetition r;
        r.number = static_cast<int32_t>(st.integer(14));
        r.direction = static_cast<int32_t>(st.integer(15));
        r.load = st.real(16);
        r.radius = st.real(17);
        r.sampleCount = static_cast<int32_t>(st.integer(18));
        r.velocityPeakIndex = static_cast<int32_t>(st.integer(19));
        int k = 20;
        for (int row = 0; row < kResultRowCount; ++row)
            for (int c = 0; c < kResultColumnCount; ++c) r.results[row][c] = static_cast<float>(st.real(k++));
        out.back().repetitions.push_back(r);
    }
    return rc;
}

}  // namespace

namespace {

size_t utf8Length(const std::string& s) {
    size_t n = 0;
    for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

}  // namespace

bool LocalIndex::hasPartIndex() {
    Statement st(handle(), "SELECT 1 FROM sqlite_schema WHERE name = 'test_subject_part'");
    return st.prepared() && st.step() == SQLITE_ROW;
}

bool LocalIndex::listTests(const TestQuery& query, std::vector<IndexedTest>& out) {
    out.clear();
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    std::string where = "1";
    // A part of three letters or more comes through its pieces' index; instr, which reads
    // every test, then only confirms the few the index gives.
    std::string pieces;
    if (query.subject) {
        const std::string key = foldedName(*query.subject);
        if (hasPartIndex() && key.find_first_of("*?[]") == std::string::npos && utf8Length(key) >= 3) {
            pieces = "*" + key + "*";
            where += " AND t.id IN (SELECT rowid FROM test_subject_part WHERE subject_key GLOB ?5)";
        }
        where += " AND instr(t.subject_key, ?1) > 0";
    }
    if (query.subjectId) where += " AND t.subject_id = ?2";
    if (query.from) where += " AND t.test_time >= ?3";
    if (query.to) where += " AND t.test_time < ?4";
    Statement st(handle(), testSelect(kTestWithFile, where, "t.test_time, f.path"));
    if (!st.prepared()) return failFromSqlite("Cannot read the test index");
    if (query.subject) st.bind(1, foldedName(*query.subject));
    if (!pieces.empty()) st.bind(5, pieces);
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
    std::vector<std::string> corrected;
    {
        Statement marked(handle(), "SELECT sha256 FROM outbox WHERE sent = 0 AND sides_corrected = 1");
        if (!marked.prepared()) return failFromSqlite("Cannot read the outbox of the test index");
        int rc;
        while ((rc = marked.step()) == SQLITE_ROW) corrected.push_back(marked.text(0));
        if (rc != SQLITE_DONE) return failFromSqlite("Cannot read the outbox of the test index");
    }
    for (IndexedTest& t : tests) {
        t.sidesCorrected = std::find(corrected.begin(), corrected.end(), t.sha256) != corrected.end();
        PendingUpload p;
        p.sha256 = t.sha256;
        p.path = t.path;
        p.test = std::move(t);
        out.push_back(std::move(p));
    }
    return succeed();
}

namespace {

// False only for a file that is certainly not there: one this user may not reach now is
// still the test's, and waits.
bool mayBeThere(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

}  // namespace

bool LocalIndex::sendableUploads(std::vector<PendingUpload>& out, std::vector<std::string>& dropped) {
    dropped.clear();
    std::vector<PendingUpload> pending;
    if (!pendingUploads(pending)) return false;
    out.clear();
    std::vector<std::string> paths, gone;
    for (PendingUpload& p : pending) {
        if (!mayBeThere(p.path)) {
            // Another copy of the same bytes may still be there.
            if (!pathsOf(p.sha256, paths)) return false;
            std::string found;
            for (const std::string& path : paths) {
                if (!mayBeThere(path)) gone.push_back(path);
                else if (found.empty()) found = path;
            }
            if (found.empty()) {
                dropped.push_back("The test file " + p.path + " is gone; its test leaves the outbox unsent.");
                continue;
            }
            p.path = p.test.path = found;
        }
        out.push_back(std::move(p));
    }
    return gone.empty() || forgetFiles(gone);
}

bool LocalIndex::correctSides(const std::vector<std::string>& paths, bool sidesSwapped, int64_t* changed) {
    if (changed) *changed = 0;
    if (!isOpen()) return fail(IndexError::NotOpen, "The test index is not open.");
    Transaction t(handle());
    if (!t.begun()) return failFromSqlite("Cannot write the test index");
    int64_t count = 0;
    for (const std::string& path : paths) {
        int64_t testId = 0;
        if (!readInteger(*statements_,
                         "SELECT t.id FROM file f JOIN test t ON t.id = f.test_id WHERE f.path = ?1"
                         " AND t.sides_swapped IS NOT ?2",
                         testId, path, int64_t{sidesSwapped}))
            return failFromSqlite("Cannot read the test index");
        if (testId == 0) continue;  // not indexed, or already so
        // Queued again, marked: the lab's archive takes this setting over the one it holds.
        if (!run(*statements_, "UPDATE test SET sides_swapped = ?2 WHERE id = ?1", testId, int64_t{sidesSwapped}) ||
            !run(*statements_,
                 "INSERT INTO outbox (sha256, sent, sides_corrected) SELECT sha256, 0, 1 FROM test WHERE id = ?1"
                 " ON CONFLICT (sha256) DO UPDATE SET sent = 0, sides_corrected = 1",
                 testId))
            return failFromSqlite("Cannot write the test index");
        ++count;
    }
    if (!t.commit()) return failFromSqlite("Cannot write the test index");
    if (changed) *changed = count;
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
    Statement st(handle(), "INSERT INTO outbox (sha256, sent) VALUES (?1, 1) ON CONFLICT (sha256) DO UPDATE SET sent = 1,"
                           " sides_corrected = 0");
    if (!st.prepared()) return failFromSqlite("Cannot write the outbox of the test index");
    st.bind(1, sha256);
    if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot write the outbox of the test index");
    return succeed();
}

}  // namespace vanta::archive
