// The station's side of the session journal (storage/session_journal.h): telling the
// operator once that the test is not protected, and offering at start-up the tests that a
// station left unsaved when it stopped unexpectedly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "station/operator_dialogs.h"
#include "station/station.h"

namespace vanta {

inline constexpr std::string_view kMsgJournalNotWritten =
    "The unsaved test is not protected against a crash: its journal cannot be written.";

// "Recover the unsaved test of NAME from DATE (N attempts)?"
std::string recoveryQuestion(const std::string& name, int32_t testTime, int attempts);
// "Delete it? It stays in PATH otherwise."
std::string deleteQuestion(const std::string& path);

// After a journal event that returned false: the operator is told, once per test, with
// the journal's path and the reason. The attempt itself is stored whatever the journal did.
void tellJournalFailure(Station& station, OperatorDialogs& dialogs);

// Start-up: every journal in the data folder that no running station holds, newest first,
// is offered. Yes: that test becomes the test in memory, unsaved, with its results (the
// journal stays, as this station's own, until the test is saved); the journals after it
// wait for the next start. No: asked whether to delete it. A journal without a stored
// attempt holds no test and is removed without a question. True when a test was recovered.
bool recoverUnsavedTests(Station& station, OperatorDialogs& dialogs);

}  // namespace vanta
