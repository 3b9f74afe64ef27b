#include "station/session_recovery.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include "core/analysis.h"
#include "reports/page_header.h"
#include "storage/repetition_block.h"
#include "storage/session_journal.h"

namespace vanta {

namespace {

std::string attemptsText(int n) { return std::to_string(n) + (n == 1 ? " attempt" : " attempts"); }

std::string subjectAndDate(const std::string& name, int32_t testTime) {
    return (name.empty() ? std::string("(no name)") : name) + " from " + formatTime(testTime, "%d.%m.%Y %H:%M");
}

// The recovered test becomes the test in memory, unsaved, analysed.
void takeOver(Station& station, TestRecord& from, int attempts) {
    TestRecord& into = station.test;
    into.subject = from.subject;
    into.testTime = from.testTime;
    into.repetitionCount = attempts;
    for (int r = 0; r < attempts; ++r) {
        copyBlockHeader(from.repetitions[r], into.repetitions[r]);
        into.repetitions[r].raw.swap(from.repetitions[r].raw);
    }
    analyseRepetitions(into, into.repetitionCount);
    into.saved = 0;
    station.resultsAvailable = 1;
    station.lastFilePath.clear();
    station.keptSubjectKey.clear();
}

// The journal goes on as this station's: a journal read whole is appended to; any other
// (torn at its end, damaged) stays byte for byte beside a new one until the test is saved.
void continueJournal(Station& station, OperatorDialogs& dialogs, JournalClaim& claim, const std::string& path,
                     const JournalReading& reading) {
    if (reading.readWhole()) {
        station.journal.adopt(claim.release(), path, station.test, reading.end);
        return;
    }
    if (!station.journal.continueFrom(claim.release(), path, station.test)) tellJournalFailure(station, dialogs);
}

// Offers one journal; true when its test was recovered.
bool offer(Station& station, OperatorDialogs& dialogs, SubjectLibrary* library, const JournalEntry& entry) {
    // Held while the operator decides, so that a station starting meanwhile leaves it.
    JournalClaim claim(entry.path);
    if (!claim.claimed()) {
        // Held by a station that started meanwhile: that one offers it. Else it is named.
        if (claim.lastError() != EAGAIN && claim.lastError() != EACCES)
            dialogs.message(kMsgJournalUnreadable, entry.path + ": " + std::strerror(claim.lastError()));
        return false;
    }
    auto test = std::make_unique<TestRecord>();
    const JournalReading reading = readJournalFd(claim.fd(), test.get());
    if (reading.ending == JournalEnd::ReadError || !reading.isJournal) {
        dialogs.message(kMsgJournalUnreadable, entry.path + ": " + describeEnding(reading));
        return false;
    }
    if (reading.attempts == 0 && reading.readWhole()) {
        claim.remove();
        return false;
    }
    if (reading.attempts > 0 && dialogs.askYesNo(recoveryQuestion(test->subject.name, reading))) {
        takeOver(station, *test, reading.attempts);
        // Filed under the subject it was recorded for, not whoever is current.
        // The test keeps the subject fields the journal gave.
        if (library && station.settings.subjectLibraryMode != 0 && !reading.subjectId.empty())
            library->selectSubjectByKey(reading.subjectId);
        continueJournal(station, dialogs, claim, entry.path, reading);
        return true;
    }
    std::string question = deleteQuestion(entry.path);
    if (reading.attempts == 0)
        question = "The unsaved test of " + subjectAndDate(test->subject.name, reading.testTime) +
                   " holds no attempt that could be read (" + describeEnding(reading) + ").\n" + question;
    if (dialogs.askYesNo(question, Answer::No)) claim.remove();
    return false;
}

}  // namespace

std::string recoveryQuestion(const std::string& name, int32_t testTime, int attempts) {
    return "Recover the unsaved test of " + subjectAndDate(name, testTime) + " (" + attemptsText(attempts) + ")?";
}

std::string recoveryQuestion(const std::string& name, const JournalReading& reading) {
    if (!reading.damaged()) return recoveryQuestion(name, reading.testTime, reading.attempts);
    return "Recover the unsaved test of " + subjectAndDate(name, reading.testTime) + "? " +
           std::to_string(reading.attempts) + (reading.attempts == 1 ? " attempt" : " attempts") +
           " could be read; the journal is damaged after " + (reading.attempts == 1 ? "it." : "them.");
}

std::string deleteQuestion(const std::string& path) { return "Delete it? It stays in " + path + " otherwise."; }

void tellJournalFailure(Station& station, OperatorDialogs& dialogs) {
    if (!station.journal.takeWarning()) return;
    dialogs.message(kMsgJournalNotWritten, station.journal.lastMessage());
}

bool recoverUnsavedTests(Station& station, OperatorDialogs& dialogs, SubjectLibrary* library) {
    if (station.journal.folder().empty()) return false;
    const JournalListing listing = listJournals(station.journal.folder());
    for (const JournalEntry& entry : listing.entries) {
        if (entry.held) continue;
        if (offer(station, dialogs, library, entry)) return true;
    }
    return false;
}

}  // namespace vanta
