#include "archive/local_index.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "archive/background_indexer.h"
#include "archive/sha256.h"
#include "archive/subject_ids.h"
#include "core/demo_test.h"
#include "storage/test_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace vanta::archive {
namespace {

namespace fs = std::filesystem;
using vanta::testing::readFileBytes;
using vanta::testing::TempDir;
using vanta::testing::writeFileBytes;

// Writes a demo test of `name` taken at `testTime` with `repetitions` strokes.
void writeTest(const std::string& path, const std::string& name, int32_t testTime, int repetitions = 2,
               uint64_t seed = 1, float load = 0) {
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, DemoOptions{repetitions, 2000, seed});
    test->subject.name = name;
    if (load != 0)
        for (int r = 0; r < repetitions; ++r) test->repetitions[r].loadMass = load;
    test->testTime = testTime;
    std::string message;
    ASSERT_TRUE(writeTestFile(path, *test, &message)) << message;
}

class LocalIndexTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(index.open(root)) << index.lastMessage(); }

    std::vector<IndexedTest> list(const TestQuery& q) {
        std::vector<IndexedTest> out;
        EXPECT_TRUE(index.listTests(q, out)) << index.lastMessage();
        return out;
    }

    TempDir dir;
    std::string root = dir.file("DATA");
    LocalIndex index;
};

TEST_F(LocalIndexTest, KeepsTheNumbersTheStationComputesAndTheHashOfTheBytes) {
    const std::string path = dir.file("a.kvq");
    writeTest(path, "Jan Novák", 1700000000, 3);
    IndexedTest got;
    ASSERT_TRUE(index.indexFile(path, &got, "4b0e8f4e-2a51-4d7c-9e57-0c8d1d3b2a10")) << index.lastMessage();

    auto test = std::make_unique<TestRecord>();
    ASSERT_TRUE(readTestFile(path, *test));
    EXPECT_EQ(got.sha256, sha256Hex(readFileBytes(path)));
    EXPECT_EQ(got.size, static_cast<int64_t>(fs::file_size(path)));
    EXPECT_EQ(got.subject, "Jan Novák");
    EXPECT_EQ(got.subjectId, "4b0e8f4e-2a51-4d7c-9e57-0c8d1d3b2a10");
    EXPECT_EQ(got.testTime, 1700000000);
    ASSERT_EQ(got.repetitions.size(), 3u);
    for (int r = 0; r < 3; ++r) {
        const IndexedRepetition& rep = got.repetitions[static_cast<size_t>(r)];
        EXPECT_EQ(rep.number, r + 1);
        EXPECT_EQ(rep.direction, test->repetitions[r].direction);
        EXPECT_EQ(rep.load, test->repetitions[r].loadMass);
        EXPECT_EQ(rep.radius, test->repetitions[r].radius);
        EXPECT_EQ(rep.sampleCount, test->repetitions[r].sampleCount);
        EXPECT_EQ(rep.velocityPeakIndex, test->results[r].velocityPeakIndex);
        for (int row = 0; row < kResultRowCount; ++row)
            for (int c = 0; c < kResultColumnCount; ++c)
                EXPECT_EQ(rep.results[row][c], test->results[r].value[row][c]) << r << " " << row << " " << c;
    }
    // Reopened from disk, the same rows come back.
    LocalIndex again;
    ASSERT_TRUE(again.open(root));
    IndexedTest stored;
    ASSERT_TRUE(again.testAt(path, stored));
    EXPECT_EQ(stored.sha256, got.sha256);
    EXPECT_EQ(stored.repetitions[2].results[PeakAll][1], got.repetitions[2].results[PeakAll][1]);
}

TEST_F(LocalIndexTest, NamesADamagedFileAndLeavesTheIndexAsItWas) {
    const std::string good = dir.file("good.kvq");
    const std::string cut = dir.file("cut.kvq");
    writeTest(good, "Eva", 1700000000);
    writeTest(cut, "Petr", 1700000100);
    const std::string bytes = readFileBytes(cut);
    writeFileBytes(cut, bytes.substr(0, bytes.size() - 10));
    ASSERT_TRUE(index.indexFile(good));

    EXPECT_FALSE(index.indexFile(cut));
    EXPECT_EQ(index.lastError(), IndexError::UnreadableFile);
    EXPECT_NE(index.lastMessage().find(cut), std::string::npos) << index.lastMessage();
    const auto all = list({});
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].path, good);
    std::vector<PendingUpload> outbox;
    ASSERT_TRUE(index.pendingUploads(outbox));
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].path, good);
}

TEST_F(LocalIndexTest, SkipsAnUnchangedFileAndReadsAChangedOneAgain) {
    const std::string path = dir.file("t.kvq");
    writeTest(path, "Eva", 1700000000, 2, 1);
    bool skipped = true;
    IndexedTest first;
    ASSERT_TRUE(index.indexFile(path, &first, {}, &skipped));
    EXPECT_FALSE(skipped);
    ASSERT_TRUE(index.indexFile(path, nullptr, {}, &skipped));
    EXPECT_TRUE(skipped);

    // The station saves the test again with a third repetition: same path, new bytes.
    writeTest(path, "Eva", 1700000000, 3, 2);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    IndexedTest second;
    ASSERT_TRUE(index.indexFile(path, &second, {}, &skipped));
    EXPECT_FALSE(skipped);
    EXPECT_NE(second.sha256, first.sha256);
    EXPECT_EQ(second.repetitions.size(), 3u);
    // The earlier bytes are nowhere any more: neither listed nor waiting to be sent.
    const auto all = list({});
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].sha256, second.sha256);
    std::vector<PendingUpload> outbox;
    ASSERT_TRUE(index.pendingUploads(outbox));
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].sha256, second.sha256);
    int64_t waiting = 0;
    ASSERT_TRUE(index.pendingCount(waiting));
    EXPECT_EQ(waiting, 1);
}

// A test saved again with another load is the same number of bytes: only the file's time
// tells that it changed.
TEST_F(LocalIndexTest, AFileRewrittenWithTheSameSizeIsReadAgainByItsTime) {
    const std::string path = dir.file("t.kvq");
    writeTest(path, "Eva", 1700000000, 2, 1, 10.0f);
    const auto firstTime = fs::last_write_time(path);
    ASSERT_TRUE(index.indexFile(path));
    const auto size = fs::file_size(path);
    writeTest(path, "Eva", 1700000000, 2, 1, 20.0f);
    ASSERT_EQ(fs::file_size(path), size);
    fs::last_write_time(path, firstTime + std::chrono::seconds(1));
    bool skipped = true;
    IndexedTest again;
    ASSERT_TRUE(index.indexFile(path, &again, {}, &skipped));
    EXPECT_FALSE(skipped);
    ASSERT_EQ(again.repetitions.size(), 2u);
    EXPECT_EQ(again.repetitions[0].load, 20.0);
}

// One test with a load that is no number among good ones: the index run stores the good
// ones and names the bad one, rather than stopping at it on every run.
TEST_F(LocalIndexTest, ATestWithAValueTheIndexCannotHoldIsLeftOutAlone) {
    std::vector<IndexedTest> tests(3);
    for (int i = 0; i < 3; ++i) {
        const std::string path = dir.file("t" + std::to_string(i) + ".kvq");
        writeTest(path, "Eva", 1700000000 + i, 2, static_cast<uint64_t>(i + 1), i == 1 ? INFINITY : 0.0f);
        std::string message;
        ASSERT_TRUE(readIndexedTest(path, tests[static_cast<size_t>(i)], &message)) << message;
    }
    std::vector<std::string> refused;
    ASSERT_TRUE(index.store(tests, &refused)) << index.lastMessage();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find(tests[1].path), std::string::npos) << refused[0];
    const auto stored = list({});
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].path, tests[0].path);
    EXPECT_EQ(stored[1].path, tests[2].path);
    int64_t waiting = 0;
    ASSERT_TRUE(index.pendingCount(waiting));
    EXPECT_EQ(waiting, 2);
    // Nothing of the refused test is left behind unseen: no test row, no repetition row.
    // (A test row left over would take the same bytes for indexed, without repetitions.)
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(index.indexPath().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const auto count = [db](const char* sql) {
        sqlite3_stmt* st = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &st, nullptr), SQLITE_OK);
        EXPECT_EQ(sqlite3_step(st), SQLITE_ROW);
        const int64_t n = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return n;
    };
    EXPECT_EQ(count("SELECT count(*) FROM test"), 2);
    EXPECT_EQ(count("SELECT count(*) FROM repetition"), 4);
    sqlite3_close(db);
}

// A NUL inside a subject's name is refused by name, and the test beside it still goes in.
TEST_F(LocalIndexTest, ANameWithANulCharacterIsRefusedWithAMessage) {
    std::vector<IndexedTest> tests(2);
    for (int i = 0; i < 2; ++i) {
        const std::string path = dir.file("n" + std::to_string(i) + ".kvq");
        writeTest(path, i == 0 ? std::string("Eva\0=1+1", 8) : "Eva", 1700000000 + i, 1, static_cast<uint64_t>(i + 1));
        std::string message;
        ASSERT_TRUE(readIndexedTest(path, tests[static_cast<size_t>(i)], &message)) << message;
    }
    ASSERT_EQ(tests[0].subject.size(), 8u);  // the file holds the NUL
    std::vector<std::string> refused;
    ASSERT_TRUE(index.store(tests, &refused)) << index.lastMessage();
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find("NUL"), std::string::npos) << refused[0];
    EXPECT_EQ(refused[0].find('\0'), std::string::npos);
    const auto stored = list({});
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0].subject, "Eva");
    EXPECT_FALSE(index.indexFile(tests[0].path));
    EXPECT_NE(index.lastMessage().find("NUL"), std::string::npos) << index.lastMessage();
}

// Files deleted from a folder leave the index when the folder is indexed again, and a test
// waiting to be sent whose file is gone leaves the outbox (said once), so the others go.
TEST_F(LocalIndexTest, FilesThatAreGoneLeaveTheIndexAndTheOutbox) {
    const std::string kept = dir.file("lab/kept.kvq"), deleted = dir.file("lab/sub/deleted.kvq");
    const std::string copied = dir.file("lab/copy.kvq"), copy = dir.file("elsewhere/copy.kvq");
    const std::string neighbour = dir.file("lab2/n.kvq");  // the same start, another folder
    for (const char* folder : {"lab/sub", "elsewhere", "lab2"}) fs::create_directories(dir.file(folder));
    writeTest(kept, "Eva", 1700000000, 2, 1);
    writeTest(deleted, "Eva", 1700000100, 2, 2);
    writeTest(copied, "Eva", 1700000200, 2, 3);
    fs::copy_file(copied, copy);
    writeTest(neighbour, "Eva", 1700000300, 2, 4);
    for (const std::string& p : {kept, deleted, copied, copy, neighbour}) ASSERT_TRUE(index.indexFile(p));

    fs::remove(deleted);
    fs::remove(copied);
    fs::remove(neighbour);
    int64_t forgotten = 0;
    ASSERT_TRUE(index.forgetGoneBelow(dir.file("lab") + "/", &forgotten)) << index.lastMessage();
    EXPECT_EQ(forgotten, 2);
    std::vector<std::string> listed;
    for (const IndexedTest& t : list({})) listed.push_back(t.path);
    EXPECT_EQ(listed, (std::vector<std::string>{kept, copy, neighbour}));

    // The neighbour's folder was not indexed again; sending finds its file gone.
    std::vector<PendingUpload> sendable;
    std::vector<std::string> dropped;
    ASSERT_TRUE(index.sendableUploads(sendable, dropped)) << index.lastMessage();
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_NE(dropped[0].find(neighbour), std::string::npos) << dropped[0];
    ASSERT_EQ(sendable.size(), 2u);
    EXPECT_EQ(sendable[0].path, kept);
    EXPECT_EQ(sendable[1].path, copy);
    ASSERT_TRUE(index.sendableUploads(sendable, dropped));
    EXPECT_TRUE(dropped.empty());
    EXPECT_EQ(sendable.size(), 2u);
    EXPECT_EQ(list({}).size(), 2u);
}

TEST_F(LocalIndexTest, ACopyIsOneTestAndASentTestIsNeverQueuedAgain) {
    const std::string a = dir.file("a.kvq");
    const std::string copy = dir.file("copy/a.kvq");
    writeTest(a, "Eva", 1700000000);
    fs::create_directories(dir.file("copy"));
    fs::copy_file(a, copy);
    ASSERT_TRUE(index.indexFile(a));
    int64_t waiting = 0;
    ASSERT_TRUE(index.pendingCount(waiting));
    ASSERT_EQ(waiting, 1);
    std::vector<PendingUpload> outbox;
    ASSERT_TRUE(index.pendingUploads(outbox));
    ASSERT_TRUE(index.markUploaded(outbox.at(0).sha256));
    ASSERT_TRUE(index.pendingCount(waiting));
    EXPECT_EQ(waiting, 0);

    ASSERT_TRUE(index.indexFile(copy));
    ASSERT_TRUE(index.pendingCount(waiting));
    EXPECT_EQ(waiting, 0);
    EXPECT_EQ(list({}).size(), 1u);

    // A test another station has already sent is not queued when this one first sees it.
    const std::string other = dir.file("other.kvq");
    writeTest(other, "Eva", 1700000500, 2, 9);
    ASSERT_TRUE(index.markUploaded(sha256Hex(readFileBytes(other))));
    ASSERT_TRUE(index.indexFile(other));
    ASSERT_TRUE(index.pendingCount(waiting));
    EXPECT_EQ(waiting, 0);
}

TEST_F(LocalIndexTest, FindsSubjectsWithoutCaseAndAccentsWithinADateRange) {
    const std::string a = dir.file("a.kvq"), b = dir.file("b.kvq"), c = dir.file("c.kvq"), d = dir.file("d.kvq");
    writeTest(a, "Jan Novák", 1704067200, 2, 1);       // 2024-01-01 00:00 UTC
    writeTest(b, "JAN NOVAK", 1706745599, 2, 2);       // 2024-01-31 23:59:59
    writeTest(c, "Jana Nováková", 1706745600, 2, 3);   // 2024-02-01 00:00
    writeTest(d, "Eva Dvořáková", 1705000000, 2, 4);
    for (const auto& p : {a, b, c, d}) ASSERT_TRUE(index.indexFile(p)) << index.lastMessage();

    TestQuery novak;
    novak.subject = "novák";
    auto found = list(novak);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].path, a);  // oldest first
    EXPECT_EQ(found[2].path, c);

    TestQuery january = novak;
    january.from = 1704067200;
    january.to = 1706745600;  // the day after the last one: 1 February is not in January
    found = list(january);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].path, a);
    EXPECT_EQ(found[1].path, b);
    EXPECT_EQ(found[1].repetitions.size(), 2u);

    TestQuery dvorakova;
    dvorakova.subject = "DVORAKOVA";
    found = list(dvorakova);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].subject, "Eva Dvořáková");

    // Parts of names through the names' pieces, or too short for them, or with the
    // pattern's own signs: found as they are typed, and a file read again under another
    // name is found by the new one only.
    for (const auto& [part, count] : std::vector<std::pair<std::string, size_t>>{
             {"ková", 2}, {"n n", 2}, {"ov", 4}, {"nov*", 0}, {"v?k", 0}, {"rák", 1}})
        EXPECT_EQ(list(TestQuery{.subject = part}).size(), count) << part;
    writeTest(d, "Eva Horáková", 1705000000, 2, 5);
    ASSERT_TRUE(index.indexFile(d)) << index.lastMessage();
    EXPECT_EQ(list(dvorakova).size(), 0u);
    EXPECT_EQ(list(TestQuery{.subject = "horak"}).size(), 1u);
}

// An index of the first layout is upgraded in place: its tests stay, their station's
// setting unknown; a test indexed from then on keeps the setting of the station that
// indexed it, also on its way to the lab's archive.
TEST_F(LocalIndexTest, KeepsTheIndexingStationsSidesWithEachNewTest) {
    writeTest(dir.file("old.kvq"), "Ana", 1700000000);
    writeTest(dir.file("new.kvq"), "Ana", 1700000100, 2, 2);
    ASSERT_TRUE(index.indexFile(dir.file("old.kvq"))) << index.lastMessage();
    index.close();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((root + "/archive.sqlite").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "ALTER TABLE test DROP COLUMN sides_swapped; ALTER TABLE test DROP COLUMN weight;"
                               "ALTER TABLE test DROP COLUMN sex; ALTER TABLE test DROP COLUMN height;"
                               "ALTER TABLE outbox DROP COLUMN sides_corrected; ALTER TABLE test DROP COLUMN utc_offset;"
                               "ALTER TABLE test DROP COLUMN time_zone;"
                               "DROP TRIGGER test_subject_part_add; DROP TRIGGER test_subject_part_drop;"
                               "DROP TRIGGER test_subject_part_change; DROP TABLE test_subject_part;"
                               "PRAGMA user_version = 1;", nullptr,
                           nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    ASSERT_TRUE(index.open(root)) << index.lastMessage();
    IndexedTest indexed;
    ASSERT_TRUE(readIndexedTest(dir.file("new.kvq"), indexed));
    indexed.sidesSwapped = true;
    ASSERT_TRUE(index.store({indexed})) << index.lastMessage();
    const std::vector<IndexedTest> tests = list({});
    ASSERT_EQ(tests.size(), 2u);
    EXPECT_EQ(tests[0].sidesSwapped, std::nullopt);
    EXPECT_EQ(tests[1].sidesSwapped, std::optional<bool>(true));
    // The names' pieces of the tests from before and of the new one (layout 3).
    TestQuery ana;
    ana.subject = "ANA";
    EXPECT_EQ(list(ana).size(), 2u);
    std::vector<PendingUpload> waiting;
    ASSERT_TRUE(index.pendingUploads(waiting)) << index.lastMessage();
    ASSERT_EQ(waiting.size(), 2u);
    EXPECT_EQ(waiting[1].test.sidesSwapped, std::optional<bool>(true));
}

TEST_F(LocalIndexTest, RefusesAnotherProgramsDatabaseAndLeavesItAlone) {
    index.close();
    const std::string other = dir.file("other");
    fs::create_directories(other);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((other + "/archive.sqlite").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t (x); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string before = readFileBytes(other + "/archive.sqlite");
    LocalIndex foreign;
    EXPECT_FALSE(foreign.open(other));
    EXPECT_EQ(foreign.lastError(), IndexError::Foreign);
    EXPECT_EQ(readFileBytes(other + "/archive.sqlite"), before);
}

// An index of the previous layout in a folder that can be written: reading it (list,
// history, the subjects' counts) brings it up to date first and counts every test.
TEST_F(LocalIndexTest, ReadingAnIndexOfTheEarlierLayoutBringsItUpToDate) {
    for (int i = 0; i < 3; ++i)
        writeTest(dir.file("o" + std::to_string(i) + ".kvq"), "Eva", 1700000000 + i, 1, static_cast<uint64_t>(i + 1));
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(index.indexFile(dir.file("o" + std::to_string(i) + ".kvq")));
    index.close();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((root + "/archive.sqlite").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "ALTER TABLE test DROP COLUMN sides_swapped; ALTER TABLE test DROP COLUMN weight;"
                           "ALTER TABLE test DROP COLUMN sex; ALTER TABLE test DROP COLUMN height;"
                               "ALTER TABLE outbox DROP COLUMN sides_corrected; ALTER TABLE test DROP COLUMN utc_offset;"
                               "ALTER TABLE test DROP COLUMN time_zone;"
                           "PRAGMA user_version=1;",
                           nullptr, nullptr, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
    LocalIndex reader;
    ASSERT_TRUE(reader.open(root, Access::ReadOnly)) << reader.lastMessage();
    std::vector<IndexedTest> tests;
    ASSERT_TRUE(reader.listTests({}, tests)) << reader.lastMessage();
    EXPECT_EQ(tests.size(), 3u);
}

// Another program's database that carries a layout number is still not an index: its own
// application id says so, and it is left as it is.
TEST_F(LocalIndexTest, RefusesADatabaseWithAnotherApplicationId) {
    index.close();
    const std::string other = dir.file("other-app");
    fs::create_directories(other);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((other + "/archive.sqlite").c_str(), &db), SQLITE_OK);
    const std::string make = "PRAGMA application_id=1095786564; PRAGMA user_version=" +
                             std::to_string(LocalIndex::kSchemaVersion) + "; CREATE TABLE test (x);";
    ASSERT_EQ(sqlite3_exec(db, make.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::string before = readFileBytes(other + "/archive.sqlite");
    for (Access access : {Access::ReadWrite, Access::ReadOnly}) {
        LocalIndex foreign;
        EXPECT_FALSE(foreign.open(other, access));
        EXPECT_EQ(foreign.lastError(), IndexError::Foreign) << foreign.lastMessage();
    }
    EXPECT_EQ(readFileBytes(other + "/archive.sqlite"), before);
}

// Garbage inside the index's pages (a disk error, a copy cut and patched) is found when the
// index is opened for writing, not taken for rows of unchanged files.
TEST_F(LocalIndexTest, GarbageInsideTheIndexIsReportedAsDamage) {
    for (int i = 0; i < 40; ++i) {
        const std::string path = dir.file("t" + std::to_string(i) + ".kvq");
        writeTest(path, "Eva", 1700000000 + i, 1, static_cast<uint64_t>(i + 1));
        ASSERT_TRUE(index.indexFile(path));
    }
    index.close();
    const std::string file = root + "/archive.sqlite";
    const auto size = fs::file_size(file);
    ASSERT_GT(size, 8u * 4096u);
    {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(2 * 4096));
        const std::string junk(4 * 4096, '\x5a');
        f.write(junk.data(), static_cast<std::streamsize>(junk.size()));
    }
    const std::string before = readFileBytes(file);
    LocalIndex damaged;
    EXPECT_FALSE(damaged.open(root));
    EXPECT_EQ(damaged.lastError(), IndexError::NotADatabase) << damaged.lastMessage();
    EXPECT_NE(damaged.lastMessage().find("damaged"), std::string::npos) << damaged.lastMessage();
    EXPECT_EQ(readFileBytes(file), before);
}

// list and history only read: an index in a folder this user may not write is read all
// the same, and a folder that is not there is not made.
TEST_F(LocalIndexTest, ReadingOnlyNeedsNoWritableFolderAndMakesNothing) {
    const std::string path = dir.file("t.kvq");
    writeTest(path, "Eva", 1700000000);
    ASSERT_TRUE(index.indexFile(path));
    index.close();
    LocalIndex missing;
    EXPECT_FALSE(missing.open(dir.file("typo"), Access::ReadOnly));
    EXPECT_FALSE(fs::exists(dir.file("typo")));
    testing_support::giveToUnprivileged(dir.path().string());
    testing_support::giveToUnprivileged(root);
    testing_support::giveToUnprivileged(root + "/archive.sqlite");
    testing_support::runUnprivileged([&] {
        fs::permissions(root, fs::perms::owner_read | fs::perms::owner_exec);
        LocalIndex reader;
        ASSERT_TRUE(reader.open(root, Access::ReadOnly)) << reader.lastMessage();
        std::vector<IndexedTest> tests;
        ASSERT_TRUE(reader.listTests({}, tests)) << reader.lastMessage();
        EXPECT_EQ(tests.size(), 1u);
        fs::permissions(root, fs::perms::owner_all);
    });
}

TEST_F(LocalIndexTest, KnowsTheRegisterSubjectByItsFolderOrByAName_NeverByGuessing) {
    // Without a register nothing is known, and none is created.
    IndexedTest lone;
    lone.path = dir.file("x.kvq");
    lone.subject = "Eva";
    EXPECT_EQ(SubjectIds(root).of(lone), "");
    EXPECT_FALSE(fs::exists(root + "/" + SubjectRegister::kFileName));

    SubjectRegister reg;
    ASSERT_TRUE(reg.open(root));
    SubjectInfo eva, jan;
    eva.name = "Eva";
    jan.name = "Jan";
    int64_t evaId = 0, janId = 0, jan2Id = 0;
    ASSERT_TRUE(reg.add(eva, &evaId));
    ASSERT_TRUE(reg.add(jan, &janId));
    ASSERT_TRUE(reg.add(jan, &jan2Id));
    RegisteredSubject evaRow, janRow, jan2Row;
    ASSERT_TRUE(reg.get(evaId, evaRow));
    ASSERT_TRUE(reg.get(janId, janRow));
    ASSERT_TRUE(reg.get(jan2Id, jan2Row));
    SubjectIds ids(root);

    IndexedTest inFolder;  // a test in the second Jan's folder, whatever name it holds
    inFolder.path = root + "/" + jan2Row.folder + "/t.kvq";
    inFolder.subject = "Someone";
    EXPECT_EQ(ids.of(inFolder), jan2Row.uuid);
    IndexedTest byName;  // elsewhere, with the name of exactly one subject
    byName.path = dir.file("old/t.kvq");
    byName.subject = "Eva";
    EXPECT_EQ(ids.of(byName), evaRow.uuid);
    IndexedTest twoJans = byName;  // two subjects of that name: unknown
    twoJans.subject = "Jan";
    EXPECT_EQ(ids.of(twoJans), "");
}

TEST_F(LocalIndexTest, TheWindowsIndexerFinishesWhatItWasGivenBeforeTheStationCloses) {
    index.close();
    const std::string a = dir.file("a.kvq"), b = dir.file("b.kvq"), bad = dir.file("bad.kvq");
    writeTest(a, "Eva", 1700000000, 2, 1);
    writeTest(b, "Eva", 1700000100, 2, 2);
    writeFileBytes(bad, "not a test");
    {
        BackgroundIndexer indexer(root);
        indexer.add(bad);
        indexer.add(a);
        indexer.add(b);
        indexer.add(a);  // opened again as it was
    }  // the station closes at once
    ASSERT_TRUE(index.open(root));
    const auto all = list({});
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].path, a);
    EXPECT_EQ(all[1].path, b);
}

}  // namespace
}  // namespace vanta::archive
