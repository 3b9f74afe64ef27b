#include "storage/subject_register.h"

#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>

#include "storage/name_folding.h"
#include "storage/sqlite_statement.h"

namespace vanta {

namespace fs = std::filesystem;
using sqlite::Statement;
using sqlite::Transaction;

namespace {

// The subject's columns in the order every query reads them.
constexpr const char* kSubjectColumns =
    "id, name, sex, age, weight, height, comment1, comment2, comment3, folder, uuid, name_set";

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
// Layout 4: ids that are one person. `id` (another station's id, or one of this register)
// now means `into_id`; a merged id always points to one that is not merged itself.
constexpr const char* kSchemaV4 =
    "CREATE TABLE merged (id TEXT PRIMARY KEY, into_id TEXT NOT NULL) WITHOUT ROWID;"
    "CREATE INDEX merged_by_into ON merged (into_id);";
constexpr const char* kSchemaV3 =
    "ALTER TABLE subject ADD COLUMN uuid TEXT NOT NULL DEFAULT '';"
    "CREATE TRIGGER subject_uuid_on_insert BEFORE INSERT ON subject BEGIN"
    "  SELECT RAISE(ABORT, 'a subject needs its id') WHERE length(NEW.uuid) <> 36;"
    "END;";
// Layout 5: when the subject's name was last set (milliseconds since 1970, UTC; 0 for a
// name from before, older than any other). The lab keeps each name with this time, so a
// station that syncs its older spelling never writes it over a rename made elsewhere.
constexpr const char* kSchemaV5 = "ALTER TABLE subject ADD COLUMN name_set INTEGER NOT NULL DEFAULT 0;";
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
    s.nameSet = st.integer(11);
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

int64_t millisecondsNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The subject as the register keeps it: the name normalised (one spelling whichever way
// it was typed or copied), everything else as given.
SubjectInfo normalised(const SubjectInfo& info) {
    SubjectInfo out = info;
    out.name = normalisedName(info.name);
    return out;
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

std::string subjectFolderBase(std::string_view typed) {
    // An NFD name ("a" and a combining acute) makes the folder its NFC form makes.
    const std::string normal = normalisedName(typed);
    const std::string_view name = normal;
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

namespace {

std::string readOnlyFolderMessage(const std::string& root, const std::string& path, bool fileExists) {
    return fileExists ? "The subject register " + path + " cannot be written: its folder is read-only."
                      : "Cannot create the subject register in " + root + ": the folder cannot be written.";
}

// A committed change is on the disk before the station goes on (FULL): a subject's folder
// given twice would mix two people's tests.
const sqlite::StoreKind kRegisterKind{"subject register",
                                      SubjectRegister::kFileName,
                                      SubjectRegister::kApplicationId,
                                      SubjectRegister::kSchemaVersion,
                                      "FULL",
                                      "; it was left as it is",
                                      " Put back a copy from a backup.",
                                      "",
                                      readOnlyFolderMessage};

}  // namespace

SubjectRegister::SubjectRegister() : db_(kRegisterKind) {}
SubjectRegister::~SubjectRegister() = default;
SubjectRegister::SubjectRegister(SubjectRegister&&) noexcept = default;
SubjectRegister& SubjectRegister::operator=(SubjectRegister&&) noexcept = default;

bool SubjectRegister::fail(RegisterError error, std::string message) { return db_.fail(error, std::move(message)); }
bool SubjectRegister::failFromSqlite(const std::string& what) { return db_.failFromSqlite(what); }
bool SubjectRegister::succeed() { return db_.succeed(); }

std::string SubjectRegister::registerPath() const { return db_.isOpen() ? db_.path() : std::string(); }

bool SubjectRegister::isOpen() const { return db_.isOpen(); }

const std::string& SubjectRegister::dataRoot() const {
    static const std::string none;
    return db_.isOpen() ? db_.dataRoot() : none;
}

void SubjectRegister::close() { db_.close(); }

void SubjectRegister::setBusyTimeout(int milliseconds) {
    busyTimeoutMs_ = milliseconds < 0 ? 0 : milliseconds;
    db_.setBusyTimeout(busyTimeoutMs_);
}

bool SubjectRegister::open(const std::string& dataRoot) {
    // The whole file is checked before anything is written: a damaged register written to
    // could give one subject's folder to another.
    sqlite::OpenOptions options;
    options.busyTimeoutMs = busyTimeoutMs_;
    return db_.open(dataRoot, options, [this](int layout) { return upgradeStep(layout); });
}

bool SubjectRegister::fillColumn(const char* select, const char* update, std::string (*value)(const std::string&)) {
    Statement rows(handle(), select);
    Statement set(handle(), update);
    if (!rows.prepared() || !set.prepared()) return false;
    int rc;
    while ((rc = rows.step()) == SQLITE_ROW) {
        set.reset();
        set.bind(1, value(rows.text(1)));
        set.bind(2, rows.integer(0));
        if (set.step() != SQLITE_DONE) return false;
    }
    return rc == SQLITE_DONE;
}

int SubjectRegister::upgradeStep(int layout) {
    sqlite3* db = handle();
    const std::string what = "Cannot bring the subject register " + registerPath() + " up to date";
    switch (layout) {
        case 0:
            if (sqlite3_exec(db, kSchemaV1, nullptr, nullptr, nullptr) != SQLITE_OK)
                return failFromSqlite("Cannot create the subject register " + registerPath()), 0;
            return 1;
        case 1:
            if (sqlite3_exec(db, kSchemaV2, nullptr, nullptr, nullptr) != SQLITE_OK ||
                !fillColumn("SELECT id, name FROM subject", "UPDATE subject SET name_key = ?1 WHERE id = ?2",
                            [](const std::string& name) { return foldedName(name); }))
                return failFromSqlite(what), 0;
            return 2;
        case 2:
            if (sqlite3_exec(db, kSchemaV3, nullptr, nullptr, nullptr) != SQLITE_OK ||
                !fillColumn("SELECT id, name FROM subject", "UPDATE subject SET uuid = ?1 WHERE id = ?2",
                            [](const std::string&) { return newSubjectUuid(); }) ||
                sqlite3_exec(db, kSubjectByUuid, nullptr, nullptr, nullptr) != SQLITE_OK)
                return failFromSqlite(what), 0;
            return 3;
        case 3:
            if (sqlite3_exec(db, kSchemaV4, nullptr, nullptr, nullptr) != SQLITE_OK) return failFromSqlite(what), 0;
            return 4;
        case 4:
            // The search key now treats runs of spaces as one: made again for every name.
            if (sqlite3_exec(db, kSchemaV5, nullptr, nullptr, nullptr) != SQLITE_OK ||
                !fillColumn("SELECT id, name FROM subject", "UPDATE subject SET name_key = ?1 WHERE id = ?2",
                            [](const std::string& name) { return foldedName(name); }))
                return failFromSqlite(what), 0;
            return 5;
        default:
            fail(RegisterError::Failed, what + ": the layout " + std::to_string(layout) + " is unknown.");
            return 0;
    }
}

bool SubjectRegister::uniqueFolder(const std::string& name, std::string& folder) {
    const std::string base = subjectFolderBase(name);
    // The table itself is read, not the folder index, which a damaged file may lack entries in.
    Statement check(handle(), "SELECT 1 FROM subject NOT INDEXED WHERE folder = ?1 COLLATE NOCASE");
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
        const fs::file_status st = fs::symlink_status(fs::path(dataRoot()) / candidate, ec);
        if (st.type() != fs::file_type::not_found) continue;
        folder = candidate;
        return true;
    }
    return fail(RegisterError::Failed, "No free data folder is left for the name " + base + ".");
}

bool SubjectRegister::add(const SubjectInfo& info, int64_t* id) { return add(info, id, newSubjectUuid()); }

bool SubjectRegister::add(const SubjectInfo& info, int64_t* id, std::string_view uuid) {
    return add(info, id, uuid, millisecondsNow());
}

bool SubjectRegister::add(const SubjectInfo& typed, int64_t* id, std::string_view uuid, int64_t nameSet) {
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    if (blankName(typed.name)) return fail(RegisterError::NameMissing, "A subject needs a name.");
    const SubjectInfo info = normalised(typed);
    Transaction t(handle());
    if (!t.begun()) return failFromSqlite("Cannot add the subject");
    std::string folder;
    if (!uniqueFolder(info.name, folder)) return false;
    Statement st(handle(),
                 "INSERT INTO subject (name, sex, age, weight, height, comment1, comment2, comment3, name_key, folder,"
                 " uuid, name_set) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12)");
    if (!st.prepared()) return failFromSqlite("Cannot add the subject");
    bindInfo(st, info);
    st.bind(10, folder);
    st.bind(11, uuid);
    st.bind(12, nameSet);
    if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot add the subject");
    const int64_t newId = sqlite3_last_insert_rowid(handle());
    if (!t.commit()) return failFromSqlite("Cannot add the subject");
    if (id) *id = newId;
    return succeed();
}

bool SubjectRegister::merge(std::string_view keep, std::string_view gone) {
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    Transaction t(handle());
    if (!t.begun()) return failFromSqlite("Cannot merge the subjects");
    // Both ids are followed to where they went, and the whole group of the one merged away
    // goes over, so every merge stays one step deep and never makes a circle.
    std::string into(keep), from(gone);
    for (std::string* id : {&into, &from}) {
        Statement st(handle(), "SELECT into_id FROM merged WHERE id = ?1");
        if (!st.prepared()) return failFromSqlite("Cannot merge the subjects");
        st.bind(1, *id);
        if (st.step() == SQLITE_ROW) *id = st.text(0);
    }
    if (into == from)
        return fail(RegisterError::Failed,
                    "The subjects " + std::string(keep) + " and " + std::string(gone) + " are one already.");
    for (const char* sql : {"UPDATE merged SET into_id = ?1 WHERE into_id = ?2",
                            "INSERT OR REPLACE INTO merged (id, into_id) VALUES (?2, ?1)"}) {
        Statement st(handle(), sql);
        if (!st.prepared()) return failFromSqlite("Cannot merge the subjects");
        st.bind(1, into);
        st.bind(2, from);
        if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot merge the subjects");
    }
    if (!t.commit()) return failFromSqlite("Cannot merge the subjects");
    return succeed();
}

bool SubjectRegister::mergedIds(std::string_view uuid, std::vector<std::string>& ids) {
    ids.clear();
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    Statement st(handle(),
                 "WITH root AS (SELECT coalesce((SELECT into_id FROM merged WHERE id = ?1), ?1) AS id) "
                 "SELECT id FROM root UNION ALL SELECT m.id FROM merged m, root WHERE m.into_id = root.id");
    if (!st.prepared()) return failFromSqlite("Cannot read the subject register");
    st.bind(1, uuid);
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) ids.push_back(st.text(0));
    if (rc != SQLITE_DONE) return failFromSqlite("Cannot read the subject register");
    return succeed();
}

bool SubjectRegister::merges(std::vector<std::pair<std::string, std::string>>& out) {
    out.clear();
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    Statement st(handle(), "SELECT into_id, id FROM merged ORDER BY into_id, id");
    if (!st.prepared()) return failFromSqlite("Cannot read the subject register");
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) out.emplace_back(st.text(0), st.text(1));
    if (rc != SQLITE_DONE) return failFromSqlite("Cannot read the subject register");
    return succeed();
}

bool SubjectRegister::update(int64_t id, const SubjectInfo& info) { return update(id, info, millisecondsNow()); }

bool SubjectRegister::update(int64_t id, const SubjectInfo& typed, int64_t nameSet) {
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    if (blankName(typed.name)) return fail(RegisterError::NameMissing, "A subject needs a name.");
    const SubjectInfo info = normalised(typed);
    Transaction t(handle());
    if (!t.begun()) return failFromSqlite("Cannot change the subject");
    // The name's time moves only when the name itself changes: an edit of the height is
    // no rename, and must not make this station's spelling the newest.
    Statement st(handle(),
                 "UPDATE subject SET name = ?1, sex = ?2, age = ?3, weight = ?4, height = ?5,"
                 " comment1 = ?6, comment2 = ?7, comment3 = ?8, name_key = ?9,"
                 " name_set = CASE WHEN name = ?1 THEN name_set ELSE ?11 END WHERE id = ?10");
    if (!st.prepared()) return failFromSqlite("Cannot change the subject");
    bindInfo(st, info);
    st.bind(10, id);
    st.bind(11, nameSet);
    if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot change the subject");
    if (sqlite3_changes(handle()) == 0) return fail(RegisterError::NotFound, "The subject is not in the register.");
    if (!t.commit()) return failFromSqlite("Cannot change the subject");
    return succeed();
}

bool SubjectRegister::get(int64_t id, RegisteredSubject& out) {
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    const std::string sql = std::string("SELECT ") + kSubjectColumns + " FROM subject WHERE id = ?1";
    Statement st(handle(), sql.c_str());
    if (!st.prepared()) return failFromSqlite("Cannot read the subject register");
    st.bind(1, id);
    const int rc = st.step();
    if (rc == SQLITE_DONE) return fail(RegisterError::NotFound, "The subject is not in the register.");
    if (rc != SQLITE_ROW) return failFromSqlite("Cannot read the subject register");
    out = readSubject(st);
    return succeed();
}

bool SubjectRegister::getByUuid(std::string_view uuid, RegisteredSubject& out) {
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    std::vector<RegisteredSubject> found;
    if (!selectSubjects("WHERE uuid = ?1", uuid, found)) return false;
    if (found.empty()) return fail(RegisterError::NotFound, "The subject is not in the register.");
    out = std::move(found.front());
    return succeed();
}

bool SubjectRegister::search(std::string_view namePart, std::vector<RegisteredSubject>& out) {
    out.clear();
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    // The operator's text is matched as it is (no wildcards), folded like the stored key.
    // The list is in the order of the folded names, so "Łucja" stands among the L's, not
    // after "Zofia".
    return selectSubjects("WHERE instr(name_key, ?1) > 0 ORDER BY name_key, name, id", foldedName(namePart), out);
}

bool SubjectRegister::findByName(std::string_view name, std::vector<RegisteredSubject>& out) {
    out.clear();
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    // One spelling whichever way it is typed: the same letters with their accents, in any
    // case and with any spaces, is the same name.
    std::vector<RegisteredSubject> folded;
    if (!selectSubjects("WHERE name_key = ?1 ORDER BY id", foldedName(name), folded)) return false;
    const std::string key = exactNameKey(name);
    for (RegisteredSubject& s : folded)
        if (exactNameKey(s.info.name) == key) out.push_back(std::move(s));
    return true;
}

bool SubjectRegister::selectSubjects(const char* condition, std::string_view text, std::vector<RegisteredSubject>& out) {
    const std::string sql = std::string("SELECT ") + kSubjectColumns + " FROM subject " + condition;
    Statement st(handle(), sql.c_str());
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
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    Statement st(handle(),
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
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    Transaction t(handle());
    if (!t.begun()) return failFromSqlite("Cannot change the current subject");
    if (id == 0) {
        Statement st(handle(), "DELETE FROM current_subject WHERE product = ?1");
        if (!st.prepared()) return failFromSqlite("Cannot change the current subject");
        st.bind(1, product);
        if (st.step() != SQLITE_DONE) return failFromSqlite("Cannot change the current subject");
    } else {
        Statement exists(handle(), "SELECT 1 FROM subject WHERE id = ?1");
        if (!exists.prepared()) return failFromSqlite("Cannot change the current subject");
        exists.bind(1, id);
        const int rc = exists.step();
        if (rc == SQLITE_DONE) return fail(RegisterError::NotFound, "The subject is not in the register.");
        if (rc != SQLITE_ROW) return failFromSqlite("Cannot change the current subject");
        Statement st(handle(), "INSERT OR REPLACE INTO current_subject (product, subject_id) VALUES (?1, ?2)");
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
    return isPlainFolderName(subject.folder) ? dataRoot() + "/" + subject.folder : std::string();
}

bool SubjectRegister::ensureDirectory(const RegisteredSubject& subject, std::string* path) {
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    if (subject.folder.empty()) return fail(RegisterError::NotFound, "The subject has no data folder.");
    if (!isPlainFolderName(subject.folder))
        return fail(RegisterError::Failed, "The subject register gives " + subject.info.name + " the folder \"" +
                                               subject.folder + "\", which is not a folder name below the data root " +
                                               dataRoot() + "; it was not used.");
    const std::string dir = directoryOf(subject);
    std::error_code ec;
    fs::create_directory(dir, ec);
    if (ec) return fail(RegisterError::ReadOnly, "Cannot create the folder " + dir + ": " + ec.message() + ".");
    if (!fs::is_directory(dir, ec)) return fail(RegisterError::Failed, "The data folder " + dir + " is not a folder.");
    if (path) *path = dir;
    return succeed();
}

bool SubjectRegister::subjectForFile(const std::string& filePath, RegisteredSubject& out) {
    if (!db_.isOpen()) return fail(RegisterError::NotOpen, "The subject register is not open.");
    std::error_code ec;
    const fs::path file = fs::weakly_canonical(fs::path(filePath), ec);
    if (ec) return fail(RegisterError::NotFound, "The file " + filePath + " lies in no subject's folder.");
    const fs::path root = fs::weakly_canonical(fs::path(dataRoot()), ec);
    if (ec) return fail(RegisterError::NotFound, "The file " + filePath + " lies in no subject's folder.");
    const fs::path relative = file.lexically_relative(root);
    auto part = relative.begin();
    // The file must lie inside a folder below the data root, not in the root itself.
    if (relative.empty() || part == relative.end() || *part == ".." || *part == "." ||
        std::next(part) == relative.end())
        return fail(RegisterError::NotFound, "The file " + filePath + " lies in no subject's folder.");
    const std::string folder = part->string();
    const std::string sql = std::string("SELECT ") + kSubjectColumns + " FROM subject WHERE folder = ?1";
    Statement st(handle(), sql.c_str());
    if (!st.prepared()) return failFromSqlite("Cannot read the subject register");
    st.bind(1, folder);
    const int rc = st.step();
    if (rc == SQLITE_DONE) return fail(RegisterError::NotFound, "The file " + filePath + " lies in no subject's folder.");
    if (rc != SQLITE_ROW) return failFromSqlite("Cannot read the subject register");
    out = readSubject(st);
    return succeed();
}

}  // namespace vanta
