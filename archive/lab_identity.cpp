#include "archive/lab_identity.h"

#include <ctime>

#include "storage/name_folding.h"

namespace vanta::archive {

LabIdDecision decideLabId(const std::string& typed, const LabAnswer* answer) {
    LabIdDecision d;
    if (!answer || !answer->ok) return d;
    d.labAnswered = true;
    // "Jan Novak" is not "Jan Novák": two people may differ only by an accent, and taking
    // the other's id would give them one history. Only the same spelling is taken as it is.
    const std::string key = exactNameKey(typed);
    std::vector<const ArchivedSubject*> same;
    for (const ArchivedSubject& s : answer->subjects)
        if (exactNameKey(s.name) == key) same.push_back(&s);
    if (same.size() == 1) {
        d.step = LabIdStep::Adopt;
        d.id = same.front()->id;
        d.labName = same.front()->name;
    } else if (!answer->subjects.empty()) {
        d.step = LabIdStep::Ask;
        d.candidates = answer->subjects;
    }
    return d;
}

std::string sameAthleteQuestion(const std::string& typed, const ArchivedSubject& candidate) {
    std::string facts = shortSubjectId(candidate.id) + ", " + std::to_string(candidate.tests) +
                        (candidate.tests == 1 ? " test" : " tests");
    if (candidate.lastTest > 0) {
        const std::time_t t = static_cast<std::time_t>(candidate.lastTest);
        std::tm local{};
        char day[16];
        if (localtime_r(&t, &local) && std::strftime(day, sizeof day, "%Y-%m-%d", &local) > 0)
            facts += std::string(", last test ") + day;
    }
    return "The lab knows " + candidate.name + " (" + facts + "). Is " + typed + " this athlete?";
}

bool applyOperatorChoice(LabIdDecision& decision, std::optional<int> choice) {
    if (!choice) return false;
    if (*choice >= 0 && *choice < static_cast<int>(decision.candidates.size())) {
        decision.step = LabIdStep::Adopt;
        decision.id = decision.candidates[static_cast<size_t>(*choice)].id;
        decision.labName = decision.candidates[static_cast<size_t>(*choice)].name;
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
        SubjectInfo named = info;
        if (!decision.labName.empty()) named.name = decision.labName;
        if (!reg.add(named, &id, decision.id)) return false;
    } else if (!reg.add(info, &id)) {
        return false;
    }
    added = true;
    return true;
}

std::string shortSubjectId(const std::string& uuid) { return uuid.substr(0, 8); }

}  // namespace vanta::archive
