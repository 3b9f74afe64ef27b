// The lab's shared archive as the screens, File > "Open from archive..." and the subject
// register's dialog ask it. The
// window answers on a thread of its own and hands each answer back on the window's thread,
// later; tests answer when they choose. The station asks only where a server is set and
// keeps what its own index knows until the answer arrives, or for good when it does not.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "archive/server_archive.h"
#include "storage/subject_register.h"

namespace vanta {

// The window asks the lab as the command line does: one answer type.
using LabArchiveAnswer = archive::LabAnswer;

class LabArchive {
public:
    using Done = std::function<void(LabArchiveAnswer)>;
    virtual ~LabArchive() = default;

    // A subject's tests (the history's rows): by the register's id where known, and the
    // tests of unknown id stored under exactly `name`.
    virtual void subjectTests(const std::string& subjectId, const std::string& name, Done done) = 0;
    // Every test of the lab with its repetitions, oldest first (rows, never the bytes).
    virtual void listTests(Done done) = 0;
    // One test's bytes.
    virtual void fetch(const std::string& sha256, Done done) = 0;
    // The lab's subjects whose name folds to `name`'s: whom a new subject may already be.
    virtual void findSubjects(const std::string& name, Done done) = 0;
    // A subject this station just gave an id of its own goes into the lab's register.
    virtual void storeSubject(const RegisteredSubject& subject, Done done) = 0;
    // Two subjects of the register that are one person: `gone` becomes `keep` in the lab's
    // register (both sent there first, as the next sync would send them).
    virtual void mergeSubjects(const RegisteredSubject& keep, const RegisteredSubject& gone, Done done) = 0;
};

// What the History screen and the archive dialog say about where their rows came from.
inline constexpr const char* kFromLabArchive = "from the lab's archive";
inline constexpr const char* kReadingLabArchive = "reading the lab's archive\u2026";
inline constexpr const char* kFromThisStationOnly = "from this station only: the archive server cannot be reached";
inline constexpr const char* kNoArchiveServer = "from this station only: no archive server is set";
// What Report > Profile says of its tests box when the lab's archive did not answer or no
// server is set.
inline constexpr const char* kThisStationsTestsOnly = "this station's tests only";

// The line above History and Profile: "Tests from the lab's archive", "Reading the lab's
// archive…" while the answer is awaited.
inline std::string sourceLine(const std::string& source) {
    if (source == kReadingLabArchive) return "Reading the lab's archive\u2026";
    if (source == kThisStationsTestsOnly) return "This station's tests only";
    return "Tests " + source;
}

}  // namespace vanta
