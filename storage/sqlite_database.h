// One connection to one of the station's SQLite stores (the subject register, the test
// index), opened and checked the one way they share, and the error of its last operation.
//
// Opening for writing creates the data folder and the file when they are missing and then,
// before anything is written, checks what the file is: someone else's database (another
// application id, or tables without a layout), a later station's layout, a damaged file
// (cut short, or failing SQLite's quick check) are refused and left exactly as they are.
// The file runs in WAL mode: readers never wait for a writer, and a writer waits up to the
// busy timeout for another connection's write. An older layout is brought up to date in one
// transaction by the store's own steps, `int upgradeStep(int layout)`, run in a loop: each
// takes the file from the layout it is given to the one it returns.
//
// Opening for reading only writes nothing and creates nothing: a missing folder or file is
// refused, and a store in a folder this user cannot write is still read.
//
// Nothing but SQLite itself opens a store's file while a connection may be open: closing
// any other descriptor of the file would drop every POSIX lock the process holds on it,
// and another process could then take the file for its own and remove the log that this
// one's commits still go to.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

struct sqlite3;

namespace vanta {

// What went wrong in one of the station's stores; lastError() after a false.
enum class StoreError {
    None,
    NotOpen,             // no store is open
    CannotCreateFolder,  // the data root is missing and cannot be made
    CannotOpen,          // the file cannot be opened or created
    NotADatabase,        // not a SQLite database, or a damaged one
    Foreign,             // a database, but someone else's
    NewerVersion,        // written by a later station; this one does not know its layout
    ReadOnly,            // the store or its folder cannot be written
    Busy,                // another connection held the store longer than the busy timeout
    NotFound,            // no such subject, test or file
    NameMissing,         // a subject without a name (blank) is not added or kept
    UnreadableFile,      // the test file does not read (damaged, foreign, missing)
    Failed,              // anything else SQLite or the file system refused
};

namespace sqlite {

// What a store is, for its checks and its messages.
struct StoreKind {
    const char* noun;          // "subject register": the store in every message
    const char* fileName;      // below the data root
    int32_t applicationId;     // SQLite's application_id, marks the file as this store
    int newestLayout;          // the layout (user_version) this station writes
    const char* synchronous;   // "FULL" or "NORMAL": what a commit waits for
    const char* unreadable;    // follows "The <noun> <path> cannot be read"
    const char* damagedAdvice; // follows the message of a file refused as damaged
    const char* sqliteDamage;  // follows SQLite's own "malformed" in any later message
    // The message for a data folder this user cannot write.
    std::string (*readOnlyFolder)(const std::string& root, const std::string& path, bool fileExists);
};

enum class Access { ReadWrite, ReadOnly };

struct OpenOptions {
    Access access = Access::ReadWrite;
    int busyTimeoutMs = 5000;
    // Read the whole file before the first write (SQLite's quick check): a damaged file
    // written to may lose more than it already has.
    bool checkWhole = true;
};

class Database {
public:
    explicit Database(const StoreKind& kind);
    ~Database();
    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens <dataRoot>/<fileName> as described above; `upgradeStep` is called (inside the
    // transaction, for writing only) while the file's layout is older than the newest,
    // and returns the layout it made or 0 after calling fail().
    bool open(const std::string& dataRoot, const OpenOptions& options, const std::function<int(int)>& upgradeStep);
    void close();
    bool isOpen() const { return db_ != nullptr; }
    sqlite3* handle() const { return db_.get(); }
    const std::string& dataRoot() const { return dataRoot_; }
    std::string path() const;
    void setBusyTimeout(int milliseconds);

    StoreError lastError() const { return error_; }
    const std::string& lastMessage() const { return message_; }
    bool fail(StoreError error, std::string message);
    // `what` with SQLite's reason, the error told from SQLite's code.
    bool failFromSqlite(const std::string& what);
    bool succeed();

private:
    struct Closer {
        void operator()(sqlite3* db) const;
    };

    bool prepareFolder(const std::string& dataRoot, Access access);
    bool connect(Access access);
    bool checkHeader(Access access, int64_t& layout);
    bool checkWhole(std::string& damage);
    bool prepareForWriting();
    bool upgrade(const std::function<int(int)>& upgradeStep);

    const StoreKind* kind_;
    std::unique_ptr<sqlite3, Closer> db_;
    std::string dataRoot_;
    int busyTimeoutMs_ = 5000;
    StoreError error_ = StoreError::None;
    std::string message_;
};

}  // namespace sqlite
}  // namespace vanta
