// The session journal: what it gives back is the test that was in memory (the bytes Save
// writes), a journal cut anywhere in its last record gives the attempts before it and
// never a wrong one, an attempt costs only its own record, and a folder that cannot be
// written (read-only, full) costs the journal but never the attempt.
#include "storage/session_journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>

#include "storage/test_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/unprivileged.h"

namespace vanta {
namespace {

namespace fs = std::filesystem;
using testing::readFileBytes;
using testing::TempDir;
using testing::writeFileBytes;
using testing_support::giveToUnprivileged;
using testing_support::runUnprivileged;

// Stores one more attempt in `test` as the live tick does: `samples` random 16-bit
// readings with its own direction, offsets, load and radius, and a new test time.
void storeAttempt(TestRecord& test, int samples, uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> reading(-32768, 32767);
    const int r = test.repetitionCount;
    RepetitionRecord& rep = test.repetitions[static_cast<size_t>(r)];
    rep.direction = (seed & 1) ? 1 : -1;
    for (int c = 0; c < kChannelCount; ++c) rep.channelOffset[c] = static_cast<float>(reading(rng)) / 7.0f;
    rep.loadMass = 5.0f + static_cast<float>(r);
    rep.radius = 25.5f;
    rep.sampleCount = samples;
    for (int c = 0; c < kChannelCount; ++c)
        for (int i = 0; i < samples; ++i) rep.raw.row(c)[i] = reading(rng);
    test.testTime = 1765000000 + static_cast<int32_t>(seed);
    test.repetitionCount = r + 1;
    test.saved = 0;
}

std::unique_ptr<TestRecord> newTest(const char* name = "Ana Kovač") {
    auto test = std::make_unique<TestRecord>();
    test->subject.name = name;
    test->subject.sex = 1;
    test->subject.age = 41;
    test->subject.weight = 80;
    test->subject.height = 181;
    test->subject.comment1 = "left knee";
    return test;
}

// The test file Save writes for `test`.
std::string savedBytes(TestRecord& test, const TempDir& dir) {
    const std::string path = dir.file("saved.kvq");
    std::string error;
    EXPECT_TRUE(writeTestFile(path, test, &error)) << error;
    return readFileBytes(path);
}

void expectSameRepetition(const RepetitionRecord& a, const RepetitionRecord& b) {
    ASSERT_EQ(a.sampleCount, b.sampleCount);
    EXPECT_EQ(a.direction, b.direction);
    EXPECT_EQ(a.loadMass, b.loadMass);
    EXPECT_EQ(a.radius, b.radius);
    for (int c = 0; c < kChannelCount; ++c) {
        EXPECT_EQ(a.channelOffset[c], b.channelOffset[c]);
        EXPECT_TRUE(std::equal(a.raw.row(c), a.raw.row(c) + a.sampleCount, b.raw.row(c))) << "channel " << c;
    }
}

TEST(SessionJournal, ReplaysToTheTestInMemoryAndTheBytesSaveWrites) {
    TempDir dir;
    auto test = newTest();
    SessionJournal journal(dir.path().string());

    // Calibration, attempts, an IGNORE and an attempt in its place, a subject edited in
    // between: every turn of a session.
    test->repetitions[0].channelOffset[AccelY] = 2051.5f;
    test->testTime = 1765000000;
    ASSERT_TRUE(journal.calibrated(*test));
    for (uint32_t seed : {1u, 2u, 3u}) {
        storeAttempt(*test, 400 + static_cast<int>(seed), seed);
        ASSERT_TRUE(journal.attemptStored(*test));
    }
    --test->repetitionCount;
    ASSERT_TRUE(journal.attemptIgnored(*test));
    test->subject.comment2 = "after the third";
    storeAttempt(*test, 333, 8);
    ASSERT_TRUE(journal.attemptStored(*test));
    EXPECT_TRUE(journalHeld(journal.path()));

    auto back = std::make_unique<TestRecord>();
    const JournalReading r = readJournal(journal.path(), back.get());
    ASSERT_TRUE(r.isJournal);
    EXPECT_EQ(r.attempts, 3);
    EXPECT_EQ(r.droppedRecords, 0);
    EXPECT_EQ(back->repetitionCount, 3);
    EXPECT_EQ(back->testTime, test->testTime);
    EXPECT_EQ(back->subject, test->subject) << "age too: the window keeps it in memory";
    for (int i = 0; i < 3; ++i) expectSameRepetition(back->repetitions[i], test->repetitions[i]);
    EXPECT_EQ(savedBytes(*back, dir), savedBytes(*test, dir));

    // Removed with its test, and with it the lock.
    const std::string path = journal.path();
    journal.close(true);
    EXPECT_FALSE(fs::exists(path));
}

TEST(SessionJournal, JournallingAnAttemptWritesThatAttemptAlone) {
    TempDir dir;
    auto test = newTest();
    SessionJournal journal(dir.path().string());
    storeAttempt(*test, 5000, 1);
    ASSERT_TRUE(journal.attemptStored(*test));
    const auto first = fs::file_size(journal.path());
    std::vector<uintmax_t> growth;
    for (uint32_t seed = 2; seed <= 6; ++seed) {
        const auto before = fs::file_size(journal.path());
        storeAttempt(*test, 5000, seed);
        ASSERT_TRUE(journal.attemptStored(*test));
        growth.push_back(fs::file_size(journal.path()) - before);
    }
    // Head, kind, index, time, direction, six offsets, load, radius, count, samples.
    const uintmax_t record = 8 + 1 + 4 + 4 + 4 + 24 + 4 + 4 + 4 + 5000 * 24;
    for (uintmax_t g : growth) EXPECT_EQ(g, record);
    EXPECT_GT(first, record) << "the first also holds the mark and the subject";
}

TEST(SessionJournal, ACutAtEveryByteOfTheLastRecordGivesTheAttemptsBeforeIt) {
    TempDir dir;
    auto test = newTest();
    SessionJournal journal(dir.path().string());
    storeAttempt(*test, 260, 1);
    ASSERT_TRUE(journal.attemptStored(*test));
    storeAttempt(*test, 270, 2);
    ASSERT_TRUE(journal.attemptStored(*test));
    const std::string two = readFileBytes(journal.path());
    storeAttempt(*test, 280, 3);
    ASSERT_TRUE(journal.attemptStored(*test));
    const std::string whole = readFileBytes(journal.path());
    ASSERT_GT(whole.size(), two.size());

    // From the whole journal down, one byte shorter each time.
    const std::string cut = dir.file("cut.kvqj");
    writeFileBytes(cut, whole);
    auto back = std::make_unique<TestRecord>();
    for (size_t length = whole.size() - 1; length >= two.size(); --length) {
        ASSERT_EQ(::truncate(cut.c_str(), static_cast<off_t>(length)), 0);
        back->repetitionCount = 0;
        const JournalReading r = readJournal(cut, back.get());
        ASSERT_EQ(r.attempts, 2) << "cut at " << length;
        ASSERT_EQ(r.droppedRecords, length == two.size() ? 0 : 1) << "cut at " << length;
        ASSERT_EQ(r.end, two.size());
        ASSERT_EQ(back->repetitionCount, 2);
    }
    for (int i = 0; i < 2; ++i) expectSameRepetition(back->repetitions[i], test->repetitions[i]);

    // A changed byte anywhere in the last record (here in its samples, its index and its
    // length) is damage as well: the two before it, nothing wrong after them.
    for (size_t at : {whole.size() - 7, two.size() + 9, two.size()}) {
        std::string damaged = whole;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        writeFileBytes(cut, damaged);
        const JournalReading r = readJournal(cut, back.get());
        EXPECT_EQ(r.attempts, 2) << "byte " << at;
        EXPECT_EQ(r.droppedRecords, 1) << "byte " << at;
    }
    // Damage in the middle: what follows it is not used, even where it reads well.
    std::string middle = whole;
    middle[two.size() - 3] = static_cast<char>(middle[two.size() - 3] ^ 1);
    writeFileBytes(cut, middle);
    const JournalReading r = readJournal(cut, back.get());
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(r.droppedRecords, 2);
}

TEST(SessionJournal, HeldWhileItsStationRunsAndFoundNewestFirstWhenLeft) {
    TempDir dir;
    auto older = newTest("Older");
    auto newer = newTest("Newer");
    SessionJournal a(dir.path().string()), b(dir.path().string());
    storeAttempt(*older, 300, 1);
    ASSERT_TRUE(a.attemptStored(*older));
    storeAttempt(*newer, 300, 2);
    storeAttempt(*newer, 300, 3);
    ASSERT_TRUE(b.attemptStored(*newer));
    EXPECT_NE(a.path(), b.path());
    // The older one was last written a while ago.
    const timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, a.path().c_str(), times, 0), 0);

    std::vector<JournalEntry> found = listJournals(dir.path().string()).entries;
    ASSERT_EQ(found.size(), 2u);
    EXPECT_TRUE(found[0].held && found[1].held);
    {
        JournalClaim claim(b.path());
        EXPECT_FALSE(claim.claimed()) << "a running station's journal is not offered";
    }

    a.close(false);
    b.close(false);
    found = listJournals(dir.path().string()).entries;
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].subjectName, "Newer");
    EXPECT_EQ(found[0].attempts, 2);
    EXPECT_EQ(found[0].testTime, newer->testTime);
    EXPECT_EQ(found[1].subjectName, "Older");
    EXPECT_FALSE(found[0].held || found[1].held);

    JournalClaim claim(found[0].path);
    ASSERT_TRUE(claim.claimed());
    EXPECT_TRUE(journalHeld(found[0].path)) << "a claimed journal is held while the operator decides";
}

TEST(SessionJournal, AReadOnlyFolderCostsTheJournalAndIsToldOnce) {
    TempDir dir;
    const std::string folder = dir.file("DATA");
    fs::create_directory(folder);
    giveToUnprivileged(dir.path().string());
    giveToUnprivileged(folder);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    runUnprivileged([&] {
        auto test = newTest();
        SessionJournal journal(folder);
        storeAttempt(*test, 300, 1);
        EXPECT_FALSE(journal.attemptStored(*test));
        EXPECT_EQ(journal.error(), EACCES);
        EXPECT_EQ(journal.path().rfind(folder + "/unsaved-", 0), 0u) << journal.path();
        EXPECT_TRUE(journal.takeWarning());
        storeAttempt(*test, 300, 2);
        EXPECT_FALSE(journal.attemptStored(*test));
        EXPECT_FALSE(journal.takeWarning()) << "told once per test";
        EXPECT_EQ(test->repetitionCount, 2);
        EXPECT_TRUE(fs::is_empty(folder));
    });
}

// A folder that fills up: a real small tmpfs where the kernel lets an unprivileged user
// mount one in a namespace of its own, otherwise a file size limit, which fails the
// writes the same way. When room comes back, the next attempt brings the journal up to
// the test in memory.
TEST(SessionJournal, AFullDiskCostsTheJournalUntilThereIsRoomAgain) {
    TempDir dir;
    const std::string folder = dir.file("DATA");
    fs::create_directory(folder);
    giveToUnprivileged(dir.path().string());
    giveToUnprivileged(folder);
    runUnprivileged([&] {
        const uid_t uid = ::geteuid();
        const gid_t gid = ::getegid();
        bool tmpfs = false;
        // A process that dropped from root is not dumpable, and its maps would stay root's.
        ::prctl(PR_SET_DUMPABLE, 1);
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
            auto put = [](const char* file, const std::string& text) {
                std::ofstream out(file);
                out << text;
                out.close();
                return !out.fail();
            };
            put("/proc/self/setgroups", "deny");
            ASSERT_TRUE(put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1"));
            ASSERT_TRUE(put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"));
            tmpfs = ::mount("none", folder.c_str(), "tmpfs", 0, "size=64k,mode=0777") == 0;
        }
        const std::string filler = folder + "/filler";
        if (tmpfs) {
            writeFileBytes(filler, std::string(36 * 1024, 'x'));  // 9 of the 16 pages
        } else {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit small{28 * 1024, RLIM_INFINITY};
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        auto test = newTest();
        SessionJournal journal(folder);
        storeAttempt(*test, 1000, 1);  // 24 kB
        ASSERT_TRUE(journal.attemptStored(*test)) << std::strerror(journal.error());
        storeAttempt(*test, 300, 2);   // 7 kB more do not fit
        EXPECT_FALSE(journal.attemptStored(*test));
        EXPECT_EQ(journal.error(), tmpfs ? ENOSPC : EFBIG);
        EXPECT_TRUE(journal.takeWarning());
        EXPECT_EQ(test->repetitionCount, 2);
        {
            auto back = std::make_unique<TestRecord>();
            const JournalReading r = readJournal(journal.path(), back.get());
            EXPECT_EQ(r.attempts, 1);
            EXPECT_EQ(r.droppedRecords, 0) << "cut back to its last whole record";
        }

        if (tmpfs) {
            fs::remove(filler);
        } else {
            const rlimit room{RLIM_INFINITY, RLIM_INFINITY};
            ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &room), 0);
        }
        storeAttempt(*test, 300, 3);
        EXPECT_TRUE(journal.attemptStored(*test)) << std::strerror(journal.error());
        auto back = std::make_unique<TestRecord>();
        const JournalReading r = readJournal(journal.path(), back.get());
        ASSERT_EQ(r.attempts, 3) << "the attempt the full disk refused comes with the next";
        for (int i = 0; i < 3; ++i) expectSameRepetition(back->repetitions[i], test->repetitions[i]);
        std::cout << (tmpfs ? "[ on a 64 kB tmpfs ]" : "[ tmpfs refused: under a file size limit ]") << std::endl;
        journal.close(true);
        if (tmpfs) ::umount(folder.c_str());
    });
}

}  // namespace
}  // namespace vanta
