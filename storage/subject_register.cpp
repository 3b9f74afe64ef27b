#include "storage/subject_register.h"

#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

#include "storage/name_folding.h"

namespace vanta {

namespace fs = std::filesystem;

namespace {

// The subject's columns in the order every query reads them.
constexpr const char* kSubjectColumns =
    "id, name, sex, age, weight, height, comment1, comment2, comment3, folder, uuid";

// Layout 1 of the register. The folder is unique without regard to case, so two
// subjects never share a folder on a file system that ignores case either.
constexpr const char* kSchemaV1 =
    "CREATE TABLE subject ("
    "  id INTEGER PRIMARY KEY AUTOINCREMENT,"
    "  name TEXT NOT NULL,"
    "  sex INTEGER NOT NULL,"
    "  age INTEGER NOT NULL,"
    "  weight INTEGER NOT NULL,"
    "  height INTEGER NOT NULL,"
    "  comment1 TEXT NOT NULL,"
    "  comment2 TEXT NOT NULL,"
    "  comment3 TEXT NOT NULL,"
    "  folder TEXT NOT NULL UNIQUE COLLATE NOCASE);"
    "CREATE INDEX subject_by_name ON subject (name COLLATE NOCASE);"
    "CREATE TABLE current_subject ("
    "  product TEXT PRIMARY KEY,"
    "  subject_id INTEGER NOT NULL REFERENCES subject (id));";

// Layout 2: the search key beside the name (the name folded, see name_folding.h), and a
// subject's folder guarded by the schema itself: one plain name made of the letters the
// station gives folders, and used by no other subject. The uniqueness is checked by
// reading the table, not the folder index: a damaged index must not hand one subject's
// folder, and with it that subject's tests, to another.
constexpr const char* kSchemaV2 =
    "ALTER TABLE subject ADD COLUMN name_key TEXT NOT NULL DEFAULT '';"
    "CREATE TRIGGER subject_folder_on_insert BEFORE INSERT ON subject BEGIN"
    "  SELECT RAISE(ABORT, 'a subject folder must be one plain name')"
    "   WHERE NEW.folder = '' OR NEW.folder GLOB '*[^A-Za-z0-9_-]*';"
    "  SELECT RAISE(ABORT, 'the folder belongs to another subject')"
    "   WHERE EXISTS (SELECT 1 FROM subject NOT INDEXED WHERE folder = NEW.folder COLLATE NOCASE);"
    "END;"
    "CREATE TRIGGER subject_folder_on_update BEFORE UPDATE OF folder ON subject BEGIN"
    "  SELECT RAISE(ABORT, 'a subject folder must be one plain name')"
    "   WHERE NEW.folder = '' OR NEW.folder GLOB '*[^A-Za-z0-9_-]*';"
    "  SELECT RAISE(ABORT, 'the folder belongs to another subject')"
    "   WHERE EXISTS (SELECT 1 FROM subject NOT INDEXED"
    "                 WHERE folder = NEW.folder COLLATE NOCASE AND id <> NEW.id);"
    "END;";

// Layout 3: a permanent id per subject (a random UUID), the same wherever the subject's
// tests go (the lab's archive, another station's copy of the register), while the row id
// is only this file's. Every subject already there gets one in the same transaction.
constexpr const char* kSchemaV3 =
    "ALTER TABLE subject ADD COLUMN uuid TEXT NOT NULL DEFAULT '';"
    "CREATE TRIGGER subject_uuid_on_insert BEFORE INSERT ON subject BEGIN"
    "  SELECT RAISE(ABORT, 'a subject needs its id') WHERE length(NEW.uuid) <> 36;"
    "END;";
constexpr const char* kSubjectByUuid = "CREATE UNIQUE INDEX subject_by_uuid ON subject (uuid);";

// A random (version 4) UUID in its usual text form, lower case.
std::string newSubjectUuid() {
    std::random_device random;
    unsigned char b[16];
    for (int i = 0; i < 16; i += 4) {
        const uint32_t v = random();
        for (int k = 0; k < 4; ++k) b[i + k] = static_cast<unsigned char>(v >> (8 * k));
    }
    b[6] = static_cast<unsigned char>((b[6] & 0x0f) | 0x40);  // version 4: random
    b[8] = static_cast<unsigned char>((b[8] & 0x3f) | 0x80);  // the RFC 4122 variant
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += digits[b[i] >> 4];
        out += digits[b[i] & 15];
    }
    return out;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool prepared() const { return rc_ == SQLITE_OK && stmt_; }
    void bind(int index, std::string_view text) {
        // An empty view may carry no pointer at all; SQLite would store NULL for it.
        sqlite3_bind_text64(stmt_, index, text.data() ? text.data() : "", text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    void bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
    int step() { return sqlite3_step(stmt_); }
    void reset() { sqlite3_reset(stmt_); }
    int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    std::string text(int column) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
};

// One change of the register. BEGIN IMMEDIATE takes the write lock at once, so two
// stations adding the same name one after the other never pick the same folder. A
// transaction that is not committed is rolled back when it goes out of scope.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) {
        begun_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction() {
        if (begun_ && !committed_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool begun() const { return begun_; }
    bool commit() {
        committed_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        return committed_;
    }

private:
    sqlite3* db_;
    bool begun_ = false;
    bool committed_ = false;
};

bool readPragma(sqlite3* db, const char* sql, int64_t& value) {
    Statement st(db, sql);
    if (!st.prepared() || st.step() != SQLITE_ROW) return false;
    value = st.integer(0);
    return true;
}

RegisteredSubject readSubject(const Statement& st) {
    RegisteredSubject s;
    s.id = st.integer(0);
    s.info.name = st.text(1);
    s.info.sex = static_cast<int32_t>(st.integer(2));
    s.info.age = static_cast<int32_t>(st.integer(3));
    s.info.weight = static_cast<int32_t>(st.integer(4));
    s.info.height = static_cast<int32_t>(st.integer(5));
    s.info.comment1 = st.text(6);
    s.info.comment2 = st.text(7);
    s.info.comment3 = st.text(8);
    s.folder = st.text(9);
    s.uuid = st.text(10);
    return s;
}

void bindInfo(Statement& st, const SubjectInfo& info) {
    st.bind(1, info.name);
    st.bind(2, int64_t{info.sex});
    st.bind(3, int64_t{info.age});
    st.bind(4, int64_t{info.weight});
    st.bind(5, int64_t{info.height});
    st.bind(6, info.comment1);
    st.bind(7, info.comment2);
    st.bind(8, info.comment3);
    st.bind(9, foldedName(info.name));
}

bool blankName(const std::string& name) { return name.find_first_not_of(" \t\r\n") == std::string::npos; }

bool isReservedDeviceName(const std::string& upper) {
    static const std::array<const char*, 4> plain{"CON", "PRN", "AUX", "NUL"};
    for (const char* n : plain)
        if (upper == n) return true;
    return upper.size() == 4 && (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) && upper[3] >= '1' &&
           upper[3] <= '9';
}

}  // namespace

std::string subjectFolderBase(std::string_view name) {
    // Only letters, digits, '-' and '_' reach the disk: no separators, no dots, no
    // characters a file system of another station might refuse.
    constexpr size_t kMaxLength = 48;
    std::string out;
    auto put = [&out](char c) {
        if (c == '_' && (out.empty() || out.back() == '_')) return;
        out.push_back(c);
    };
    for (size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            const bool keep = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-';
            put(keep ? static_cast<char>(c) : '_');
            ++i;
            continue;
        }
        // A two-byte UTF-8 sequence may be a Latin letter with an accent.
        if ((c & 0xE0) == 0xC0 && i + 1 < name.size() && (static_cast<unsigned char>(name[i + 1]) & 0xC0) == 0x80) {
            const unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(name[i + 1]) & 0x3Fu);
            const char base = latinBaseLetter(code);
            put(base ? base : '_');
            i += 2;
            continue;
        }
        // Anything else: skip the whole sequence, leave one '_'.
        put('_');
        ++i;
        while (i < name.size() && (static_cast<unsigned char>(name[i]) & 0xC0) == 0x80) ++i;
    }
    if (out.size() > kMaxLength) out.resize(kMaxLength);
    while (!out.empty() && out.back() == '_') out.pop_back();
    size_t start = 0;
    while (start < out.size() && out[start] == '_') ++start;
    out.erase(0, start);
    if (out.empty()) return "subject";
    std::string upper = out;
    for (char& ch : upper)
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    if (isReservedDeviceName(upper)) out += '_';
    return out;
}

void SubjectRegister::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

SubjectRegister::SubjectRegister() = default;
SubjectRegister::~SubjectRegister() = default;
SubjectRegister::SubjectRegister(SubjectRegister&&) noexcept = default;
SubjectRegister& SubjectRegister::operator=(SubjectRegister&&) noexcept = default;

bool SubjectRegister::fail(RegisterError error, std::string message) {
    error_ = error;
    message_ = std::move(message);
    return false;
}

bool SubjectRegister::failFromSqlite(const std::string& what) {
    sqlite3* db = db_.get();
    const int code = db ? (sqlite3_extended_errcode(db) & 0xFF) : SQLITE_ERROR;
    const std::string detail = db ? sqlite3_errmsg(db) : "no register";
    RegisterError kind = RegisterError::Failed;
    switch (code) {
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT: kind = RegisterError::NotADatabase; break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: kind = RegisterError::Busy; break;
        case SQLITE_READONLY:
        case SQLITE_PERM: kind = RegisterError::ReadOnly; break;
        case SQLITE_CANTOPEN: kind = RegisterError::CannotOpen; break;
        default: break;
    }
    return fail(kind, what + ": " + detail + ".");
}

bool SubjectRegister::succeed() {
    error_ = RegisterError::None;
    message_.clear();
    return true;
}

std::string SubjectRegister::registerPath() const {
    return dataRoot_.empty() ? std::string() : dataRoot_ + "/" + kFileName;
}

bool SubjectRegister::isOpen() const { return db_ != nullptr; }

void SubjectRegister::close() {
    db_.reset();
    dataRoot_.clear();
}

void SubjectRegister::setBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds < 0 ? 0 : milliseconds;
    if (db_) sqlite3_busy_timeout(db_.get(), busyTimeoutMs_);
}

bool SubjectRegister::open(const std::string& dataRoot) {
    close();
    if (dataRoot.empty()) return fail(RegisterError::CannotOpen, "No data folder is given for the subject register.");

    std::string root = dataRoot;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    std::error_code ec;
    fs::create_directories(root, ec);
    if (ec) return fail(RegisterError::CannotCreateFolder, "Cannot create the data folder " + root + ": " + ec.message() + ".");
    if (!fs::is_directory(root, ec)) return fail(RegisterError::CannotCreateFolder, "The data folder " + root + " is not a folder.");

    const std::string path = root + "/" + kFileName;
    const bool existed = fs::exists(path, ec);
    if (existed && !fs::is_regular_file(path, ec))
        return fail(RegisterError::CannotOpen, "The subject register " + path + " is not a file.");
    // The register needs its folder writable even when the file exists: the WAL and its
    // index lie beside it, and the subjects' folders are made there.
    if (::access(root.c_str(), W_OK) != 0)
        return fail(RegisterError::ReadOnly, existed ? "The subject register " + path + " cannot be written: its folder is read-only."
                                                     : "Cannot create the subject register in " + root + ": the folder cannot be written.");

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    db_.reset(raw);
    dataRoot_ = root;
    if (rc != SQLITE_OK) {
        failFromSqlite("Cannot open the subject register " + path);
        close();
        return false;
    }
    sqlite3_extended_result_codes(db_.get(), 1);
    sqlite3_busy_timeout(db_.get(), busyTimeoutMs_);

    auto refuse = [this](RegisterError kind, std::string message) {
        fail(kind, std::move(message));
        close();
        return false;
    };
    auto refuseFromSqlite = [this](const std::string& what) {
        failFromSqlite(what);
        close();
        return false;
    };

    // Read the header before anything is written: a file that is not a database, or
    // someone else's database, or a newer register fails here and stays as it is.
    int64_t version = 0, appId = 0;
    if (!readPragma(db_.get(), "PRAGMA user_version", version) ||
        !readPragma(db_.get(), "PRAGMA application_id", appId))
        return refuseFromSqlite("The subject register " + path + " cannot be read; it was left as it is");
    if (version > kSchemaVersion)
        return refuse(RegisterError::NewerVersion, "The subject register " + path +
                                                       " was written by a later station (layout " +
                                                       std::to_string(version) + "); it was left as it is.");
    int64_t tables = 0;
    if (!readPragma(db_.get(), "SELECT count(*) FROM sqlite_schema", tables))
        return refuseFromSqlite("The subject register " + path + " cannot be read; it was left as it is");
    if ((version > 0 && appId != kApplicationId) || (version == 0 && tables > 0))
        return refuse(RegisterError::NotARegister,
                      "The file " + path + " is a database but not a subject register; it was left as it is.");
    // Nothing is written before the whole file has been checked.
    std::string damage;
    if (!checkWhole(path, damage))
        return refuse(RegisterError::NotADatabase, "The subject register " + path + " is damaged (" + damage +
                                                       "); it was left as it is. Put back a copy from a backup.");
    if (sqlite3_db_readonly(db_.get(), "main") == 1)
        return refuse(RegisterError::ReadOnly, "The subject register " + path + " cannot be written.");

    // WAL lets the other station read while this one writes. A file system without the
    // shared memory WAL needs keeps the rollback journal: still one transaction per change.
    {
        Statement wal(db_.get(), "PRAGMA journal_mode=WAL");
        if (!wal.prepared()) return refuseFromSqlite("Cannot prepare the subject register " + path);
        const int step = wal.step();
        if (step != SQLITE_ROW && step != SQLITE_DONE)
            return refuseFromSqlite("Cannot prepare the subject register " + path);
    }
    // A committed change is on the disk before the station goes on.
    sqlite3_exec(db_.get(), "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr);
    sqlite3_exec(db_.get(), "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);

    if (version < kSchemaVersion && !migrate()) {
        close();
        return false;
    }
    return succeed();
}

bool SubjectRegister::checkWhole(const std::string& path, std::string& damage) {
    // A file cut short: SQLite reads the missing end of its last page as zeros, which its
    // own check may take for unused space. The header says how long the file must be. With
    // a write-ahead log beside it, the file may rightly be shorter until its next checkpoint.
    std::error_code ec;
    const auto wal = fs::file_size(path + "-wal", ec);
    const bool logged = !ec && wal > 0;
    const auto size = fs::file_size(path, ec);
    unsigned char h[100];
    if (!ec && size >= sizeof h && !logged) {
        std::ifstream in(path, std::ios::binary);
        if (in.read(reinterpret_cast<char*>(h), sizeof h)) {
            auto be32 = [&h](int at) {
                return (uint32_t{h[at]} << 24) | (uint32_t{h[at + 1]} << 16) | (uint32_t{h[at + 2]} << 8) | h[at + 3];
            };
            const uint32_t pageSize = h[16] == 0 && h[17] == 1 ? 65536u : (uint32_t{h[16]} << 8) | h[17];
            const bool countValid = be32(24) == be32(92) && be32(28) > 0;
            if (pageSize >= 512 && (size % pageSize != 0 || (countValid && size < uint64_t{be32(28)} * pageSize))) {
                damage = "it is " + std::to_string(size) + " bytes long, " +
                         (countValid ? std::to_string(uint64_t{be32(28)} * pageSize) : std::string("whole pages")) +
                         " expected";
                return false;
            }
        }
    }
    Statement check(db_.get(), "PRAGMA quick_check(1)");
    if (!check.prepared()) {
        damage = sqlite3_errmsg(db_.get());
        return false;
    }
    const int rc = check.step();
    if (rc != SQLITE_ROW) {
        damage = sqlite3_errmsg(db_.get());
        return false;
    }
    if (check.text(0) != "ok") {
        damage = check.text(0);
        return false;
    }
    return true;
}

bool SubjectRegister::migrate() {
    Transaction t(db_.get());
    if (!t.begun()) return failFromSqlite("Cannot prepare the subject register " + registerPath());
    // The other station may have prepared the file since the header was read.
    int64_t version = 0, tables = 0;
    if (!readPragma(db_.get(), "PRAGMA user_version", version) ||
        !readPragma(db_.get(), "SELECT count(*) FROM sqlite_schema", tables))
        return failFromSqlite("Cannot read the subject register " + registerPath());
    if (version > kSchemaVersion)
        return fail(RegisterError::NewerVersion,
                    "The subject register " + registerPath() + " was written by a later station; it was left as it is.");
    if (version == 0) {
        if (tables > 0)
            return fail(RegisterError::NotARegister, "The file " + registerPath() +
                                                         " is a database but not a subject register; it was left as it is.");
        if (sqlite3_exec(db_.get(), kSchemaV1, nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot create the subject register " + registerPath());
        version = 1;
    }
    // Later layouts add their steps here, each from the version before it.
    if (version == 1) {
        if (sqlite3_exec(db_.get(), kSchemaV2, nullptr, nullptr, nullptr) != SQLITE_OK)
            return failFromSqlite("Cannot bring the subject register " + registerPath() + " up to date");
        Statement names(db_.get(), "SELECT id, name FROM subject");
        Statement key(db_.get(), "UPDATE subject SET name_key = ?1 WHERE id = ?2");
        if (!names.prepared() || !key.prepared())
            return failFromSqlite("Cannot bring the subject register " + registerPath() + " up to date");
        int rc;
        while ((rc = names.step()) == SQLITE_ROW) {
            key.reset();
            key.bind(1, foldedName(names.text(1)));
            key.bind(2, names.integer(0));
            if (key.step() != SQLITE_DONE)
                return failFromSqlite("Cannot bring the subject register " + registerPath() + " up to date");
        }
        if (rc != SQLITE_DONE) return failFromSqlite("Cannot bring the subject register " + registerPath() + " up to date");
        version = 2;
    }
    if (version == 2) {
        const std::string what = "Cannot bring the subject register " + registerPath() + " up to date";
        if (sqlite3_exec(db_.get(), kSchemaV3, nullptr, nullptr, nullptr) != SQLITE_OK) return failFromSqlite(what);
        Statement ids(db_.get(), "SELECT id FROM subject");
        Statement give(db_.get(), "UPDATE subject SET uuid = ?1 WHERE id = ?2");
        if (!ids.prepared() || !give.prepared()) return failFromSqlite(what);
        int rc;
        while ((rc = ids.step()) == SQLITE_ROW) {
            give.reset();
            give.bind(1, newSubjectUuid());
            give.bind(2, ids.integer(0));
            if (give.step() != SQLITE_DONE) return failFromSqlite(what);
        }
        if (rc != SQLITE_DONE) return failFromSqlite(what);
        if (sqlite3_exec(db_.get(), kSubjectByUuid, nullptr, nullptr, nullptr) != SQLITE_OK) return failFromSqlite(what);
        version = 3;
    }
    const std::string mark = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                             "; PRAGMA user_version=" + std::to_string(version) + ";";
    if (sqlite3_exec(db_.get(), mark.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
        return failFromSqlite("Cannot create the subject register " + registerPath());
    if (!t.commit()) return failFromSqlite("Cannot create the subject register " + registerPath());
    return true;
}

bool SubjectRegister::uniqueFolder(const std::string& name, std::string& folder) {
    const std::string base = subjectFolderBase(name);
    // The table itself is read, not the folder index, which a damaged file may lack entries in.
    Statement check(db_.get(), "SELECT 1 FROM subject NOT INDEXED WHERE folder = ?1 COLLATE NOCASE");
    if (!check.prepared()) return failFromSqlite("Cannot read the subject register");
    for (int n = 1; n < 100000; ++n) {
        const std::string candidate = n == 1 ? base : base + "_" + std::to_string(n);
        check.reset();
        check.bind(1, candidate);
        const int rc = check.step();
        if (rc == SQLITE_ROW) continue;
        if (rc != SQLITE_DONE) return failFromSqlite("Cannot read the subject register");
        // A folder left on disk by someone else is not taken over.
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(fs::path(dataRoot_) / candidate, ec);
        if (st.type() != fs::file_type::not_found) continue;
        folder = candidate;
        return true;
    }
    return fail(RegisterError::Failed, "No free data folder is left for the name " + base + ".");
}

bool SubjectRegister::add(const SubjectInfo& info, int64_t* id) {
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    if (blankName(info.name)) return fail(RegisterError::NameMissing, "A subject needs a name.");
    Transaction t(db_.get());
    if (!t.begun()) return failFromSqlite("Cannot add the subject");
    std::string folder;
    if (!uniqueFolder(info.name, folder)) return false;
    Statement st(db_.get(),
                 "INSERT INTO subject (name, sex, age, weight, height, comment1, comment2, comment3, name_key, folder,"
                 " uuid) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
    if (!st.prepared()) return failFromSqlite("Cannot add the subject");
    bindInfo(st, info);
    st.bind(10, folder);
    st.bind(11, newSubjectUuid());
    if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot add the subject");
    const int64_t newId = sqlite3_last_insert_rowid(db_.get());
    if (!t.commit()) return failFromSqlite("Cannot add the subject");
    if (id) *id = newId;
    return succeed();
}

bool SubjectRegister::update(int64_t id, const SubjectInfo& info) {
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    if (blankName(info.name)) return fail(RegisterError::NameMissing, "A subject needs a name.");
    Transaction t(db_.get());
    if (!t.begun()) return failFromSqlite("Cannot change the subject");
    Statement st(db_.get(),
                 "UPDATE subject SET name = ?1, sex = ?2, age = ?3, weight = ?4, height = ?5,"
                 " comment1 = ?6, comment2 = ?7, comment3 = ?8, name_key = ?9 WHERE id = ?10");
    if (!st.prepared()) return failFromSqlite("Cannot change the subject");
    bindInfo(st, info);
    st.bind(10, id);
    if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot change the subject");
    if (sqlite3_changes(db_.get()) == 0) return fail(RegisterError::NotFound, "The subject is not in the register.");
    if (!t.commit()) return failFromSqlite("Cannot change the subject");
    return succeed();
}

bool SubjectRegister::get(int64_t id, RegisteredSubject& out) {
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    const std::string sql = std::string("SELECT ") + kSubjectColumns + " FROM subject WHERE id = ?1";
    Statement st(db_.get(), sql.c_str());
    if (!st.prepared()) return failFromSqlite("Cannot read the subject register");
    st.bind(1, id);
    const int rc = st.step();
    if (rc == SQLITE_DONE) return fail(RegisterError::NotFound, "The subject is not in the register.");
    if (rc != SQLITE_ROW) return failFromSqlite("Cannot read the subject register");
    out = readSubject(st);
    return succeed();
}

bool SubjectRegister::getByUuid(std::string_view uuid, RegisteredSubject& out) {
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    std::vector<RegisteredSubject> found;
    if (!selectSubjects("WHERE uuid = ?1", uuid, found)) return false;
    if (found.empty()) return fail(RegisterError::NotFound, "The subject is not in the register.");
    out = std::move(found.front());
    return succeed();
}

bool SubjectRegister::search(std::string_view namePart, std::vector<RegisteredSubject>& out) {
    out.clear();
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    // The operator's text is matched as it is (no wildcards), folded like the stored key.
    // The list is in the order of the folded names, so "Łucja" stands among the L's, not
    // after "Zofia".
    return selectSubjects("WHERE instr(name_key, ?1) > 0 ORDER BY name_key, name, id", foldedName(namePart), out);
}

bool SubjectRegister::findByName(std::string_view name, std::vector<RegisteredSubject>& out) {
    out.clear();
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    return selectSubjects("WHERE name = ?1 ORDER BY id", name, out);
}

bool SubjectRegister::selectSubjects(const char* condition, std::string_view text, std::vector<RegisteredSubject>& out) {
    const std::string sql = std::string("SELECT ") + kSubjectColumns + " FROM subject " + condition;
    Statement st(db_.get(), sql.c_str());
    if (!st.prepared()) return failFromSqlite("Cannot read the subject register");
    st.bind(1, text);
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) out.push_back(readSubject(st));
    if (rc != SQLITE_DONE) {
        out.clear();
        return failFromSqlite("Cannot read the subject register");
    }
    return succeed();
}

bool SubjectRegister::currentSubject(const std::string& product, int64_t& id) {
    id = 0;
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    Statement st(db_.get(),
                 "SELECT c.subject_id FROM current_subject c JOIN subject s ON s.id = c.subject_id"
                 " WHERE c.product = ?1");
    if (!st.prepared()) return failFromSqlite("Cannot read the subject register");
    st.bind(1, product);
    const int rc = st.step();
    if (rc == SQLITE_ROW) id = st.integer(0);
    else if (rc != SQLITE_DONE) return failFromSqlite("Cannot read the subject register");
    return succeed();
}

bool SubjectRegister::setCurrentSubject(const std::string& product, int64_t id) {
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    Transaction t(db_.get());
    if (!t.begun()) return failFromSqlite("Cannot change the current subject");
    if (id == 0) {
        Statement st(db_.get(), "DELETE FROM current_subject WHERE product = ?1");
        if (!st.prepared()) return failFromSqlite("Cannot change the current subject");
        st.bind(1, product);
        if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot change the current subject");
    } else {
        Statement exists(db_.get(), "SELECT 1 FROM subject WHERE id = ?1");
        if (!exists.prepared()) return failFromSqlite("Cannot change the current subject");
        exists.bind(1, id);
        const int rc = exists.step();
        if (rc == SQLITE_DONE) return fail(RegisterError::NotFound, "The subject is not in the register.");
        if (rc != SQLITE_ROW) return failFromSqlite("Cannot change the current subject");
        Statement st(db_.get(), "INSERT OR REPLACE INTO current_subject (product, subject_id) VALUES (?1, ?2)");
        if (!st.prepared()) return failFromSqlite("Cannot change the current subject");
        st.bind(1, product);
        st.bind(2, id);
        if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot change the current subject");
    }
    if (!t.commit()) return failFromSqlite("Cannot change the current subject");
    return succeed();
}

bool isPlainFolderName(std::string_view folder) {
    constexpr std::string_view kSeparators("/\\\0", 3);
    return !folder.empty() && folder != "." && folder != ".." && folder.find_first_of(kSeparators) == std::string_view::npos;
}

std::string SubjectRegister::directoryOf(const RegisteredSubject& subject) const {
    return isPlainFolderName(subject.folder) ? dataRoot_ + "/" + subject.folder : std::string();
}

bool SubjectRegister::ensureDirectory(const RegisteredSubject& subject, std::string* path) {
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    if (subject.folder.empty()) return fail(RegisterError::NotFound, "The subject has no data folder.");
    if (!isPlainFolderName(subject.folder))
        return fail(RegisterError::Failed, "The subject register gives " + subject.info.name + " the folder \"" +
                                               subject.folder + "\", which is not a folder name below the data root " +
                                               dataRoot_ + "; it was not used.");
    const std::string dir = directoryOf(subject);
    std::error_code ec;
    fs::create_directory(dir, ec);
    if (ec) return fail(RegisterError::ReadOnly, "Cannot create the folder " + dir + ": " + ec.message() + ".");
    if (!fs::is_directory(dir, ec)) return fail(RegisterError::Failed, "The data folder " + dir + " is not a folder.");
    if (path) *path = dir;
    return succeed();
}

bool SubjectRegister::subjectForFile(const std::string& filePath, RegisteredSubject& out) {
    if (!db_) return fail(RegisterError::NotOpen, "The subject register is not open.");
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(fs::path(filePath), ec);
    if (ec) return fail(RegisterError::NotFound, "The file " + filePath + " lies in no subject's folder.");
    const fs::path root = fs::weakly_canonical(fs::path(dataRoot_), ec);
    if (ec) return fail(RegisterError::NotFound, "The file " + filePath + " lies in no subject's folder.");
    const fs::path relative = file.lexically_relative(root);
    auto part = relative.begin();
    // The file must lie inside a folder below the data root, not in the root itself.
    if (relative.empty() || part == relative.end() || *part == ".." || *part == "." ||
        std::next(part) == relative.end())
        return fail(RegisterError::NotFound, "The file " + filePath + " lies in no subject's folder.");
    const std::string folder = part->string();
    const std::string sql = std::string("SELECT ") + kSubjectColumns + " FROM subject WHERE folder = ?1";
    Statement st(db_.get(), sql.c_str());
    if (!st.prepared()) return failFromSqlite("Cannot read the subject register");
    st.bind(1, folder);
    const int rc = st.step();
    if (rc == SQLITE_DONE) return fail(RegisterError::NotFound, "The file " + filePath + " lies in no subject's folder.");
    if (rc != SQLITE_ROW) return failFromSqlite("Cannot read the subject register");
    out = readSubject(st);
    return succeed();
}

}  // namespace vanta
