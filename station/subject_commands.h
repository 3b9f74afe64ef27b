// Subject > "Subject Info" and Setup > "Subject info setup".
#pragma once

#include "station/operator_dialogs.h"
#include "station/station.h"
#include "storage/subject_library.h"

namespace vanta {

// The status bar's word after the test in memory was given another subject.
inline constexpr std::string_view kStatusSubjectChanged = "Subject changed: test not saved";

// Abbreviated: the station's subject dialog. Extended: the register's dialog; a chosen
// subject is copied into the test's subject. True when the subject may have changed: the
// caller repaints what shows it (the page header). A test in memory that gets another
// subject so is marked unsaved, and the status bar says so.
bool runSubjectInfo(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library);

// The choice between Abbreviated and Extended. The register itself is initialised only at
// start-up, so a switch to Extended reaches it after the next start.
void runSubjectInfoSetup(Station& station, OperatorDialogs& dialogs);

}  // namespace vanta
