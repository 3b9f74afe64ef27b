#include "archive/lab_subjects.h"

#include "archive/local_outbox.h"

namespace vanta::archive {

bool addSubjectWithLabId(SubjectRegister& reg, ServerArchive* server, const SubjectInfo& info, LabIdResult& result) {
    result = {};
    const bool online = server && server->isOpen();
    std::vector<ArchivedSubject> known;
    const bool answered = online && server->findSubjects(info.name, known);
    if (known.size() == 1) {
        // The register may hold that id already under another spelling: that subject it is.
        RegisteredSubject there;
        if (reg.getByUuid(known.front().id, there)) {
            result.choice = LabIdChoice::Adopted;
            result.id = there.id;
            return true;
        }
        if (!reg.add(info, &result.id, known.front().id)) return false;
        result.choice = LabIdChoice::Adopted;
        return true;
    }
    if (!reg.add(info, &result.id)) return false;
    result.choice = known.size() > 1 ? LabIdChoice::Several : answered ? LabIdChoice::New : LabIdChoice::Offline;
    result.candidates = std::move(known);
    // The lab learns the new subject now, so the next station meeting the name finds it;
    // where the server does not take it, the next sync sends it.
    RegisteredSubject added;
    if (online && server->isOpen() && reg.get(result.id, added)) server->storeSubjects({archivedSubject(added)});
    return true;
}

}  // namespace vanta::archive
