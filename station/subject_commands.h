// Subject > "Subject Info" and Setup > "Subject info setup".
#pragma once

#include <string>
#include <string_view>

#include "station/operator_dialogs.h"
#include "station/station.h"
#include "storage/subject_library.h"

namespace vanta {

// The status bar's word after the test in memory was given another subject.
inline constexpr std::string_view kStatusSubjectChanged = "Subject changed: test not saved";
// The status bar's word after another subject was chosen while a saved test is shown.
inline constexpr std::string_view kStatusSavedTestKept = "Subject chosen for the next test: the saved test keeps its subject";

// The status bar's word after No to the athlete question.
inline constexpr std::string_view kStatusUnsavedTestKept = "Next test: the chosen subject; the unsaved test keeps its subject";

// "The unsaved test (2 attempts) is Łucja Nowak's. File it under Jan Novák?"
std::string fileUnderQuestion(const std::string& testSubject, int attempts, const std::string& chosen);

// Abbreviated: the station's subject dialog edits the test's subject. Extended: the
// register's dialog; a chosen subject becomes the register's current one. A saved test in
// memory is on disk under its own subject and keeps it (the next test takes the chosen
// one), and the status bar says so. An unsaved test changes athlete only when the
// operator says so (fileUnderQuestion): Yes files it, and its journal, under the chosen
// athlete; No keeps it its own athlete's (Station::keptSubjectKey) with the chosen one
// current for the next test; Cancel changes nothing, the register's current subject
// included. The chosen athlete's own data edited (the same athlete) go into the test
// without a question. True when the subject may have changed: the caller repaints what
// shows it (the page header). A test in memory that gets another subject is marked
// unsaved, the status bar says so, and when its name changed the file it came from or
// went to is forgotten: that file holds the other subject's test, so Save proposes a new
// name.
bool runSubjectInfo(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library);

// The register's id the session journal records for the test in memory: in Extended
// mode the athlete the test was kept for, else the register's current subject; empty in
// Abbreviated mode.
std::string journalSubjectKey(const Station& station, SubjectLibrary& library);

// The choice between Abbreviated and Extended. The register itself is initialised only at
// start-up, so a switch to Extended reaches it after the next start.
void runSubjectInfoSetup(Station& station, OperatorDialogs& dialogs);

}  // namespace vanta
