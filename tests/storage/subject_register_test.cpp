#include "storage/subject_register.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "tests/support/temp_dir.h"

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

    ASSERT_TRUE(reg.findByName("Karel Novy", found));
    ASSERT_EQ(found.size(), 1u);
    ASSERT_TRUE(reg.findByName("karel novy", found));
    EXPECT_TRUE(found.empty());
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
    EXPECT_EQ(reg.lastError(), RegisterError::NotARegister);
    EXPECT_EQ(readFileBytes(registerFile()), before);

    fs::remove(registerFile());
    ASSERT_TRUE(reg.open(root));
    ASSERT_TRUE(reg.add(subject("Old station")));
    reg.close();
    // A later station has moved the layout on.
    rawExec(registerFile(), "PRAGMA user_version = 2; CREATE TABLE later (x);");
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
    if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind the superuser";
    fs::create_directories(root);
    fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
    SubjectRegister reg;
    EXPECT_FALSE(reg.open(root));
    EXPECT_EQ(reg.lastError(), RegisterError::ReadOnly);
    EXPECT_FALSE(fs::exists(registerFile()));

    // A register that exists but may no longer be written.
    fs::permissions(root, fs::perms::owner_all);
    ASSERT_TRUE(reg.open(root));
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
}

}  // namespace
}  // namespace vanta
