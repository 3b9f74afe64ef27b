// Start-up recovery of the unsaved test without the window: what the operator is asked
// about each journal a station left, what becomes of the test in memory and of the file.
// A journal is removed without a question only when it was read whole and holds no
// attempt; a damaged one is offered with what could be read and kept byte for byte.
#include "station/session_recovery.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "core/demo_test.h"
#include "station/file_commands.h"
#include "storage/session_journal.h"
#include "tests/support/station_doubles.h"
#include "tests/support/temp_dir.h"

namespace vanta {
namespace {

namespace fs = std::filesystem;
using namespace vanta::testing;

constexpr const char* kAnaId = "5d6f0a34-0c1b-4b8e-9a57-3e2d1c0b9a88";

class SessionRecoveryTest : public ::testing::Test {
protected:
    TempDir dir;
    Station station;
    ScriptedDialogs dialogs;
    RecordingLibrary library;
    std::string folder;
    std::vector<size_t> sizes;  // the journal's length after each attempt

    void SetUp() override {
        folder = dir.file("DATA");
        fs::create_directory(folder);
        station.settings.subjectLibraryMode = 0;
        station.journal.setFolder(folder);
    }

    // What a station that stopped left: `attempts` attempts of Ana's test (none: only a
    // calibration), recorded while the register's subject `id` was current.
    std::string leftJournal(int attempts, const std::string& id = {}) {
        auto test = std::make_unique<TestRecord>();
        DemoOptions demo;
        demo.repetitions = attempts;
        fillDemoTest(*test, demo);
        test->subject.name = "Ana Horvat";
        test->saved = 0;
        SessionJournal left(folder);
        left.setSubjectIdSource([id] { return id; });
        sizes.clear();
        if (attempts == 0) EXPECT_TRUE(left.calibrated(*test));
        for (int n = 1; n <= attempts; ++n) {
            test->repetitionCount = n;
            EXPECT_TRUE(left.attemptStored(*test));
            sizes.push_back(fs::file_size(left.path()));
        }
        const std::string path = left.path();
        left.close(false);
        return path;
    }

    void flipByte(const std::string& path, size_t at) {
        std::string bytes = readFileBytes(path);
        bytes[at] = static_cast<char>(bytes[at] ^ 0x20);
        writeFileBytes(path, bytes);
    }
};

TEST_F(SessionRecoveryTest, ARecoveredTestIsUnsavedWithItsResults) {
    const std::string journal = leftJournal(2);
    station.test.saved = 1;
    dialogs.yesNoAnswers = {true};
    ASSERT_TRUE(recoverUnsavedTests(station, dialogs, &library));
    ASSERT_EQ(dialogs.log.size(), 1u);
    EXPECT_TRUE(dialogs.log[0].ends_with("(2 attempts)?")) << dialogs.log[0];
    EXPECT_EQ(station.test.repetitionCount, 2);
    EXPECT_EQ(station.test.saved, 0) << "a recovered test is not in any file yet";
    EXPECT_EQ(station.resultsAvailable, 1);
    EXPECT_GT(station.test.results[1].at(PeakAll, ResultColumn::Velocity), 100.0f);
    EXPECT_EQ(station.journal.path(), journal) << "the journal goes on as this station's";
    EXPECT_TRUE(journalHeld(journal));
}

TEST_F(SessionRecoveryTest, OnlyAJournalReadWholeWithoutAttemptsGoesWithoutAQuestion) {
    const std::string empty = leftJournal(0);
    EXPECT_FALSE(recoverUnsavedTests(station, dialogs, &library));
    EXPECT_TRUE(dialogs.log.empty());
    EXPECT_FALSE(fs::exists(empty));

    // Its first record (the subject) damaged: no attempt could be read, but the journal
    // is not read whole, so the operator is asked, with No as the default, and it stays.
    const std::string damaged = leftJournal(2);
    flipByte(damaged, 8 + 8 + 3);
    const std::string before = readFileBytes(damaged);
    EXPECT_FALSE(recoverUnsavedTests(station, dialogs, &library));
    ASSERT_EQ(dialogs.log.size(), 1u);
    EXPECT_NE(dialogs.log[0].find("holds no attempt that could be read (damaged at byte 8)."),
              std::string::npos)
        << dialogs.log[0];
    EXPECT_TRUE(dialogs.log[0].ends_with("Delete it? It stays in " + damaged + " otherwise.")) << dialogs.log[0];
    EXPECT_EQ(dialogs.yesNoDefaults, std::vector<Answer>{Answer::No});
    EXPECT_EQ(readFileBytes(damaged), before);
}

TEST_F(SessionRecoveryTest, ADamagedJournalIsOfferedWithWhatCouldBeReadAndKeptByteForByte) {
    const std::string journal = leftJournal(3);
    flipByte(journal, sizes[1] - 100);  // in attempt 2; attempt 3 stays whole
    const std::string before = readFileBytes(journal);

    // No, and No to "Delete it?", whose default button is No.
    dialogs.yesNoAnswers = {false, false};
    EXPECT_FALSE(recoverUnsavedTests(station, dialogs, &library));
    ASSERT_EQ(dialogs.log.size(), 2u);
    EXPECT_TRUE(dialogs.log[0].ends_with("? 1 attempt could be read; the journal is damaged after it.")) << dialogs.log[0];
    EXPECT_EQ(dialogs.log[1], "ask: " + deleteQuestion(journal));
    EXPECT_EQ(dialogs.yesNoDefaults, (std::vector<Answer>{Answer::Yes, Answer::No}));
    EXPECT_EQ(readFileBytes(journal), before);

    // Yes: the attempt that could be read, and the file as it was.
    dialogs.yesNoAnswers = {true};
    ASSERT_TRUE(recoverUnsavedTests(station, dialogs, &library));
    EXPECT_EQ(station.test.repetitionCount, 1);
    EXPECT_EQ(station.test.saved, 0);
    EXPECT_EQ(readFileBytes(journal), before) << "never cut: attempt 3 is still in it";
    EXPECT_NE(station.journal.path(), journal) << "the test goes on in a journal of its own";
    EXPECT_EQ(readJournal(station.journal.path(), nullptr).attempts, 1);
    EXPECT_TRUE(journalHeld(journal));

    // Saved: both go.
    const std::string next = station.journal.path();
    station.journal.close(true);
    EXPECT_FALSE(fs::exists(journal));
    EXPECT_FALSE(fs::exists(next));
}

// Torn in its last record (the station stopped while appending it): that record was never
// stored, so the question is the plain one; the file is still not cut.
TEST_F(SessionRecoveryTest, ATornJournalIsOfferedPlainlyAndNotCut) {
    const std::string journal = leftJournal(3);
    fs::resize_file(journal, sizes[2] - 10);
    const std::string before = readFileBytes(journal);
    dialogs.yesNoAnswers = {true};
    ASSERT_TRUE(recoverUnsavedTests(station, dialogs, &library));
    ASSERT_EQ(dialogs.log.size(), 1u);
    EXPECT_TRUE(dialogs.log[0].ends_with("(2 attempts)?")) << dialogs.log[0];
    EXPECT_EQ(station.test.repetitionCount, 2);
    EXPECT_EQ(readFileBytes(journal), before);
    station.journal.close(true);
    EXPECT_FALSE(fs::exists(journal));
}

TEST_F(SessionRecoveryTest, AJournalThatCannotBeReadIsNamedAndKept) {
    const std::string path = folder + "/unsaved-2025-01-01-000000.kvqj";
    writeFileBytes(path, "KVQJ-but-not-quite");
    EXPECT_FALSE(recoverUnsavedTests(station, dialogs, &library));
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0], kMsgJournalUnreadable);
    EXPECT_EQ(dialogs.details[0], path + ": not a journal of the station");
    EXPECT_TRUE(fs::exists(path));
}

TEST_F(SessionRecoveryTest, ARecoveredTestIsFiledUnderTheSubjectItWasRecordedFor) {
    station.settings.subjectLibraryMode = 1;
    library.hasSubject = true;
    library.currentKey = "another-subject";
    library.knownKeys = {kAnaId, "another-subject"};
    leftJournal(2, kAnaId);
    dialogs.yesNoAnswers = {true};
    ASSERT_TRUE(recoverUnsavedTests(station, dialogs, &library));
    EXPECT_EQ(library.calls, std::vector<std::string>{std::string("selectSubjectByKey ") + kAnaId});
    EXPECT_EQ(library.currentKey, kAnaId);
    EXPECT_EQ(station.test.subject.name, "Ana Horvat");

    // Save proposes her folder (the current subject's) and asks for no other subject.
    library.dataDirectory = dir.file("DATA/ana-horvat");
    FileCommands files(station, dialogs, library, FileCommandHooks{});
    dialogs.saveAnswers.push_back(std::nullopt);
    EXPECT_FALSE(files.save());
    EXPECT_TRUE(dialogs.asked("save: |" + library.dataDirectory));
    for (const std::string& call : library.calls) EXPECT_NE(call, "chooseSubject");
}

}  // namespace
}  // namespace vanta
