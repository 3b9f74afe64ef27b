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
