// Two subjects of the register that are one athlete ("Jan Novak" typed on one day, "Jan
// Novák" on another; the ids of two stations) made one from the register's dialog: the
// subject added earlier stays, the later one points to it, so the history and profile of
// either are both subjects' tests. With the lab's archive set the lab merges first; a merge
// the lab refuses or does not answer is not made here either, so the station's and the
// lab's histories stay alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "station/lab_archive.h"
#include "storage/subject_register.h"

namespace vanta {

struct SubjectMerge {
    RegisteredSubject keep;  // added earlier: its id, name and folder stay
    RegisteredSubject gone;  // its id means `keep` from now on
};

// The earlier-added of the two (the lower row of this register) stays.
SubjectMerge mergeOrder(const RegisteredSubject& a, const RegisteredSubject& b);

// What the operator confirms: both names with the first 8 characters of their ids.
std::string mergeQuestion(const SubjectMerge& merge);

// What became of the merge once the lab had its say.
struct MergeOutcome {
    bool merged = false;
    std::string message;  // for the operator when not merged
    std::string detail;   // the reason (the lab's or the register's)
};

inline constexpr const char* kMsgSubjectsNotMerged = "The subjects were not merged.";
inline constexpr const char* kLabDidNotAnswer = "The lab's archive did not answer in time.";

// `labSet`: an archive server is set, so the lab's answer decides; `answer` null when it
// gave none in time. Without a server the register merges alone.
MergeOutcome completeMerge(SubjectRegister& reg, const SubjectMerge& merge, bool labSet,
                           const LabArchiveAnswer* answer);

// The register's subjects whose name contains `namePart` (as SubjectRegister::search),
// without those merged into another: each athlete once.
bool unmergedSubjects(SubjectRegister& reg, std::string_view namePart, std::vector<RegisteredSubject>& out);

}  // namespace vanta
