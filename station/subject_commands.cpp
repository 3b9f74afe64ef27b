#include "station/subject_commands.h"

namespace vanta {

bool runSubjectInfo(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library) {
    SubjectInfo& subject = station.test.subject;
    const SubjectInfo before = subject;
    const bool testInMemory = station.resultsAvailable != 0 || station.test.repetitionCount > 0;
    if (station.settings.subjectLibraryMode == 0) {
        if (!dialogs.editSubject(subject)) return false;
    } else {
        if (!library.chooseSubject()) return false;
        if (testInMemory && station.test.saved != 0) {
            // Choosing an athlete in the register never relabels a test already on disk:
            // saved again, it would go into its file, or hers, under the wrong name.
            SubjectInfo chosen;
            library.copyCurrentSubject(chosen);
            if (!(chosen == subject)) dialogs.showStatus(kStatusSavedTestKept);
            return true;
        }
        library.copyCurrentSubject(subject);
    }
    // A test in memory now carries another subject: what is on disk (if anything) names
    // the old one, so the test counts as unsaved, and the operator is told so.
    if (testInMemory && !(subject == before)) {
        station.test.saved = 0;
        if (subject.name != before.name) station.lastFilePath.clear();
        dialogs.showStatus(kStatusSubjectChanged);
    }
    return true;
}

void runSubjectInfoSetup(Station& station, OperatorDialogs& dialogs) {
    uint8_t mode = station.settings.subjectLibraryMode;
    // Any choice other than "Abbreviated" is Extended.
    if (dialogs.editSubjectMode(mode)) station.settings.subjectLibraryMode = mode != 0 ? 1 : 0;
}

}  // namespace vanta
