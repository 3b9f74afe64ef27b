// A station giving a name it does not know an id: where the lab's archive already knows one
// subject of that name (folded as the register folds names), the station takes that
// subject's id, so one athlete tested on two stations is one subject in the lab.
#pragma once

#include <cstdint>
#include <vector>

#include "archive/server_archive.h"
#include "storage/subject_register.h"

namespace vanta::archive {

enum class LabIdChoice {
    Adopted,  // the lab's archive knew exactly one subject of the name: its id
    New,      // none there: a new id, sent to the server at once
    Several,  // several there: a new id here; `candidates` lists them for the operator
    Offline,  // no server (or it did not answer): a new id, sent with the next sync
};

struct LabIdResult {
    LabIdChoice choice = LabIdChoice::Offline;
    int64_t id = 0;  // the register's row
    std::vector<ArchivedSubject> candidates;
};

// Adds `info` to the register. `server` may be null or closed (then the id is new and the
// next sync sends the subject). False only when the register refuses the subject.
bool addSubjectWithLabId(SubjectRegister& reg, ServerArchive* server, const SubjectInfo& info, LabIdResult& result);

}  // namespace vanta::archive
