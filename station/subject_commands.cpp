#include "station/subject_commands.h"

namespace vanta {

bool runSubjectInfo(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library) {
    if (station.settings.subjectLibraryMode == 0) return dialogs.editSubject(station.test.subject);
    if (!library.chooseSubject()) return false;
    library.copyCurrentSubject(station.test.subject);
    return true;
}

void runSubjectInfoSetup(Station& station, OperatorDialogs& dialogs) {
    uint8_t mode = station.settings.subjectLibraryMode;
    // Any choice other than "Abbreviated" is Extended.
    if (dialogs.editSubjectMode(mode)) station.settings.subjectLibraryMode = mode != 0 ? 1 : 0;
}

}  // namespace vanta
