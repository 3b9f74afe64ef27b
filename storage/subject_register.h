// The station's register of subjects: one SQLite file below the data root that keeps
// every subject with all its SubjectInfo fields, a data folder per subject (where that
// subject's tests are stored) and the current subject of each product.
//
// Two stations may share one data root and have the register open at the same time: the
// file runs in WAL mode (readers never wait for a writer) and a writer waits up to the
// busy timeout for the other station's write to finish. Every change is one transaction:
// a station that dies in the middle of an edit leaves the subject as it was before.
//
// Nothing here shows a dialog. Every operation answers true or false; after false,
// lastError() and lastMessage() say why.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/records.h"
#include "storage/sqlite_database.h"

namespace vanta {

// The register's errors are those of every store of the station (storage/sqlite_database.h);
// a file that is a database but not a register is Foreign.
using RegisterError = StoreError;

struct RegisteredSubject {
    int64_t id = 0;
    SubjectInfo info;
    std::string folder;  // the subject's data folder, one plain name below the data root
    std::string uuid;    // the subject's permanent id (random UUID, lower case), the same in
                         // the lab's archive; the row id above is only this file's
    int64_t nameSet = 0;  // when the name was set (ms since 1970 UTC; 0: before names had a time)
};

class SubjectRegister {
public:
    // Layout version of the register, kept in the file's user_version. A station meeting
    // a lower version migrates the file inside one transaction; a higher one is refused.
    static constexpr int kSchemaVersion = 5;
    // Marks the file as a subject register (SQLite application_id): "VNTR".
    static constexpr int32_t kApplicationId = 0x564E5452;
    static constexpr const char* kFileName = "subjects.sqlite";
    static constexpr int kDefaultBusyTimeoutMs = 5000;

    SubjectRegister();
    ~SubjectRegister();
    SubjectRegister(SubjectRegister&&) noexcept;
    SubjectRegister& operator=(SubjectRegister&&) noexcept;
    SubjectRegister(const SubjectRegister&) = delete;
    SubjectRegister& operator=(const SubjectRegister&) = delete;

    // Opens <dataRoot>/subjects.sqlite, creating the data root and the register when they
    // are missing. A file that is not a register (or a newer one), or a damaged one (cut
    // short, or failing SQLite's quick check), is refused (NotADatabase) and left exactly
    // as it is: a damaged register written to could give one subject's folder to another.
    bool open(const std::string& dataRoot);
    void close();
    bool isOpen() const;
    // Empty while no register is open.
    const std::string& dataRoot() const;
    std::string registerPath() const;

    // How long a change waits for the other station's write before giving up (Busy).
    void setBusyTimeout(int milliseconds);

    // Adds a subject and gives it a data folder named after it: the name's letters and
    // digits (accents dropped, everything else '_'), made unique against the register and
    // the folders already on disk ("Jan_Novak", "Jan_Novak_2", ...). The folder itself is
    // created by ensureDirectory. The subject gets a new permanent id (uuid). Values are stored as given, without range checks: a
    // subject read from an old test file keeps what the file holds. A blank name is
    // refused (NameMissing).
    bool add(const SubjectInfo& info, int64_t* id = nullptr);
    // The same with the permanent id given: the one the lab's archive already knows this
    // subject by (a lower-case UUID; an id the register holds already is refused).
    bool add(const SubjectInfo& info, int64_t* id, std::string_view uuid);
    // The same with the time its name was set (the lab's, where the name is the lab's).
    // Every name is kept normalised (name_folding.h: "Ana  Kovač " is "Ana Kovač").
    bool add(const SubjectInfo& info, int64_t* id, std::string_view uuid, int64_t nameSet);
    // Replaces the fields of a subject; its folder stays, so its stored tests stay with it.
    // A blank name is refused (NameMissing).
    bool update(int64_t id, const SubjectInfo& info);
    // The same with the time a new name is set at (the lab's newer name taken at a sync);
    // a name that stays as it was keeps its time.
    bool update(int64_t id, const SubjectInfo& info, int64_t nameSet);
    bool get(int64_t id, RegisteredSubject& out);
    // The subject with this permanent id (NotFound when there is none).
    bool getByUuid(std::string_view uuid, RegisteredSubject& out);
    // Subjects whose name contains `namePart` in any case and with or without accents
    // (see name_folding.h; empty: all), ordered by the folded name.
    bool search(std::string_view namePart, std::vector<RegisteredSubject>& out);
    // Subjects whose name is `name` (the same letters and accents; case and spaces aside),
    // oldest first.
    bool findByName(std::string_view name, std::vector<RegisteredSubject>& out);

    // Two ids that are one person ("Jan Novak" and "Jan Novák", two stations' ids for one
    // athlete): `gone` (and every id merged into it) means `keep` from now on. Either may
    // be an id this register does not hold (another station's, seen in the archive).
    bool merge(std::string_view keep, std::string_view gone);
    // The id a merged `uuid` went into (else `uuid` itself) first, then every id merged
    // into that one: all the ids whose tests are this person's.
    bool mergedIds(std::string_view uuid, std::vector<std::string>& ids);
    // Every merge the register holds: (the id kept, an id merged into it).
    bool merges(std::vector<std::pair<std::string, std::string>>& out);

    // The current subject of a product (id 0 when there is none) and its change (id 0
    // clears it). Kept in the register, so the next start of the station finds it.
    bool currentSubject(const std::string& product, int64_t& id);
    bool setCurrentSubject(const std::string& product, int64_t id);

    // The subject's data folder as a full path, and the same folder created if missing.
    // The register may be shared and edited elsewhere: a folder that is not one plain name
    // (empty, ".", "..", with a separator) would lead outside the data root and is refused
    // (directoryOf gives an empty path).
    std::string directoryOf(const RegisteredSubject& subject) const;
    bool ensureDirectory(const RegisteredSubject& subject, std::string* path = nullptr);
    // The subject whose data folder holds this file (at any depth below the folder).
    bool subjectForFile(const std::string& filePath, RegisteredSubject& out);

    RegisterError lastError() const { return db_.lastError(); }
    const std::string& lastMessage() const { return db_.lastMessage(); }

private:
    bool fail(RegisterError error, std::string message);
    bool failFromSqlite(const std::string& what);
    // Subjects matching one condition with one text parameter ?1, into out.
    bool selectSubjects(const char* condition, std::string_view text, std::vector<RegisteredSubject>& out);
    bool succeed();
    // Takes the register from `layout` to the next one inside the opening transaction:
    // the layout it made, 0 after failing.
    int upgradeStep(int layout);
    // Sets a column of every subject (`update`: ?1 the value, ?2 the id) to the value
    // made from its name (`select` gives id, name): a column a new layout adds.
    bool fillColumn(const char* select, const char* update, std::string (*value)(const std::string& name));
    bool uniqueFolder(const std::string& name, std::string& folder);
    sqlite3* handle() const { return db_.handle(); }

    sqlite::Database db_;
    int busyTimeoutMs_ = kDefaultBusyTimeoutMs;
};

// True when `folder` is one plain path component: not empty, not "." or "..", without
// '/', '\' or a zero byte.
bool isPlainFolderName(std::string_view folder);

// The folder name a subject of this name starts from (before it is made unique).
std::string subjectFolderBase(std::string_view utf8Name);

}  // namespace vanta
