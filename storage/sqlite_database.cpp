#include "storage/sqlite_database.h"

#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "storage/sqlite_statement.h"

namespace vanta::sqlite {

namespace fs = std::filesystem;

namespace {

// A path as a SQLite URI ("file:..."), its query and fragment characters escaped.
std::string fileUri(const std::string& path) {
    std::string uri = "file:";
    for (char c : path) {
        if (c == '%') uri += "%25";
        else if (c == '?') uri += "%3f";
        else if (c == '#') uri += "%23";
        else uri += c;
    }
    return uri;
}

}  // namespace

void Database::Closer::operator()(sqlite3* db) const { sqlite3_close_v2(db); }

Database::Database(const StoreKind& kind) : kind_(&kind) {}
Database::~Database() = default;
Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;

std::string Database::path() const { return dataRoot_.empty() ? std::string() : dataRoot_ + "/" + kind_->fileName; }

void Database::close() { db_.reset(); }

void Database::setBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds < 0 ? 0 : milliseconds;
    if (db_) sqlite3_busy_timeout(db_.get(), busyTimeoutMs_);
}

bool Database::fail(StoreError error, std::string message) {
    error_ = error;
    message_ = std::move(message);
    return false;
}

bool Database::succeed() {
    error_ = StoreError::None;
    message_.clear();
    return true;
}

bool Database::failFromSqlite(const std::string& what) {
    if (!db_) return fail(StoreError::CannotOpen, what + ".");
    const std::string detail = what + ": " + sqlite3_errmsg(db_.get()) + ".";
    switch (sqlite3_extended_errcode(db_.get()) & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return fail(StoreError::Busy, detail);
        case SQLITE_READONLY:
        case SQLITE_PERM:
            return fail(StoreError::ReadOnly, detail);
        case SQLITE_NOTADB:
        case SQLITE_CORRUPT:
            return fail(StoreError::NotADatabase, detail + kind_->sqliteDamage);
        case SQLITE_CANTOPEN:
            return fail(StoreError::CannotOpen, detail);
        default:
            return fail(StoreError::Failed, detail);
    }
}

bool Database::open(const std::string& dataRoot, const OpenOptions& options,
                    const std::function<int(int)>& upgradeStep) {
    close();
    busyTimeoutMs_ = options.busyTimeoutMs < 0 ? 0 : options.busyTimeoutMs;
    int64_t layout = 0;
    bool opened = prepareFolder(dataRoot, options.access) && connect(options.access) &&
                  checkHeader(options.access, layout);
    if (opened && options.access == Access::ReadWrite) {
        std::string damage;
        if (options.checkWhole && !checkWhole(damage))
            opened = fail(StoreError::NotADatabase, "The " + std::string(kind_->noun) + " " + path() + " is damaged (" +
                                                        damage + "); it was left as it is." + kind_->damagedAdvice);
        else
            opened = prepareForWriting() && (layout >= kind_->newestLayout || upgrade(upgradeStep));
    }
    if (!opened) {
        close();
        return false;
    }
    return succeed();
}

bool Database::prepareFolder(const std::string& dataRoot, Access access) {
    const std::string noun = kind_->noun;
    if (dataRoot.empty()) return fail(StoreError::CannotOpen, "No data folder is given for the " + noun + ".");
    std::string root = dataRoot;
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    std::error_code ec;
    if (access == Access::ReadWrite) {
        fs::create_directories(root, ec);
        if (ec)
            return fail(StoreError::CannotCreateFolder,
                        "Cannot create the data folder " + root + ": " + ec.message() + ".");
    } else if (!fs::exists(root, ec)) {
        // Reading makes nothing: a mistyped folder is refused, not created.
        return fail(StoreError::CannotOpen, "The data folder " + root + " does not exist.");
    }
    if (!fs::is_directory(root, ec))
        return fail(StoreError::CannotCreateFolder, "The data folder " + root + " is not a folder.");
    dataRoot_ = root;
    const std::string file = path();
    const bool existed = fs::exists(file, ec);
    if (existed && !fs::is_regular_file(file, ec))
        return fail(StoreError::CannotOpen, "The " + noun + " " + file + " is not a file.");
    if (access == Access::ReadOnly)
        return existed || fail(StoreError::NotFound, "There is no " + noun + " in " + root + ".");
    // Writing needs the folder writable even when the file exists: the log and its index
    // lie beside the file.
    if (::access(root.c_str(), W_OK) != 0) return fail(StoreError::ReadOnly, kind_->readOnlyFolder(root, file, existed));
    return true;
}

bool Database::connect(Access access) {
    const std::string file = path();
    const int flags = access == Access::ReadWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    sqlite3* raw = nullptr;
    int rc = sqlite3_open_v2(file.c_str(), &raw, flags, nullptr);
    db_.reset(raw);
    if (rc == SQLITE_OK && access == Access::ReadOnly) {
        // A reader needs the log's shared memory file, which it cannot make in a folder it
        // may not write. No one without that right can have written the file since its log
        // was folded in, so it is then read as it lies on the disk.
        int64_t layout = 0;
        const bool readable = readPragma(db_.get(), "PRAGMA user_version", layout);
        const int code = sqlite3_extended_errcode(db_.get()) & 0xff;
        if (!readable && (code == SQLITE_READONLY || code == SQLITE_CANTOPEN) && ::access(dataRoot_.c_str(), W_OK) != 0) {
            db_.reset();
            raw = nullptr;
            rc = sqlite3_open_v2((fileUri(file) + "?immutable=1").c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                                 nullptr);
            db_.reset(raw);
        }
    }
    if (rc != SQLITE_OK) return failFromSqlite("Cannot open the " + std::string(kind_->noun) + " " + file);
    sqlite3_extended_result_codes(db_.get(), 1);
    sqlite3_busy_timeout(db_.get(), busyTimeoutMs_);
    return true;
}

bool Database::checkHeader(Access access, int64_t& layout) {
    // The header is read before anything is written: a file that is not a database, or
    // someone else's database, or a newer layout fails here and stays as it is.
    const std::string noun = kind_->noun;
    const std::string file = path();
    int64_t version = 0, appId = 0, tables = 0;
    {
        // One statement, so one look at the file: read one by one, another connection of
        // the station making the file (the indexer and the upload worker open a new data
        // folder's index at once) may commit between the reads, and a layout of 0 beside
        // tables already made looks like someone else's database.
        Statement header(db_.get(),
                         "SELECT (SELECT user_version FROM pragma_user_version),"
                         " (SELECT application_id FROM pragma_application_id), (SELECT count(*) FROM sqlite_schema)");
        if (!header.prepared() || header.step() != SQLITE_ROW)
            return failFromSqlite("The " + noun + " " + file + " cannot be read" + kind_->unreadable);
        version = header.integer(0);
        appId = header.integer(1);
        tables = header.integer(2);
    }
    if (version > kind_->newestLayout)
        return fail(StoreError::NewerVersion, "The " + noun + " " + file + " was written by a later station (layout " +
                                                  std::to_string(version) + "); it was left as it is.");
    if ((version > 0 && appId != kind_->applicationId) || (version == 0 && tables > 0))
        return fail(StoreError::Foreign,
                    "The file " + file + " is a database but not a " + noun + "; it was left as it is.");
    if (access == Access::ReadOnly && version == 0)
        return fail(StoreError::NotFound, "There is no " + noun + " in " + dataRoot_ + ".");
    if (access == Access::ReadOnly && version < kind_->newestLayout)
        return fail(StoreError::ReadOnly, "The " + noun + " " + file +
                                              " was written by an earlier station and is brought up to date only"
                                              " where it can be written.");
    layout = version;
    return true;
}

bool Database::checkWhole(std::string& damage) {
    // A file cut short: SQLite reads the missing end of its last page as zeros, which its
    // own check may take for unused space. The header says how long the file must be. With
    // a write-ahead log beside it, the file may rightly be shorter until its next checkpoint.
    // The header is read through SQLite's own descriptor (see the head of the header).
    std::error_code ec;
    const auto wal = fs::file_size(path() + "-wal", ec);
    const bool logged = !ec && wal > 0;
    sqlite3_file* file = nullptr;
    sqlite3_int64 size = 0;
    unsigned char h[100];
    if (!logged && sqlite3_file_control(db_.get(), "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file &&
        file->pMethods && file->pMethods->xFileSize(file, &size) == SQLITE_OK && size >= sqlite3_int64{sizeof h} &&
        file->pMethods->xRead(file, h, sizeof h, 0) == SQLITE_OK) {
        auto be32 = [&h](int at) {
            return (uint32_t{h[at]} << 24) | (uint32_t{h[at + 1]} << 16) | (uint32_t{h[at + 2]} << 8) | h[at + 3];
        };
        const uint32_t pageSize = h[16] == 0 && h[17] == 1 ? 65536u : (uint32_t{h[16]} << 8) | h[17];
        const bool countValid = be32(24) == be32(92) && be32(28) > 0;
        const auto length = static_cast<uint64_t>(size);
        if (pageSize >= 512 && (length % pageSize != 0 || (countValid && length < uint64_t{be32(28)} * pageSize))) {
            damage = "it is " + std::to_string(length) + " bytes long, " +
                     (countValid ? std::to_string(uint64_t{be32(28)} * pageSize) : std::string("whole pages")) +
                     " expected";
            return false;
        }
    }
    Statement check(db_.get(), "PRAGMA quick_check(1)");
    if (!check.prepared() || check.step() != SQLITE_ROW) {
        damage = sqlite3_errmsg(db_.get());
        return false;
    }
    if (check.text(0) != "ok") {
        damage = check.text(0);
        return false;
    }
    return true;
}

bool Database::prepareForWriting() {
    const std::string what = "Cannot prepare the " + std::string(kind_->noun) + " " + path();
    if (sqlite3_db_readonly(db_.get(), "main") == 1)
        return fail(StoreError::ReadOnly, "The " + std::string(kind_->noun) + " " + path() + " cannot be written.");
    sqlite3_exec(db_.get(), (std::string("PRAGMA synchronous=") + kind_->synchronous).c_str(), nullptr, nullptr,
                 nullptr);
    // WAL lets another station read while this one writes. A file system without the
    // shared memory WAL needs keeps the rollback journal: still one transaction per change.
    // A new, empty file goes over before its tables are made, so making them costs no
    // rollback journal.
    // The change of journal needs the file to itself, and SQLite asks no busy handler for it:
    // while another connection of this station (the window's indexer opening the same file)
    // holds it, the change is tried again until the busy time is up.
    for (int waited = 0; !execute(db_.get(), "PRAGMA journal_mode=WAL"); waited += 20) {
        const int code = sqlite3_extended_errcode(db_.get()) & 0xff;
        if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || waited >= busyTimeoutMs_) return failFromSqlite(what);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    sqlite3_exec(db_.get(), "PRAGMA foreign_keys=ON", nullptr, nullptr, nullptr);
    return true;
}

bool Database::upgrade(const std::function<int(int)>& upgradeStep) {
    const std::string noun = kind_->noun;
    const std::string file = path();
    error_ = StoreError::None;
    Transaction t(db_.get());
    if (!t.begun()) return failFromSqlite("Cannot prepare the " + noun + " " + file);
    // Another station may have made or upgraded the file since its header was read.
    int64_t version = 0, tables = 0;
    if (!readPragma(db_.get(), "PRAGMA user_version", version) ||
        !readPragma(db_.get(), "SELECT count(*) FROM sqlite_schema", tables))
        return failFromSqlite("The " + noun + " " + file + " cannot be read" + kind_->unreadable);
    if (version > kind_->newestLayout)
        return fail(StoreError::NewerVersion, "The " + noun + " " + file + " was written by a later station (layout " +
                                                  std::to_string(version) + "); it was left as it is.");
    if (version == 0 && tables > 0)
        return fail(StoreError::Foreign,
                    "The file " + file + " is a database but not a " + noun + "; it was left as it is.");
    int layout = static_cast<int>(version);
    // Each step from the layout before it, so a file of any age takes the same path.
    while (layout < kind_->newestLayout) {
        const int next = upgradeStep(layout);
        if (next <= layout)
            return error_ == StoreError::None ? fail(StoreError::Failed, "Cannot bring the " + noun + " " + file +
                                                                             " up to date.")
                                              : false;
        layout = next;
    }
    if (layout == version) return true;
    const std::string mark = "PRAGMA application_id=" + std::to_string(kind_->applicationId) +
                             "; PRAGMA user_version=" + std::to_string(layout) + ";";
    if (sqlite3_exec(db_.get(), mark.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK || !t.commit())
        return failFromSqlite("Cannot create the " + noun + " " + file);
    return true;
}

}  // namespace vanta::sqlite
