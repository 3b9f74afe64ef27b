// The station's side of the session journal (storage/session_journal.h): telling the
// operator once that the test is not protected, and offering at start-up the tests that a
// station left unsaved when it stopped unexpectedly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "station/operator_dialogs.h"
#include "station/station.h"
#include "storage/journal_reader.h"
#include "storage/subject_library.h"

namespace vanta {

inline constexpr std::string_view kMsgJournalNotWritten =
    "The unsaved test is not protected against a crash: its journal cannot be written.";
inline constexpr std::string_view kMsgJournalUnreadable =
    "An unsaved test's journal cannot be read. It stays where it is.";

// "Recover the unsaved test of NAME from DATE (N attempts)?"; for a journal not read whole
// "Recover the unsaved test of NAME from DATE? N attempts could be read; the journal is
// damaged after them."
std::string recoveryQuestion(const std::string& name, int32_t testTime, int attempts);
std::string recoveryQuestion(const std::string& name, const JournalReading& reading);
// "Delete it? It stays in PATH otherwise."
std::string deleteQuestion(const std::string& path);

// After a journal event that returned false: the operator is told, once per test, with
// the journal's path and the reason. The attempt itself is stored whatever the journal did.
void tellJournalFailure(Station& station, OperatorDialogs& dialogs);

// Start-up: every journal in the data folder that no running station holds, newest first,
// is offered. Yes: that test becomes the test in memory, unsaved, with its results, and
// the subject it was recorded for becomes `library`'s current subject (Extended mode); the
// journal stays, as this station's own, until the test is saved; the journals after it
// wait for the next start. No: asked whether to delete it (No is the default button).
// Only a journal read whole without a stored attempt is removed without a question; one
// that is damaged is offered with what could be read and kept byte for byte until the
// test is saved or the operator deletes it; one that cannot be read is named in a message
// and left. True when a test was recovered.
bool recoverUnsavedTests(Station& station, OperatorDialogs& dialogs, SubjectLibrary* library = nullptr);

}  // namespace vanta
