#include "station/subject_commands.h"

namespace vanta {

void runSubjectInfo(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library) {
    if (station.settings.subjectLibraryMode == 0) {
        dialogs.editSubject(station.test.subject);
        return;
    }
    if (library.chooseSubject()) library.copyCurrentSubject(station.test.subject);
}

void runSubjectInfoSetup(Station& station, OperatorDialogs& dialogs) {
    uint8_t mode = station.settings.subjectLibraryMode;
    // Any choice other than "Abbreviated" is Extended.
    if (dialogs.editSubjectMode(mode)) station.settings.subjectLibraryMode = mode != 0 ? 1 : 0;
}

}  // namespace vanta
