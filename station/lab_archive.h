// The lab's shared archive as the screens and File > "Open from archive..." ask it. The
// window answers on a thread of its own and hands each answer back on the window's thread,
// later; tests answer when they choose. The station asks only where a server is set and
// keeps what its own index knows until the answer arrives, or for good when it does not.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "archive/archive_types.h"

namespace vanta {

struct LabArchiveAnswer {
    bool ok = false;
    std::vector<archive::IndexedTest> tests;  // a subject's tests, or the lab's list
    std::string bytes;                        // a fetched test's bytes
    std::string reason;                       // why not, when !ok
};

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
};

// What the History screen and the archive dialog say about where their rows came from.
inline constexpr const char* kFromLabArchive = "from the lab's archive";
inline constexpr const char* kReadingLabArchive = "reading the lab's archive\u2026";
inline constexpr const char* kFromThisStationOnly = "from this station only: the archive server cannot be reached";
inline constexpr const char* kNoArchiveServer = "from this station only: no archive server is set";

}  // namespace vanta
