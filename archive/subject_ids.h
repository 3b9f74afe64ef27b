// Which register subject a test belongs to, for the index's subject id: the subject whose
// data folder holds the file, else the one subject whose name is exactly the file's. Two
// subjects of that name, or none, leave the id unknown (empty) rather than guess.
#pragma once

#include <string>

#include "archive/archive_types.h"
#include "storage/subject_register.h"

namespace vanta::archive {

class SubjectIds {
public:
    // Reads the register of `dataRoot` when there is one; never creates one (a station in
    // Abbreviated mode or a folder of old tests has none, and then no id is known).
    explicit SubjectIds(const std::string& dataRoot);

    // The subject's UUID, or empty when it is not known.
    std::string of(const IndexedTest& test);

private:
    SubjectRegister register_;
    bool open_ = false;
};

}  // namespace vanta::archive
