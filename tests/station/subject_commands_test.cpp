// Subject > "Subject Info" and Setup > "Subject info setup" in both subject modes.
#include "station/subject_commands.h"

#include <gtest/gtest.h>

#include "tests/support/station_doubles.h"

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

    // Unsaved (a save that failed left its file name): the chosen subject applies.
    station.test.saved = 0;
    dialogs.statuses.clear();
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
