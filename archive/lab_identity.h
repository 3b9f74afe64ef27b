// One athlete, one id across the lab: a subject the operator adds in the register's dialog
// takes the id the lab's archive already knows for that name, where it knows exactly one.
// The dialog asks the archive on the reader's thread; what the answer means for the new
// subject is decided here, without a window, so every case can be tried in a test.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "storage/subject_register.h"

namespace vanta::archive {

// How long the dialog waits for the lab's answer before the subject gets an id of its
// own: the reader gives a server up after 5 s, and a question asked behind another one
// (a history being read) must not keep the operator longer than that and a second.
inline constexpr std::chrono::milliseconds kLabIdWait{6000};

enum class LabIdStep {
    Local,  // a new id of this station: the lab knows nobody of the name, or did not answer
    Adopt,  // the lab knows exactly one subject of the name: this subject takes its id
    Ask,    // the lab knows several: the operator says which one (or a new subject)
};

struct LabIdDecision {
    LabIdStep step = LabIdStep::Local;
    std::string id;  // Adopt: the lab's id
    std::vector<ArchivedSubject> candidates;  // Ask: the lab's subjects of the name
    // The lab answered: a new id goes to it at once, so the next station meeting the name
    // finds it (without an answer the next sync sends it).
    bool labAnswered = false;
};

// `answer` is null where no archive server is set or it gave no answer in time; an answer
// that is not ok (unreachable, refused) counts as none.
LabIdDecision decideLabId(const LabAnswer* answer);

// The operator's choice among the candidates of Ask: an index into them, kNewLabSubject for
// "A new subject", nullopt for Cancel. False after Cancel (the subject is not added).
inline constexpr int kNewLabSubject = -1;
bool applyOperatorChoice(LabIdDecision& decision, std::optional<int> choice);

// Adds `info` to the register with the decision's id (Local: a new one) and puts its row
// into `id`. Where the register holds the lab's id already (the athlete added here before
// under another spelling), that subject it is: nothing is added and `added` is false.
// False when the register refuses the subject (its lastMessage says why).
bool addWithLabId(SubjectRegister& reg, const SubjectInfo& info, const LabIdDecision& decision, int64_t& id,
                  bool& added);

// The first 8 characters of a subject's id: enough for the operator to tell two apart.
std::string shortSubjectId(const std::string& uuid);

}  // namespace vanta::archive
