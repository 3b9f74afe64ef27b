#include "storage/name_folding.h"
#include "storage/subject_register.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <atomic>
#include <thread>
#include <utility>

#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace vanta {
namespace {

namespace fs = std::filesystem;

using testing::readFileBytes;
using testing::writeFileBytes;

// Runs SQL on the register file through a connection of its own, as another program would.
void rawExec(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

SubjectInfo subject(const std::string& name, int age = 30) {
    SubjectInfo s;
    s.name = name;
    s.sex = 1;
    s.age = age;
    s.weight = 82;
    s.height = 181;
    s.comment1 = "left-handed";
    s.comment2 = "";
    s.comment3 = "club: Sokol";
    return s;
}

class SubjectRegisterTest : public ::testing::Test {
protected:
    std::string registerFile() const { return root + "/" + SubjectRegister::kFileName; }

    testing::TempDir dir;
    std::string base = dir.path().string();
    std::string root = base + "/DATA";
};

TEST_F(SubjectRegisterTest, KeepsEveryFieldAcrossReopeningFromDisk) {
    int64_t janId = 0, evaId = 0;
    SubjectInfo jan = subject("Jan Novák", 41);
    jan.sex = -1;
    jan.comment2 = std::string("nul\0inside", 10);  // stored by length, not up to a zero
    {
        SubjectRegister reg;
        ASSERT_TRUE(reg.open(root)) << reg.lastMessage();  // creates DATA as well
        EXPECT_TRUE(fs::is_regular_file(registerFile()));
        ASSERT_TRUE(reg.add(jan, &janId));
        ASSERT_TRUE(reg.add(subject("Eva Svobodová"), &evaId));
        EXPECT_NE(janId, evaId);
        ASSERT_TRUE(reg.setCurrentSubject("VANCHECK", evaId));
        SubjectInfo edited = subject("Eva Svobodová-Malá", 25);
        edited.weight = 0;
        ASSERT_TRUE(reg.update(evaId, edited));
    }
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root + "/")) << reg.lastMessage();
    RegisteredSubject got;
    ASSERT_TRUE(reg.get(janId, got));
    EXPECT_EQ(got.info, jan);
    EXPECT_EQ(got.folder, "Jan_Novak");
    ASSERT_TRUE(reg.get(evaId, got));
    EXPECT_EQ(got.info.name, "Eva Svobodová-Malá");
    EXPECT_EQ(got.info.age, 25);
    EXPECT_EQ(got.info.weight, 0);
    // The folder keeps the first name: the subject's stored tests stay where they are.
    EXPECT_EQ(got.folder, "Eva_Svobodova");
    int64_t current = 0;
    ASSERT_TRUE(reg.currentSubject("VANCHECK", current));
    EXPECT_EQ(current, evaId);
}

// The chooser lists subjects as a reader looks for them: a name with an accented first
// letter among its plain letter, not after every ASCII name.
TEST_F(SubjectRegisterTest, SubjectsAreListedInTheOrderOfTheirFoldedNames) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    for (const char* name : {"Zofia Kral", "Łucja Nowak", "anna Berg", "Ärni Olsen", "Lucie Adam", "Bo Ek"})
        ASSERT_TRUE(reg.add(subject(name)));
    std::vector<RegisteredSubject> found;
    ASSERT_TRUE(reg.search("", found));
    std::vector<std::string> names;
    for (const RegisteredSubject& s : found) names.push_back(s.info.name);
    EXPECT_EQ(names, (std::vector<std::string>{"anna Berg", "Ärni Olsen", "Bo Ek", "Lucie Adam", "Łucja Nowak",
                                               "Zofia Kral"}));
}

TEST_F(SubjectRegisterTest, SearchMatchesPartOfTheNameInAnyCaseAndTakesWildcardsLiterally) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    for (const char* name : {"Petr Dvořák", "Anna Dvorakova", "Karel Novy", "100% Fit", "100 Fit", "a_b"})
        ASSERT_TRUE(reg.add(subject(name)));
    std::vector<RegisteredSubject> found;
    ASSERT_TRUE(reg.search("DVO", found));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].info.name, "Anna Dvorakova");  // by name
    EXPECT_EQ(found[1].info.name, "Petr Dvořák");
    ASSERT_TRUE(reg.search("%", found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].info.name, "100% Fit");
    ASSERT_TRUE(reg.search("_", found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].info.name, "a_b");
    ASSERT_TRUE(reg.search("", found));
    EXPECT_EQ(found.size(), 6u);
    ASSERT_TRUE(reg.search("nobody", found));
    EXPECT_TRUE(found.empty());

    // Case and accents do not matter, beyond ASCII too; the key is kept up to date.
    int64_t lodz = 0;
    for (const char* name : {"Jana Novák", "Łódź Team", "Ωμέγα", "Strauß"}) ASSERT_TRUE(reg.add(subject(name), &lodz));
    const std::pair<const char*, const char*> searches[] = {
        {"novak", "Jana Novák"}, {"NOVÁK", "Jana Novák"}, {"łódź", "Łódź Team"}, {"LODZ", "Łódź Team"},
        {"ωμεγα", "Ωμέγα"},      {"strauss", "Strauß"},   {"Nova\xCC\x81k", "Jana Novák"}};  // a combining accent
    for (const auto& [typed, name] : searches) {
        ASSERT_TRUE(reg.search(typed, found));
        ASSERT_EQ(found.size(), 1u) << typed;
        EXPECT_EQ(found[0].info.name, name) << typed;
    }
    ASSERT_TRUE(reg.update(lodz, subject("Zoë")));
    ASSERT_TRUE(reg.search("zoe", found));
    EXPECT_EQ(found.size(), 1u);
    ASSERT_TRUE(reg.search("strauss", found));
    EXPECT_TRUE(found.empty());

    ASSERT_TRUE(reg.findByName("Karel Novy", found));
    ASSERT_EQ(found.size(), 1u);
    ASSERT_TRUE(reg.findByName(" karel  NOVY", found));
    ASSERT_EQ(found.size(), 1u);
    ASSERT_TRUE(reg.findByName("Karel Nov\xc3\xbd", found));  // an accent is another name
    EXPECT_TRUE(found.empty());
}

// A name is one spelling whichever way it was typed or copied: spaces collapsed and trimmed,
// accents composed (NFD from another computer is NFC here), and its folder made from that.
TEST_F(SubjectRegisterTest, NamesAreKeptNormalisedAndTheirFoldersFromTheNormalForm) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    int64_t nfd = 0, spaced = 0;
    ASSERT_TRUE(reg.add(subject("Zoe\xcc\x88 Dvor\xcc\x8c" "a\xcc\x81kova\xcc\x81"), &nfd));
    ASSERT_TRUE(reg.add(subject("  Ana \t Kova\xc4\x8d "), &spaced));
    RegisteredSubject a, b;
    ASSERT_TRUE(reg.get(nfd, a) && reg.get(spaced, b));
    EXPECT_EQ(a.info.name, "Zo\xc3\xab Dvo\xc5\x99\xc3\xa1kov\xc3\xa1");
    EXPECT_EQ(a.folder, subjectFolderBase("Zo\xc3\xab Dvo\xc5\x99\xc3\xa1kov\xc3\xa1"));
    EXPECT_EQ(b.info.name, "Ana Kova\xc4\x8d");
    EXPECT_EQ(exactNameKey("ANA KOVA\xc4\x8c"), exactNameKey(b.info.name));
    EXPECT_NE(exactNameKey("Ana Kovac"), exactNameKey(b.info.name));
    std::vector<RegisteredSubject> found;
    ASSERT_TRUE(reg.search("ana kovac", found));
    EXPECT_EQ(found.size(), 1u);
    // A rename moves the name's time on; an edit of anything else leaves it.
    const int64_t set = b.nameSet;
    b.info.height = 171;
    ASSERT_TRUE(reg.update(b.id, b.info, set + 1000));
    ASSERT_TRUE(reg.get(spaced, b));
    EXPECT_EQ(b.nameSet, set);
    b.info.name = "Ana Kova\xc4\x8d-Horvat";
    ASSERT_TRUE(reg.update(b.id, b.info, set + 2000));
    ASSERT_TRUE(reg.get(spaced, b));
    EXPECT_EQ(b.nameSet, set + 2000);
}

// Merging an id that was itself merged away takes its whole group along: every id ends at
// the kept one in one step, and merging them the other way round is "one already".
TEST_F(SubjectRegisterTest, AMergeTakesTheWholeGroupOfTheIdMergedAway) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    const std::string x = "aaaaaaaa-0000-4000-8000-000000000001", y = "bbbbbbbb-0000-4000-8000-000000000002",
                      z = "cccccccc-0000-4000-8000-000000000003";
    ASSERT_TRUE(reg.merge(y, z));  // z is y
    ASSERT_TRUE(reg.merge(x, z));  // z (and so y) is x
    for (const std::string& id : {x, y, z}) {
        std::vector<std::string> ids;
        ASSERT_TRUE(reg.mergedIds(id, ids));
        ASSERT_EQ(ids.size(), 3u) << id;
        EXPECT_EQ(ids.front(), x) << id;
    }
    EXPECT_FALSE(reg.merge(y, x));
}

TEST_F(SubjectRegisterTest, FolderNamesAreSafeReadableAndUnique) {
    EXPECT_EQ(subjectFolderBase("Jan Novák"), "Jan_Novak");
    EXPECT_EQ(subjectFolderBase("Łukasz Żółć"), "Lukasz_Zolc");
    EXPECT_EQ(subjectFolderBase("../../etc/passwd"), "etc_passwd");
    EXPECT_EQ(subjectFolderBase("  O'Brien,  Seán  "), "O_Brien_Sean");
    EXPECT_EQ(subjectFolderBase(""), "subject");
    EXPECT_EQ(subjectFolderBase("张伟"), "subject");
    EXPECT_EQ(subjectFolderBase("con"), "con_");
    EXPECT_EQ(subjectFolderBase("\xC3"), "subject");  // a broken sequence is no letter
    EXPECT_EQ(subjectFolderBase(std::string(66, 'x')).size(), 48u);

    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    // A folder that already lies on disk belongs to nobody in the register: not taken over.
    fs::create_directory(root + "/Eva");
    int64_t a = 0, b = 0, c = 0, d = 0;
    ASSERT_TRUE(reg.add(subject("Jan Novák"), &a));
    ASSERT_TRUE(reg.add(subject("Jan Novak"), &b));
    ASSERT_TRUE(reg.add(subject("jan novak"), &c));  // differs only in case: still its own folder
    ASSERT_TRUE(reg.add(subject("Eva"), &d));
    RegisteredSubject s;
    ASSERT_TRUE(reg.get(a, s));
    EXPECT_EQ(s.folder, "Jan_Novak");
    ASSERT_TRUE(reg.get(b, s));
    EXPECT_EQ(s.folder, "Jan_Novak_2");
    ASSERT_TRUE(reg.get(c, s));
    EXPECT_EQ(s.folder, "jan_novak_3");
    ASSERT_TRUE(reg.get(d, s));
    EXPECT_EQ(s.folder, "Eva_2");

    // A subject needs a name: no blank row, no folder "subject".
    EXPECT_FALSE(reg.add(subject(" \t")));
    EXPECT_EQ(reg.lastError(), RegisterError::NameMissing);
    EXPECT_FALSE(reg.update(d, subject("")));
    EXPECT_EQ(reg.lastError(), RegisterError::NameMissing);
    ASSERT_TRUE(reg.get(d, s));
    EXPECT_EQ(s.info.name, "Eva");
    std::vector<RegisteredSubject> all;
    ASSERT_TRUE(reg.search("", all));
    EXPECT_EQ(all.size(), 4u);
}

TEST_F(SubjectRegisterTest, AFolderFromTheRegisterIsOnePlainNameBelowTheDataRoot) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    int64_t id = 0;
    ASSERT_TRUE(reg.add(subject("Jan"), &id));
    // The register refuses such folders itself ...
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(registerFile().c_str(), &db), SQLITE_OK);
    for (const char* folder : {"../escaped", "..", "", "a/b", "JAN"}) {
        const std::string sql = "UPDATE subject SET folder = '" + std::string(folder) + "'; INSERT INTO subject "
                                "(name, sex, age, weight, height, comment1, comment2, comment3, folder) VALUES "
                                "('x', 0, 0, 0, 0, '', '', '', '" + folder + "')";
        EXPECT_NE(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << folder;
    }
    // ... and a register changed by a program that ignores that is not followed out.
    ASSERT_EQ(sqlite3_exec(db, "DROP TRIGGER subject_folder_on_update", nullptr, nullptr, nullptr), SQLITE_OK);
    const std::string folders[] = {"../escaped", "..", ".", "a/b", "a\\b", std::string("a\0b", 3)};
    for (const std::string& folder : folders) {
        sqlite3_stmt* st = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE subject SET folder = ?1", -1, &st, nullptr), SQLITE_OK);
        sqlite3_bind_text(st, 1, folder.data(), static_cast<int>(folder.size()), SQLITE_TRANSIENT);
        ASSERT_EQ(sqlite3_step(st), SQLITE_DONE);
        sqlite3_finalize(st);
        RegisteredSubject s;
        ASSERT_TRUE(reg.get(id, s));
        ASSERT_EQ(s.folder, folder);
        std::string dir = "unchanged";
        EXPECT_FALSE(reg.ensureDirectory(s, &dir)) << folder;
        EXPECT_EQ(dir, "unchanged");
        EXPECT_EQ(reg.directoryOf(s), "") << folder;
        EXPECT_NE(reg.lastMessage().find("not a folder name below the data root"), std::string::npos);
    }
    sqlite3_close(db);
    EXPECT_FALSE(fs::exists(base + "/escaped"));
    EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), 3) << "only the register and its two companions";
}

// Leaves out one subject's entry from the folder index, as a damaged file may: the pages
// stay well formed, so SQLite's quick check finds nothing wrong. (The index pages of a
// table holding every folder but that one take the place of the real index.)
void damageFolderIndex(const std::string& path, int64_t missing) {
    rawExec(path, ("CREATE TABLE decoy (id INTEGER PRIMARY KEY, folder TEXT NOT NULL UNIQUE COLLATE NOCASE);"
                   "INSERT INTO decoy SELECT id, folder FROM subject WHERE id <> " + std::to_string(missing)).c_str());
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE name = ?1", -1, &st, nullptr), SQLITE_OK);
    int64_t pages[2] = {};
    const char* names[2] = {"sqlite_autoindex_subject_1", "sqlite_autoindex_decoy_1"};
    for (int k = 0; k < 2; ++k) {
        sqlite3_reset(st);
        sqlite3_bind_text(st, 1, names[k], -1, SQLITE_STATIC);
        ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
        pages[k] = sqlite3_column_int64(st, 0);
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    rawExec(path, ("PRAGMA writable_schema = ON;"
                   "UPDATE sqlite_schema SET rootpage = " + std::to_string(pages[1]) + " WHERE name = '" + names[0] + "';"
                   "UPDATE sqlite_schema SET rootpage = " + std::to_string(pages[0]) + " WHERE name = '" + names[1] + "';").c_str());
    rawExec(path, "DROP TABLE decoy");
}

TEST_F(SubjectRegisterTest, AFolderBelongsToOneSubjectEvenWithADamagedIndex) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    int64_t seventh = 0;
    for (int i = 1; i <= 8; ++i) ASSERT_TRUE(reg.add(subject("Subject " + std::to_string(i)), &seventh));
    seventh -= 1;
    reg.close();
    damageFolderIndex(registerFile(), seventh);
    ASSERT_TRUE(reg.open(root)) << "the damage is beyond the quick check: " << reg.lastMessage();

    int64_t id = 0;
    ASSERT_TRUE(reg.add(subject("Subject 7"), &id)) << reg.lastMessage();
    RegisteredSubject fresh;
    ASSERT_TRUE(reg.get(id, fresh));
    EXPECT_EQ(fresh.folder, "Subject_7_2") << "subject 7's folder holds subject 7's tests";
    // Whatever writes to the file: the schema keeps the folder to one subject.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(registerFile().c_str(), &db), SQLITE_OK);
    EXPECT_NE(sqlite3_exec(db, "INSERT INTO subject (name, sex, age, weight, height, comment1, comment2, comment3, folder)"
                               " VALUES ('Other', 0, 0, 0, 0, '', '', '', 'subject_7')", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_NE(sqlite3_exec(db, ("UPDATE subject SET folder = 'Subject_7' WHERE id = " + std::to_string(id)).c_str(),
                           nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
}

TEST_F(SubjectRegisterTest, ADamagedRegisterIsRefusedAndLeftUntouched) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    for (int i = 0; i < 60; ++i) ASSERT_TRUE(reg.add(subject("Subject " + std::to_string(i))));
    reg.close();
    const std::string whole = readFileBytes(registerFile());
    // Cut inside its last page (SQLite reads what is missing as zeros), and the same page
    // with its end zeroed at the full length.
    const std::string damaged[] = {whole.substr(0, whole.size() - 1), whole.substr(0, whole.size() - 100),
                                   whole.substr(0, whole.size() - 100) + std::string(100, '\0')};
    for (const std::string& bytes : damaged) {
        writeFileBytes(registerFile(), bytes);
        EXPECT_FALSE(reg.open(root)) << bytes.size();
        EXPECT_EQ(reg.lastError(), RegisterError::NotADatabase) << bytes.size();
        EXPECT_NE(reg.lastMessage().find(registerFile() + " is damaged"), std::string::npos) << reg.lastMessage();
        EXPECT_EQ(readFileBytes(registerFile()), bytes);
        EXPECT_FALSE(reg.add(subject("Not written")));
    }
    writeFileBytes(registerFile(), whole);
    EXPECT_TRUE(reg.open(root)) << reg.lastMessage();
}

TEST_F(SubjectRegisterTest, AnOlderRegisterIsBroughtUpToDate) {
    // A register as the first stations wrote it (layout 1), with two subjects.
    fs::create_directories(root);
    rawExec(registerFile(),
            "CREATE TABLE subject (id INTEGER PRIMARY KEY AUTOINCREMENT, name TEXT NOT NULL, sex INTEGER NOT NULL,"
            " age INTEGER NOT NULL, weight INTEGER NOT NULL, height INTEGER NOT NULL, comment1 TEXT NOT NULL,"
            " comment2 TEXT NOT NULL, comment3 TEXT NOT NULL, folder TEXT NOT NULL UNIQUE COLLATE NOCASE);"
            "CREATE INDEX subject_by_name ON subject (name COLLATE NOCASE);"
            "CREATE TABLE current_subject (product TEXT PRIMARY KEY, subject_id INTEGER NOT NULL REFERENCES subject (id));"
            "INSERT INTO subject VALUES (1, 'Jan Novák', 1, 40, 80, 180, '', '', '', 'Jan_Novak');"
            "INSERT INTO subject VALUES (2, 'Łucja', 0, 30, 60, 170, '', '', '', 'Lucja');"
            "PRAGMA application_id = 1447973970; PRAGMA user_version = 1;");
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root)) << reg.lastMessage();
    std::vector<RegisteredSubject> found;
    ASSERT_TRUE(reg.search("novak", found));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].folder, "Jan_Novak");
    ASSERT_TRUE(reg.search("LUCJA", found));
    EXPECT_EQ(found.size(), 1u);
    int64_t id = 0;
    ASSERT_TRUE(reg.add(subject("Jan Novak"), &id));
    RegisteredSubject s;
    ASSERT_TRUE(reg.get(id, s));
    EXPECT_EQ(s.folder, "Jan_Novak_2");

    // Every subject, old and new, has its own permanent id, and keeps it from now on.
    RegisteredSubject jan, lucja;
    ASSERT_TRUE(reg.get(1, jan));
    ASSERT_TRUE(reg.get(2, lucja));
    EXPECT_EQ(jan.info.name, "Jan Novák");
    EXPECT_EQ(jan.info.height, 180);
    for (const RegisteredSubject* r : {&jan, &lucja, &s}) {
        ASSERT_EQ(r->uuid.size(), 36u) << r->uuid;
        EXPECT_EQ(r->uuid[14], '4') << r->uuid;  // a random UUID (version 4)
        EXPECT_EQ(r->uuid.find_first_not_of("0123456789abcdef-"), std::string::npos) << r->uuid;
    }
    EXPECT_NE(jan.uuid, lucja.uuid);
    EXPECT_NE(jan.uuid, s.uuid);
    reg.close();
    SubjectRegister again;
    ASSERT_TRUE(again.open(root)) << again.lastMessage();
    RegisteredSubject byId;
    ASSERT_TRUE(again.getByUuid(jan.uuid, byId));
    EXPECT_EQ(byId.id, 1);
    EXPECT_FALSE(again.getByUuid("00000000-0000-4000-8000-000000000000", byId));
    EXPECT_EQ(again.lastError(), RegisterError::NotFound);
}


TEST_F(SubjectRegisterTest, DataFoldersAndTheSubjectOwningAFile) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    int64_t janId = 0, evaId = 0;
    ASSERT_TRUE(reg.add(subject("Jan"), &janId));
    ASSERT_TRUE(reg.add(subject("Eva"), &evaId));
    RegisteredSubject jan;
    ASSERT_TRUE(reg.get(janId, jan));
    std::string dir;
    ASSERT_TRUE(reg.ensureDirectory(jan, &dir));
    EXPECT_EQ(dir, root + "/Jan");
    EXPECT_TRUE(fs::is_directory(dir));
    ASSERT_TRUE(reg.ensureDirectory(jan, &dir));  // already there: fine

    RegisteredSubject owner;
    ASSERT_TRUE(reg.subjectForFile(root + "/Jan/test1.kvq", owner));
    EXPECT_EQ(owner.id, janId);
    // Deeper below the folder, and through ".." that leads back into the data root.
    ASSERT_TRUE(reg.subjectForFile(root + "/Eva/2024/a.kvq", owner));
    EXPECT_EQ(owner.id, evaId);
    ASSERT_TRUE(reg.subjectForFile(root + "/Jan/../Eva/a.kvq", owner));
    EXPECT_EQ(owner.id, evaId);
    // Not in a subject's folder: the data root itself, outside it, an unknown folder.
    EXPECT_FALSE(reg.subjectForFile(root + "/loose.kvq", owner));
    EXPECT_EQ(reg.lastError(), RegisterError::NotFound);
    EXPECT_FALSE(reg.subjectForFile(base + "/Jan/test1.kvq", owner));
    EXPECT_FALSE(reg.subjectForFile(root + "/../Jan/x.kvq", owner));
    EXPECT_FALSE(reg.subjectForFile(root + "/Petr/x.kvq", owner));

    // A file where the folder should be is reported, not overwritten.
    ASSERT_TRUE(reg.get(evaId, owner));
    writeFileBytes(root + "/Eva", "x");
    EXPECT_FALSE(reg.ensureDirectory(owner, &dir));
    EXPECT_EQ(readFileBytes(root + "/Eva"), "x");
}

TEST_F(SubjectRegisterTest, CurrentSubjectIsKeptPerProductAndOnlyForKnownSubjects) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    int64_t current = -1;
    ASSERT_TRUE(reg.currentSubject("VANCHECK", current));
    EXPECT_EQ(current, 0);
    int64_t a = 0, b = 0;
    ASSERT_TRUE(reg.add(subject("A"), &a));
    ASSERT_TRUE(reg.add(subject("B"), &b));
    ASSERT_TRUE(reg.setCurrentSubject("VANCHECK", a));
    ASSERT_TRUE(reg.setCurrentSubject("OTHER", b));
    EXPECT_FALSE(reg.setCurrentSubject("VANCHECK", 999));
    EXPECT_EQ(reg.lastError(), RegisterError::NotFound);
    ASSERT_TRUE(reg.currentSubject("VANCHECK", current));
    EXPECT_EQ(current, a);
    ASSERT_TRUE(reg.setCurrentSubject("VANCHECK", 0));
    ASSERT_TRUE(reg.currentSubject("VANCHECK", current));
    EXPECT_EQ(current, 0);
    ASSERT_TRUE(reg.currentSubject("OTHER", current));
    EXPECT_EQ(current, b);

    EXPECT_FALSE(reg.update(999, subject("C")));
    EXPECT_EQ(reg.lastError(), RegisterError::NotFound);
    RegisteredSubject s;
    EXPECT_FALSE(reg.get(999, s));
    EXPECT_EQ(reg.lastError(), RegisterError::NotFound);
}

TEST_F(SubjectRegisterTest, TwoStationsShareTheRegister) {
    SubjectRegister first, second;
    ASSERT_TRUE(first.open(root)) << first.lastMessage();
    ASSERT_TRUE(second.open(root)) << second.lastMessage();
    int64_t id = 0;
    ASSERT_TRUE(first.add(subject("Shared"), &id));
    RegisteredSubject seen;
    ASSERT_TRUE(second.get(id, seen));
    EXPECT_EQ(seen.info.name, "Shared");
    SubjectInfo edited = subject("Shared", 55);
    ASSERT_TRUE(second.update(id, edited));
    ASSERT_TRUE(first.get(id, seen));
    EXPECT_EQ(seen.info.age, 55);
    // Both add the same name: each gets its own folder.
    int64_t other = 0;
    ASSERT_TRUE(second.add(subject("Shared"), &other));
    RegisteredSubject a, b;
    ASSERT_TRUE(first.get(id, a));
    ASSERT_TRUE(first.get(other, b));
    EXPECT_NE(a.folder, b.folder);

    sqlite3* mode = nullptr;
    ASSERT_EQ(sqlite3_open(registerFile().c_str(), &mode), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(mode, "PRAGMA journal_mode", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "wal");
    sqlite3_finalize(st);
    sqlite3_close(mode);
}

// The window's indexer, its upload worker and the register's dialog open a new data folder's
// files at the same moment: each must find a store that is being made, never take it for
// someone else's database.
TEST_F(SubjectRegisterTest, ConnectionsOpeningANewRegisterAtOnceAllFindIt) {
    constexpr int kRounds = 60, kConnections = 4;
    int refused = 0;
    std::string message;
    for (int round = 0; round < kRounds; ++round) {
        const std::string folder = root + "/round" + std::to_string(round);
        std::atomic<int> ready{0};
        std::vector<std::thread> threads;
        std::vector<std::string> failures(kConnections);
        for (int c = 0; c < kConnections; ++c)
            threads.emplace_back([&, c] {
                ready.fetch_add(1);
                while (ready.load() < kConnections) std::this_thread::yield();
                SubjectRegister reg;
                if (!reg.open(folder)) failures[static_cast<size_t>(c)] = reg.lastMessage();
            });
        for (std::thread& t : threads) t.join();
        for (const std::string& f : failures)
            if (!f.empty()) ++refused, message = f;
    }
    EXPECT_EQ(refused, 0) << message;
}

// One byte through a pipe between the processes of a test.
void tell(int fd, char what) { ASSERT_EQ(::write(fd, &what, 1), 1); }
char hear(int fd) {
    char what = 0;
    return ::read(fd, &what, 1) == 1 ? what : 0;
}

// The station holds the register twice (the window and its test indexer) while the command
// line opens and closes it: the station's later commit must still reach the file, also
// when the station then dies without closing anything.
TEST_F(SubjectRegisterTest, AStationsCommitSurvivesAnotherProgramOpeningAndClosingTheRegister) {
    {
        SubjectRegister setup;
        ASSERT_TRUE(setup.open(root)) << setup.lastMessage();
        ASSERT_TRUE(setup.add(subject("Before")));
    }
    ASSERT_FALSE(fs::exists(registerFile() + "-wal"));  // closed cleanly: the log is folded in
    int toStation[2], fromStation[2];
    ASSERT_EQ(::pipe(toStation), 0);
    ASSERT_EQ(::pipe(fromStation), 0);
    const pid_t station = ::fork();
    ASSERT_GE(station, 0);
    if (station == 0) {
        SubjectRegister window, indexer;
        const bool opened = window.open(root) && indexer.open(root);
        tell(fromStation[1], opened ? 'o' : 'x');
        hear(toStation[0]);
        tell(fromStation[1], window.add(subject("After")) ? 'c' : 'x');
        for (;;) ::pause();
    }
    ASSERT_EQ(hear(fromStation[0]), 'o');
    const pid_t commandLine = ::fork();
    ASSERT_GE(commandLine, 0);
    if (commandLine == 0) {
        SubjectRegister other;
        const bool opened = other.open(root);
        other.close();
        ::_exit(opened ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(commandLine, &status, 0), commandLine);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    tell(toStation[1], 'g');
    EXPECT_EQ(hear(fromStation[0]), 'c');
    ::kill(station, SIGKILL);
    ASSERT_EQ(::waitpid(station, &status, 0), station);

    SubjectRegister after;
    ASSERT_TRUE(after.open(root)) << after.lastMessage();
    std::vector<RegisteredSubject> found;
    ASSERT_TRUE(after.findByName("After", found));
    EXPECT_EQ(found.size(), 1u) << "the station's commit went into a log another process had removed";
    for (int fd : {toStation[0], toStation[1], fromStation[0], fromStation[1]}) ::close(fd);
}

TEST_F(SubjectRegisterTest, AChangeWaitsForTheOtherStationOrFailsWithoutHarm) {
    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    int64_t id = 0;
    ASSERT_TRUE(reg.add(subject("Before", 20), &id));

    // Another station holds the write lock.
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(registerFile().c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);

    reg.setBusyTimeout(50);
    EXPECT_FALSE(reg.update(id, subject("After", 21)));
    EXPECT_EQ(reg.lastError(), RegisterError::Busy);
    EXPECT_FALSE(reg.add(subject("New")));
    EXPECT_EQ(reg.lastError(), RegisterError::Busy);
    // Reading goes on while the other station writes.
    RegisteredSubject s;
    ASSERT_TRUE(reg.get(id, s));
    EXPECT_EQ(s.info.name, "Before");

    // With a longer timeout the change waits until the other station is done.
    reg.setBusyTimeout(10000);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    EXPECT_TRUE(reg.update(id, subject("After", 21))) << reg.lastMessage();
    release.join();
    sqlite3_close(other);
    ASSERT_TRUE(reg.get(id, s));
    EXPECT_EQ(s.info.name, "After");
    std::vector<RegisteredSubject> all;
    ASSERT_TRUE(reg.search("", all));
    EXPECT_EQ(all.size(), 1u);
}

TEST_F(SubjectRegisterTest, AnEditThatNeverCommitsLeavesTheSubjectAsItWas) {
    int64_t id = 0;
    {
        SubjectRegister reg;
        ASSERT_TRUE(reg.open(root));
        ASSERT_TRUE(reg.add(subject("Kept", 30), &id));
    }
    // A station that dies between writing and committing: its connection goes away
    // with the change open.
    sqlite3* dying = nullptr;
    ASSERT_EQ(sqlite3_open(registerFile().c_str(), &dying), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(dying, "BEGIN IMMEDIATE; UPDATE subject SET name = 'Half', age = 99;", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close_v2(dying);

    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    RegisteredSubject s;
    ASSERT_TRUE(reg.get(id, s));
    EXPECT_EQ(s.info.name, "Kept");
    EXPECT_EQ(s.info.age, 30);
}

TEST_F(SubjectRegisterTest, AFileThatIsNotARegisterIsRefusedAndLeftUntouched) {
    fs::create_directories(root);
    std::string junk = "These are the operator's notes, not a database.\n";
    for (int i = 0; i < 200; ++i) junk += "line " + std::to_string(i) + "\n";
    writeFileBytes(registerFile(), junk);

    SubjectRegister reg;
    EXPECT_FALSE(reg.open(root));
    EXPECT_EQ(reg.lastError(), RegisterError::NotADatabase);
    EXPECT_NE(reg.lastMessage().find(registerFile()), std::string::npos) << reg.lastMessage();
    EXPECT_FALSE(reg.isOpen());
    EXPECT_EQ(readFileBytes(registerFile()), junk);
    EXPECT_FALSE(fs::exists(registerFile() + "-wal"));
    // Everything after a failed open answers "not open" instead of crashing.
    EXPECT_FALSE(reg.add(subject("X")));
    EXPECT_EQ(reg.lastError(), RegisterError::NotOpen);
    std::vector<RegisteredSubject> found;
    EXPECT_FALSE(reg.search("", found));
    int64_t current = 5;
    EXPECT_FALSE(reg.currentSubject("VANCHECK", current));
    EXPECT_EQ(current, 0);
}

TEST_F(SubjectRegisterTest, SomeoneElsesDatabaseAndANewerRegisterAreLeftAsTheyAre) {
    fs::create_directories(root);
    rawExec(registerFile(), "CREATE TABLE accounts (id INTEGER, owner TEXT); INSERT INTO accounts VALUES (1, 'x');");
    std::string before = readFileBytes(registerFile());
    SubjectRegister reg;
    EXPECT_FALSE(reg.open(root));
    EXPECT_EQ(reg.lastError(), RegisterError::Foreign);
    EXPECT_EQ(readFileBytes(registerFile()), before);

    fs::remove(registerFile());
    ASSERT_TRUE(reg.open(root));
    ASSERT_TRUE(reg.add(subject("Old station")));
    reg.close();
    // A later station has moved the layout on.
    rawExec(registerFile(), ("PRAGMA user_version = " + std::to_string(SubjectRegister::kSchemaVersion + 1) +
                             "; CREATE TABLE later (x);").c_str());
    before = readFileBytes(registerFile());
    EXPECT_FALSE(reg.open(root));
    EXPECT_EQ(reg.lastError(), RegisterError::NewerVersion);
    EXPECT_EQ(readFileBytes(registerFile()), before);

    // An empty file (as a crash right after creating it leaves) becomes a register.
    fs::remove(registerFile());
    writeFileBytes(registerFile(), "");
    ASSERT_TRUE(reg.open(root)) << reg.lastMessage();
    EXPECT_TRUE(reg.add(subject("Fresh")));
}

TEST_F(SubjectRegisterTest, AnUnusableDataFolderGivesAClearError) {
    // The data root would have to lie below a plain file.
    writeFileBytes(base + "/file", "x");
    SubjectRegister reg;
    EXPECT_FALSE(reg.open(base + "/file/DATA"));
    EXPECT_EQ(reg.lastError(), RegisterError::CannotCreateFolder);
    EXPECT_NE(reg.lastMessage().find(base + "/file/DATA"), std::string::npos);
    EXPECT_FALSE(reg.open(""));
    // A folder where the register file should be.
    fs::create_directories(registerFile());
    EXPECT_FALSE(reg.open(root));
    EXPECT_EQ(reg.lastError(), RegisterError::CannotOpen);
    EXPECT_TRUE(fs::is_directory(registerFile()));
}

TEST_F(SubjectRegisterTest, AReadOnlyFolderGivesAClearError) {
    fs::create_directories(root);
    testing_support::giveToUnprivileged(base);
    testing_support::giveToUnprivileged(root);
    testing_support::runUnprivileged([&] {
        fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
        SubjectRegister reg;
        EXPECT_FALSE(reg.open(root));
        EXPECT_EQ(reg.lastError(), RegisterError::ReadOnly);
        EXPECT_FALSE(fs::exists(registerFile()));

        // A register that exists but may no longer be written.
        fs::permissions(root, fs::perms::owner_all);
        ASSERT_TRUE(reg.open(root)) << reg.lastMessage();
        ASSERT_TRUE(reg.add(subject("Kept")));
        reg.close();
        const std::string before = readFileBytes(registerFile());
        fs::permissions(registerFile(), fs::perms::owner_read);
        EXPECT_FALSE(reg.open(root));
        EXPECT_EQ(reg.lastError(), RegisterError::ReadOnly) << reg.lastMessage();
        EXPECT_EQ(readFileBytes(registerFile()), before);

        // ... or whose folder may no longer be written (WAL needs its files beside it).
        fs::permissions(registerFile(), fs::perms::owner_read | fs::perms::owner_write);
        fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(reg.open(root));
        EXPECT_EQ(reg.lastError(), RegisterError::ReadOnly);
        EXPECT_NE(reg.lastMessage().find("read-only"), std::string::npos) << reg.lastMessage();
        EXPECT_EQ(readFileBytes(registerFile()), before);
        fs::permissions(root, fs::perms::owner_all);
    });
}

}  // namespace
}  // namespace vanta
