// One athlete, one id across the lab: a subject added at a station (the register's dialog,
// vantacheck-cli subjects add) takes the id the lab's archive already knows for that name
// without asking only where the lab holds exactly one subject of the same spelling (case
// and spaces aside, accents counted); a name that matches only without its accents, or
// several subjects, is a question for the operator. The same rule serves both.
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
    Adopt,  // the lab knows exactly one subject of the same spelling: this subject takes its id
    Ask,    // the lab knows a variant of the name, or several: the operator says which (or nobody)
};

struct LabIdDecision {
    LabIdStep step = LabIdStep::Local;
    std::string id;       // Adopt: the lab's id
    std::string labName;  // Adopt: the lab's spelling, which the subject takes
    std::vector<ArchivedSubject> candidates;  // Ask: the lab's subjects of the name
    // The lab answered: a new id goes to it at once, so the next station meeting the name
    // finds it (without an answer the next sync sends it).
    bool labAnswered = false;
};

// What the lab's answer (its kept subjects whose name folds to the typed one) means for a
// subject typed as `typed`. `answer` is null where no archive server is set or it gave no
// answer in time; an answer that is not ok (unreachable, refused) counts as none.
LabIdDecision decideLabId(const std::string& typed, const LabAnswer* answer);

// The operator's question where the lab knows one subject of a variant of the name: "The
// lab knows Jan Novák (e8b8642e, 36 tests, last test 2026-11-20). Is Jan Novak this
// athlete?" (the date in this computer's zone).
std::string sameAthleteQuestion(const std::string& typed, const ArchivedSubject& candidate);

// The operator's choice among the candidates of Ask: an index into them, kNewLabSubject for
// "A new subject", nullopt for Cancel. False after Cancel (the subject is not added).
inline constexpr int kNewLabSubject = -1;
bool applyOperatorChoice(LabIdDecision& decision, std::optional<int> choice);

// Adds `info` to the register with the decision's id (Local: a new one; Adopt: with the
// lab's spelling of the name) and puts its row into `id`. Where the register holds the lab's id already (the athlete added here before
// under another spelling), that subject it is: nothing is added and `added` is false.
// False when the register refuses the subject (its lastMessage says why).
bool addWithLabId(SubjectRegister& reg, const SubjectInfo& info, const LabIdDecision& decision, int64_t& id,
                  bool& added);

// The first 8 characters of a subject's id: enough for the operator to tell two apart.
std::string shortSubjectId(const std::string& uuid);

}  // namespace vanta::archive
