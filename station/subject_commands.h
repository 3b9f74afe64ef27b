// Subject > "Subject Info" and Setup > "Subject info setup".
#pragma once

#include "station/operator_dialogs.h"
#include "station/station.h"
#include "storage/subject_library.h"

namespace vanta {

// The status bar's word after the test in memory was given another subject.
inline constexpr std::string_view kStatusSubjectChanged = "Subject changed: test not saved";
// The status bar's word after another subject was chosen while a saved test is shown.
inline constexpr std::string_view kStatusSavedTestKept = "Subject chosen for the next test: the saved test keeps its subject";

// Abbreviated: the station's subject dialog edits the test's subject. Extended: the
// register's dialog; a chosen subject becomes the register's current one and is copied
// into the test's subject, except into a saved test in memory: that test is on disk under
// its own subject and keeps it (the next test takes the chosen one), and the status bar
// says so. True when the subject may have changed: the caller repaints what shows it (the
// page header). A test in memory that gets another subject is marked unsaved, the status
// bar says so, and when its name changed the file it came from or went to is forgotten:
// that file holds the other subject's test, so Save proposes a new name.
bool runSubjectInfo(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library);

// The choice between Abbreviated and Extended. The register itself is initialised only at
// start-up, so a switch to Extended reaches it after the next start.
void runSubjectInfoSetup(Station& station, OperatorDialogs& dialogs);

}  // namespace vanta
