#include "station/subject_merge.h"

#include "archive/lab_identity.h"

namespace vanta {

SubjectMerge mergeOrder(const RegisteredSubject& a, const RegisteredSubject& b) {
    return a.id <= b.id ? SubjectMerge{a, b} : SubjectMerge{b, a};
}

std::string mergeQuestion(const SubjectMerge& merge) {
    return "Merge " + merge.gone.info.name + " (" + archive::shortSubjectId(merge.gone.uuid) + ") into " +
           merge.keep.info.name + " (" + archive::shortSubjectId(merge.keep.uuid) + ")? Their tests become one history.";
}

MergeOutcome completeMerge(SubjectRegister& reg, const SubjectMerge& merge, bool labSet,
                           const LabArchiveAnswer* answer) {
    MergeOutcome out;
    if (labSet && (!answer || !answer->ok)) {
        out.message = kMsgSubjectsNotMerged;
        out.detail = !answer ? kLabDidNotAnswer : answer->reason;
        return out;
    }
    if (!reg.merge(merge.keep.uuid, merge.gone.uuid)) {
        out.message = kMsgSubjectsNotMerged;
        out.detail = reg.lastMessage();
        return out;
    }
    out.merged = true;
    return out;
}

bool unmergedSubjects(SubjectRegister& reg, std::string_view namePart, std::vector<RegisteredSubject>& out) {
    std::vector<RegisteredSubject> all;
    if (!reg.search(namePart, all)) return false;
    out.clear();
    std::vector<std::string> ids;
    for (RegisteredSubject& s : all) {
        if (!reg.mergedIds(s.uuid, ids)) return false;
        if (!ids.empty() && ids.front() != s.uuid) continue;  // merged into another
        out.push_back(std::move(s));
    }
    return true;
}

}  // namespace vanta
