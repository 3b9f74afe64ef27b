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
#include <sys/wait.h>
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
#include <span>
#include <algorithm>

#include "storage/journal_format.h"
#include "storage/little_endian.h"
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
        ASSERT_EQ(r.ending, length == two.size() ? JournalEnd::Whole : JournalEnd::TornTail) << "cut at " << length;
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
        // (A length made shorter fails the checksum; one made longer would read as torn.)
        EXPECT_EQ(r.ending, JournalEnd::Damaged) << "byte " << at;
        EXPECT_EQ(r.damageOffset, two.size()) << "byte " << at;
    }
    // Damage in the middle: what follows it is not used, even where it reads well.
    std::string middle = whole;
    middle[two.size() - 3] = static_cast<char>(middle[two.size() - 3] ^ 1);
    writeFileBytes(cut, middle);
    const JournalReading r = readJournal(cut, back.get());
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(r.droppedRecords, 2);
    EXPECT_EQ(r.ending, JournalEnd::Damaged);
    EXPECT_LT(r.damageOffset, two.size());
    EXPECT_EQ(r.damageOffset, r.end) << "the damage starts where the used records end";
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


// A journal of `attempts` attempts; `sizes` gets its length after each of them.
std::string journalOf(const TempDir& dir, int attempts, std::vector<size_t>* sizes = nullptr,
                      std::unique_ptr<TestRecord>* kept = nullptr) {
    auto test = newTest();
    SessionJournal journal(dir.path().string());
    if (sizes) sizes->clear();
    for (int a = 0; a < attempts; ++a) {
        storeAttempt(*test, 250 + 10 * a, static_cast<uint32_t>(a + 1));
        EXPECT_TRUE(journal.attemptStored(*test));
        if (sizes) sizes->push_back(fs::file_size(journal.path()));
    }
    const std::string path = journal.path();
    journal.close(false);
    const std::string bytes = readFileBytes(path);
    fs::remove(path);
    if (kept) *kept = std::move(test);
    return bytes;
}

std::span<const uint8_t> asBytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

// Bytes from memory that fail (EIO) from the `failAt`-th read on: an injected read error.
class FailingSource : public JournalSource {
public:
    FailingSource(const std::string& bytes, int failAt) : bytes_(bytes), failAt_(failAt) {}
    IoResult read(void* dst, size_t n) override {
        IoResult r;
        if (++reads_ >= failAt_) {
            r.error = EIO;
            return r;
        }
        r.done = std::min(n, bytes_.size() - at_);
        std::memcpy(dst, bytes_.data() + at_, r.done);
        at_ += r.done;
        return r;
    }
    uint64_t size() override { return bytes_.size(); }

private:
    std::string bytes_;
    int failAt_;
    int reads_ = 0;
    size_t at_ = 0;
};

TEST(SessionJournal, AReadErrorIsNotTheEndOfTheFile) {
    TempDir dir;
    std::vector<size_t> sizes;
    const std::string bytes = journalOf(dir, 3, &sizes);
    // Reads: the mark, then a head and a body per record (subject and attempt 1 came in
    // one write but are two records): the 6th read is attempt 2's head.
    for (int failAt = 1; failAt <= 8; ++failAt) {
        FailingSource source(bytes, failAt);
        const JournalReading r = readJournalFrom(source, nullptr);
        EXPECT_EQ(r.ending, JournalEnd::ReadError) << failAt;
        EXPECT_EQ(r.error, EIO) << failAt;
        EXPECT_TRUE(r.damaged());
        EXPECT_FALSE(r.readWhole());
        EXPECT_LE(r.attempts, 3);
    }
    FailingSource atSecond(bytes, 6);
    const JournalReading r = readJournalFrom(atSecond, nullptr);
    EXPECT_EQ(r.attempts, 1);
    EXPECT_EQ(r.damageOffset, sizes[0]);
    EXPECT_NE(describeEnding(r).find("Input/output error"), std::string::npos) << describeEnding(r);
    // The same bytes read whole.
    FailingSource never(bytes, 1000);
    EXPECT_EQ(readJournalFrom(never, nullptr).ending, JournalEnd::Whole);
    EXPECT_EQ(readJournalFrom(never, nullptr).attempts, 0) << "a used source has nothing more";
}

TEST(SessionJournal, ReadsTheSameFromItsBytesInMemory) {
    TempDir dir;
    std::unique_ptr<TestRecord> test;
    const std::string bytes = journalOf(dir, 3, nullptr, &test);
    const std::string path = dir.file("j.kvqj");
    writeFileBytes(path, bytes);
    auto fromFile = std::make_unique<TestRecord>();
    auto fromBytes = std::make_unique<TestRecord>();
    const JournalReading a = readJournal(path, fromFile.get());
    const JournalReading b = readJournalBytes(asBytes(bytes), fromBytes.get());
    EXPECT_EQ(a.ending, JournalEnd::Whole);
    EXPECT_EQ(b.ending, JournalEnd::Whole);
    EXPECT_EQ(a.attempts, 3);
    EXPECT_EQ(b.attempts, 3);
    EXPECT_EQ(a.end, b.end);
    EXPECT_EQ(savedBytes(*fromFile, dir), savedBytes(*fromBytes, dir));
    EXPECT_EQ(savedBytes(*fromBytes, dir), savedBytes(*test, dir));
}

// A head claiming nearly 4 GB is damage at its offset: the reader never asks for the
// memory, so under an address-space limit it neither aborts nor takes it for a torn tail.
TEST(SessionJournal, AHugeClaimedLengthIsDamageAndCostsNoMemory) {
    TempDir dir;
    std::vector<size_t> sizes;
    std::string bytes = journalOf(dir, 2, &sizes);
    const size_t at = bytes.size();
    std::string head;
    putU32(head, 0xF0000000u);
    putU32(head, 0);
    bytes += head + std::string(100, 'x');
    const JournalReading r = readJournalBytes(asBytes(bytes), nullptr);
    EXPECT_EQ(r.ending, JournalEnd::Damaged);
    EXPECT_EQ(r.damageOffset, at);
    EXPECT_EQ(r.attempts, 2);
    EXPECT_EQ(r.droppedBytes, 108u);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    const std::string path = dir.file("huge.kvqj");
    writeFileBytes(path, bytes);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{1u << 30, 1u << 30};  // 1 GiB of address space
        ::setrlimit(RLIMIT_AS, &limit);
        auto back = std::make_unique<TestRecord>();
        const JournalReading inChild = readJournal(path, back.get());
        ::_exit(inChild.ending == JournalEnd::Damaged && inChild.attempts == 2 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the reading under a 1 GiB limit aborted";
#endif
}

// Every event is on the disk when it returns: its records were synced (fdatasync) after
// they were written, once per event.
int syncs = 0;
int syncedFd = -1;
TEST(SessionJournal, EveryEventIsSyncedBeforeItReturns) {
    TempDir dir;
    auto test = newTest();
    SessionJournal journal(dir.path().string());
    observeJournalSyncs([](int fd) {
        ++syncs;
        syncedFd = fd;
    });
    syncs = 0;
    for (int a = 0; a < 3; ++a) {
        storeAttempt(*test, 300, static_cast<uint32_t>(a + 1));
        ASSERT_TRUE(journal.attemptStored(*test));
        EXPECT_EQ(syncs, a + 1) << "attempt " << a;
    }
    --test->repetitionCount;
    ASSERT_TRUE(journal.attemptIgnored(*test));
    EXPECT_EQ(syncs, 4);
    ASSERT_TRUE(journal.calibrated(*test));
    EXPECT_EQ(syncs, 5);
    observeJournalSyncs(nullptr);
}

// The subject register's id of the test's subject goes into the subject record, and a
// change of it writes the subject again; a journal without one is as it always was.
TEST(SessionJournal, KeepsTheSubjectsRegisterId) {
    TempDir dir;
    auto test = newTest();
    std::string id = "0b3c7a52-9f1e-4d1a-8c2e-5b2f6f0d9e11";
    SessionJournal journal(dir.path().string());
    journal.setSubjectIdSource([&] { return id; });
    storeAttempt(*test, 300, 1);
    ASSERT_TRUE(journal.attemptStored(*test));
    EXPECT_EQ(readJournal(journal.path(), nullptr).subjectId, id);
    id = "7d2f4b8e-1111-4a2b-9c3d-222233334444";
    storeAttempt(*test, 300, 2);
    ASSERT_TRUE(journal.attemptStored(*test));
    const JournalReading r = readJournal(journal.path(), nullptr);
    EXPECT_EQ(r.subjectId, id);
    EXPECT_EQ(r.records, 4) << "subject, attempt, subject again, attempt";
    journal.close(true);

    SessionJournal plain(dir.path().string());
    ASSERT_TRUE(plain.attemptStored(*test));
    EXPECT_TRUE(readJournal(plain.path(), nullptr).subjectId.empty());
    plain.close(true);
}

// A damaged journal the test is recovered from stays byte for byte; the test goes on in a
// new journal that holds every recovered attempt; the save removes both.
TEST(SessionJournal, ADamagedJournalStaysAsItIsWhileItsTestGoesOn) {
    TempDir dir;
    std::vector<size_t> sizes;
    std::string bytes = journalOf(dir, 3, &sizes);
    bytes[sizes[1] - 5] = static_cast<char>(bytes[sizes[1] - 5] ^ 0x40);  // in attempt 2
    const std::string path = dir.file("unsaved-2025-12-06-120000.kvqj");
    writeFileBytes(path, bytes);

    JournalClaim claim(path);
    ASSERT_TRUE(claim.claimed());
    auto test = std::make_unique<TestRecord>();
    const JournalReading r = readJournalFd(claim.fd(), test.get());
    ASSERT_EQ(r.ending, JournalEnd::Damaged);
    ASSERT_EQ(r.attempts, 1);
    EXPECT_EQ(r.damageOffset, sizes[0]);
    EXPECT_EQ(r.droppedRecords, 2) << "attempt 3 is whole, and not used";

    SessionJournal journal(dir.path().string());
    ASSERT_TRUE(journal.continueFrom(claim.release(), path, *test));
    EXPECT_NE(journal.path(), path);
    EXPECT_EQ(readFileBytes(path), bytes) << "kept byte for byte";
    EXPECT_TRUE(journalHeld(path));
    storeAttempt(*test, 300, 9);
    ASSERT_TRUE(journal.attemptStored(*test));
    EXPECT_EQ(readJournal(journal.path(), nullptr).attempts, 2);
    EXPECT_EQ(readFileBytes(path), bytes);
    const std::string next = journal.path();
    journal.close(true);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_FALSE(fs::exists(next));
}

TEST(SessionJournal, AFolderThatCannotBeListedIsToldWithItsReason) {
    TempDir dir;
    const JournalListing listing = listJournals(dir.file("missing"));
    EXPECT_EQ(listing.error, ENOENT);
    EXPECT_TRUE(listing.entries.empty());
    // A file with a journal's name and no mark is listed, as not a journal.
    writeFileBytes(dir.file("unsaved-2025-01-01-000000.kvqj"), "not a journal at all");
    const JournalListing one = listJournals(dir.path().string());
    EXPECT_EQ(one.error, 0);
    ASSERT_EQ(one.entries.size(), 1u);
    EXPECT_FALSE(one.entries[0].reading.isJournal);
}

}  // namespace
}  // namespace vanta
