#include "station/subject_commands.h"

#include "station/session_recovery.h"

namespace vanta {

namespace {

std::string nameOrNone(const std::string& name) { return name.empty() ? std::string("a subject without a name") : name; }

// A test's subject changed: its journal tells the new one from now on, so that a crash
// brings the test back under the subject it now has.
void journalSubject(Station& station, OperatorDialogs& dialogs) {
    if (station.journal.isOpen() && !station.journal.subjectChanged(station.test)) tellJournalFailure(station, dialogs);
}

}  // namespace

std::string fileUnderQuestion(const std::string& testSubject, int attempts, const std::string& chosen) {
    const std::string whose = testSubject.empty() ? std::string("a subject without a name's") : testSubject + "'s";
    return "The unsaved test (" + std::to_string(attempts) + (attempts == 1 ? " attempt" : " attempts") + ") is " +
           whose + ". File it under " + nameOrNone(chosen) + "?";
}

bool runSubjectInfo(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library) {
    SubjectInfo& subject = station.test.subject;
    const SubjectInfo before = subject;
    const bool testInMemory = station.resultsAvailable != 0 || station.test.repetitionCount > 0;
    if (station.settings.subjectLibraryMode == 0) {
        if (!dialogs.editSubject(subject)) return false;
    } else {
        // Whose the test is before the choice: the athlete it was kept for, else the
        // register's current one.
        const std::string currentBefore = library.currentSubjectKey();
        const std::string testKey = station.keptSubjectKey.empty() ? currentBefore : station.keptSubjectKey;
        if (!library.chooseSubject()) return false;
        SubjectInfo chosen;
        library.copyCurrentSubject(chosen);
        if (testInMemory && station.test.saved != 0) {
            // Choosing an athlete in the register never relabels a test already on disk:
            // saved again, it would go into its file, or hers, under the wrong name.
            if (!(chosen == subject)) dialogs.showStatus(kStatusSavedTestKept);
            return true;
        }
        const std::string chosenKey = library.currentSubjectKey();
        // Another person, by the register's ids where both are known, else by name: an
        // athlete whose weight was edited is still the same athlete.
        const bool anotherAthlete =
            !testKey.empty() && !chosenKey.empty() ? testKey != chosenKey : chosen.name != subject.name;
        if (testInMemory && anotherAthlete) {
            switch (dialogs.askYesNoCancel(fileUnderQuestion(subject.name, station.test.repetitionCount, chosen.name))) {
                case Answer::Cancel:
                    // Nothing changes: the athlete current before stays current.
                    if (!currentBefore.empty()) library.selectSubjectByKey(currentBefore);
                    return false;
                case Answer::No:
                    // The test stays hers; the chosen athlete is the next test's.
                    station.keptSubjectKey = testKey;
                    dialogs.showStatus(kStatusUnsavedTestKept);
                    return true;
                case Answer::Yes: break;
            }
        }
        station.keptSubjectKey.clear();
        subject = chosen;
    }
    // A test in memory now carries another subject: what is on disk (if anything) names
    // the old one, so the test counts as unsaved, and the operator is told so.
    if (testInMemory && !(subject == before)) {
        station.test.saved = 0;
        if (subject.name != before.name) station.lastFilePath.clear();
        journalSubject(station, dialogs);
        dialogs.showStatus(kStatusSubjectChanged);
    }
    return true;
}

std::string journalSubjectKey(const Station& station, SubjectLibrary& library) {
    if (station.settings.subjectLibraryMode == 0) return {};
    return station.keptSubjectKey.empty() ? library.currentSubjectKey() : station.keptSubjectKey;
}

void runSubjectInfoSetup(Station& station, OperatorDialogs& dialogs) {
    uint8_t mode = station.settings.subjectLibraryMode;
    // Any choice other than "Abbreviated" is Extended.
    if (dialogs.editSubjectMode(mode)) station.settings.subjectLibraryMode = mode != 0 ? 1 : 0;
}

}  // namespace vanta
