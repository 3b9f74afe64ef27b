#include "archive/lab_identity.h"

namespace vanta::archive {

LabIdDecision decideLabId(const LabAnswer* answer) {
    LabIdDecision d;
    if (!answer || !answer->ok) return d;
    d.labAnswered = true;
    if (answer->subjects.size() == 1) {
        d.step = LabIdStep::Adopt;
        d.id = answer->subjects.front().id;
    } else if (answer->subjects.size() > 1) {
        d.step = LabIdStep::Ask;
        d.candidates = answer->subjects;
    }
    return d;
}

bool applyOperatorChoice(LabIdDecision& decision, std::optional<int> choice) {
    if (!choice) return false;
    if (*choice >= 0 && *choice < static_cast<int>(decision.candidates.size())) {
        decision.step = LabIdStep::Adopt;
        decision.id = decision.candidates[static_cast<size_t>(*choice)].id;
    } else {
        decision.step = LabIdStep::Local;
        decision.id.clear();
    }
    return true;
}

bool addWithLabId(SubjectRegister& reg, const SubjectInfo& info, const LabIdDecision& decision, int64_t& id,
                  bool& added) {
    added = false;
    if (decision.step == LabIdStep::Adopt && !decision.id.empty()) {
        RegisteredSubject there;
        if (reg.getByUuid(decision.id, there)) {
            id = there.id;
            return true;
        }
        if (reg.lastError() != RegisterError::NotFound) return false;
        if (!reg.add(info, &id, decision.id)) return false;
    } else if (!reg.add(info, &id)) {
        return false;
    }
    added = true;
    return true;
}

std::string shortSubjectId(const std::string& uuid) { return uuid.substr(0, 8); }

}  // namespace vanta::archive
