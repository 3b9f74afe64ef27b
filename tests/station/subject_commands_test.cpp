// Subject > "Subject Info" and Setup > "Subject info setup" in both subject modes.
#include "station/subject_commands.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/demo_test.h"
#include "station/file_commands.h"
#include "station/session_recovery.h"
#include "storage/journal_reader.h"
#include "tests/support/station_doubles.h"
#include "tests/support/temp_dir.h"

namespace vanta {
namespace {

using namespace vanta::testing;
using Log = std::vector<std::string>;

TEST(SubjectCommands, SubjectInfoUsesTheStationsDialogOrTheRegister) {
    Station station;
    ScriptedDialogs dialogs;
    RecordingLibrary library;

    // Abbreviated: the station's own dialog edits the test's subject.
    station.settings.subjectLibraryMode = 0;
    dialogs.subjectAnswer = true;
    dialogs.subjectToEnter.name = "Cy Dahl";
    runSubjectInfo(station, dialogs, library);
    EXPECT_EQ(station.test.subject.name, "Cy Dahl");
    EXPECT_TRUE(library.calls.empty());

    // Extended: the register's dialog; only a chosen subject fills the station's subject.
    station.settings.subjectLibraryMode = 1;
    dialogs.log.clear();
    runSubjectInfo(station, dialogs, library);
    EXPECT_EQ(library.calls, Log{"chooseSubject"});
    EXPECT_EQ(station.test.subject.name, "Cy Dahl");
    library.subjectDialogAnswer = true;
    library.librarySubject.name = "Di Ek";
    runSubjectInfo(station, dialogs, library);
    EXPECT_EQ(library.calls, (Log{"chooseSubject", "chooseSubject", "copyCurrentSubject"}));
    EXPECT_EQ(station.test.subject.name, "Di Ek");
    EXPECT_TRUE(dialogs.log.empty());
}

// Choosing another athlete never relabels a saved test in memory: she is chosen for the
// next test, the test keeps its subject and its file. An unsaved test takes her: it is
// marked unsaved, the status bar says so, and the file it came from is forgotten, so Save
// proposes a new name instead of the old subject's file. Choosing the same subject again,
// or any subject before a test exists, changes nothing of the kind.
TEST(SubjectCommands, AnotherSubjectRelabelsOnlyAnUnsavedTest) {
    Station station;
    ScriptedDialogs dialogs;
    RecordingLibrary library;
    station.settings.subjectLibraryMode = 1;
    library.subjectDialogAnswer = true;
    library.librarySubject.name = "Ann Lee";

    runSubjectInfo(station, dialogs, library);  // no test yet
    EXPECT_EQ(station.test.subject.name, "Ann Lee");
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_TRUE(dialogs.statuses.empty());

    station.resultsAvailable = 1;  // Ann's test read from her file
    station.lastFilePath = "/data/Ann_Lee/t1.kvq";
    runSubjectInfo(station, dialogs, library);  // the same subject again
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_TRUE(dialogs.statuses.empty());

    library.librarySubject.name = "Bo Berg";
    EXPECT_TRUE(runSubjectInfo(station, dialogs, library));
    EXPECT_EQ(station.test.subject.name, "Ann Lee");
    EXPECT_EQ(station.test.saved, 1);
    EXPECT_EQ(station.lastFilePath, "/data/Ann_Lee/t1.kvq");
    EXPECT_EQ(dialogs.statuses, Log{"Subject chosen for the next test: the saved test keeps its subject"});

    // Unsaved (a save that failed left its file name): the chosen subject applies once
    // the operator says so.
    station.test.saved = 0;
    dialogs.statuses.clear();
    dialogs.yesNoCancelAnswers = {Answer::Yes};
    EXPECT_TRUE(runSubjectInfo(station, dialogs, library));
    EXPECT_EQ(station.test.subject.name, "Bo Berg");
    EXPECT_EQ(station.test.saved, 0);
    EXPECT_TRUE(station.lastFilePath.empty());
    EXPECT_EQ(dialogs.statuses, Log{"Subject changed: test not saved"});

    // Abbreviated, attempts recorded but not yet ended with EXIT: the dialog edits the
    // test's own subject; a change of age alone keeps the file name.
    station.settings.subjectLibraryMode = 0;
    station.resultsAvailable = 0;
    station.test.repetitionCount = 2;
    station.test.saved = 1;
    station.lastFilePath = "/data/bo.kvq";
    dialogs.subjectAnswer = true;
    dialogs.subjectToEnter = station.test.subject;
    dialogs.subjectToEnter.age = 40;
    runSubjectInfo(station, dialogs, library);
    EXPECT_EQ(station.test.saved, 0);
    EXPECT_EQ(station.lastFilePath, "/data/bo.kvq");
}

// A register whose dialog makes the next of its subjects current, as the operator would.
class ChoosingLibrary : public RecordingLibrary {
public:
    std::vector<std::pair<std::string, SubjectInfo>> choices;  // key and subject, in turn
    bool chooseSubject() override {
        calls.push_back("chooseSubject");
        if (choices.empty()) return false;
        currentKey = choices.front().first;
        librarySubject = choices.front().second;
        hasSubject = true;
        choices.erase(choices.begin());
        return true;
    }
};

// Two attempts recorded for Łucja, then Jan chosen: the test changes athlete only on Yes,
// and its journal with it, so a crash brings it back as Jan's; No keeps it Łucja's
// (journal and save alike) with Jan the next test's athlete; Cancel changes nothing.
TEST(SubjectCommands, AnUnsavedTestChangesAthleteOnlyWhenAsked) {
    TempDir dir;
    Station station;
    ScriptedDialogs dialogs;
    ChoosingLibrary library;
    SubjectInfo lucja, jan;
    lucja.name = "\xC5\x81ucja Nowak-Brz\xC4\x99" "czyszczykiewicz";
    jan.name = "Jan Nov\xC3\xA1k";
    const std::string L = "11111111-aaaa", J = "22222222-bbbb";
    library.knownKeys = {L, J};
    library.hasSubject = true;
    library.currentKey = L;
    library.librarySubject = lucja;
    station.settings.subjectLibraryMode = 1;
    station.journal.setFolder(dir.path().string());
    station.journal.setSubjectIdSource([&] { return journalSubjectKey(station, library); });
    DemoOptions demo;
    demo.repetitions = 2;
    fillDemoTest(station.test, demo);
    station.test.subject = lucja;
    station.test.saved = 0;
    station.resultsAvailable = 1;
    for (int n = 1; n <= 2; ++n) {
        station.test.repetitionCount = n;
        ASSERT_TRUE(station.journal.attemptStored(station.test));
    }
    const std::string journal = station.journal.path();
    auto journalSays = [&] {
        const JournalReading r = readJournal(journal, nullptr);
        return r.subjectName + "|" + r.subjectId;
    };
    const std::string question =
        "ask yes/no/cancel: The unsaved test (2 attempts) is \xC5\x81ucja Nowak-Brz\xC4\x99" "czyszczykiewicz's. "
        "File it under Jan Nov\xC3\xA1k?";

    // Cancel: nothing changes, the register's current athlete included.
    library.choices = {{J, jan}};
    dialogs.yesNoCancelAnswers = {Answer::Cancel};
    EXPECT_FALSE(runSubjectInfo(station, dialogs, library));
    EXPECT_EQ(dialogs.log, Log{question});
    EXPECT_EQ(station.test.subject, lucja);
    EXPECT_EQ(library.currentKey, L);
    EXPECT_TRUE(station.keptSubjectKey.empty());
    EXPECT_EQ(journalSays(), lucja.name + "|" + L);

    // No: the test stays hers, on disk too; Jan is the next test's athlete.
    library.choices = {{J, jan}};
    dialogs.yesNoCancelAnswers = {Answer::No};
    EXPECT_TRUE(runSubjectInfo(station, dialogs, library));
    EXPECT_EQ(station.test.subject, lucja);
    EXPECT_EQ(station.test.saved, 0);
    EXPECT_EQ(library.currentKey, J);
    EXPECT_EQ(station.keptSubjectKey, L);
    EXPECT_EQ(journalSubjectKey(station, library), L);
    EXPECT_EQ(dialogs.statuses, Log{std::string(kStatusUnsavedTestKept)});
    // Saved now, it goes into her folder: she is current while the register names it.
    FileCommands files(station, dialogs, library);
    library.calls.clear();
    EXPECT_FALSE(files.save());  // the save dialog cancelled
    const Log saving{"selectSubjectByKey " + L, "hasCurrentSubject", "testDirectory " + std::to_string(station.test.testTime),
                     "selectSubjectByKey " + J};
    EXPECT_EQ(library.calls, saving);
    EXPECT_EQ(station.keptSubjectKey, L);
    // IGNORE (or anything else the journal writes) still journals her.
    ASSERT_TRUE(station.journal.attemptStored(station.test));
    EXPECT_EQ(journalSays(), lucja.name + "|" + L);

    // Jan chosen again, Yes: the test and its journal are his.
    library.choices = {{J, jan}};
    dialogs.log.clear();
    dialogs.yesNoCancelAnswers = {Answer::Yes};
    EXPECT_TRUE(runSubjectInfo(station, dialogs, library));
    EXPECT_EQ(dialogs.log, Log{question});
    EXPECT_EQ(station.test.subject, jan);
    EXPECT_TRUE(station.keptSubjectKey.empty());
    EXPECT_EQ(journalSays(), jan.name + "|" + J);

    // The station stops here; the next start offers the test as Jan's and files it so.
    station.journal.close(false);
    Station next;
    next.settings.subjectLibraryMode = 1;
    next.journal.setFolder(dir.path().string());
    ScriptedDialogs asked;
    RecordingLibrary registerAfter;
    registerAfter.knownKeys = {L, J};
    asked.yesNoAnswers = {true};
    ASSERT_TRUE(recoverUnsavedTests(next, asked, &registerAfter));
    ASSERT_EQ(asked.log.size(), 1u);
    EXPECT_EQ(asked.log[0].rfind("ask: Recover the unsaved test of Jan Nov\xC3\xA1k from ", 0), 0u) << asked.log[0];
    EXPECT_EQ(next.test.subject, jan);
    EXPECT_EQ(registerAfter.currentKey, J);
}

TEST(SubjectCommands, AnyModeButAbbreviatedIsStoredAsExtended) {
    Station station;
    ScriptedDialogs dialogs;
    station.settings.subjectLibraryMode = 0;
    dialogs.modeToChoose = 7;
    runSubjectInfoSetup(station, dialogs);
    EXPECT_EQ(station.settings.subjectLibraryMode, 1);
    dialogs.modeToChoose = 0;
    runSubjectInfoSetup(station, dialogs);
    EXPECT_EQ(station.settings.subjectLibraryMode, 0);
    dialogs.modeToChoose.reset();  // Cancel
    station.settings.subjectLibraryMode = 1;
    runSubjectInfoSetup(station, dialogs);
    EXPECT_EQ(station.settings.subjectLibraryMode, 1);
}

}  // namespace
}  // namespace vanta
