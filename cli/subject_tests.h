// One subject's tests for history and profile: from the station's index, or with a server
// from the lab's shared archive, whichever station recorded them. Either way rows only
// (each repetition's direction, load and results), never the test files' bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "cli/command_line.h"
#include "profile/profile.h"

namespace vanta::cli {

struct SubjectTestsQuery {
    std::optional<std::string> subject;  // a name or part of one, chosen as history --subject chooses
    std::optional<std::string> id;       // the subject's UUID
    std::string data;                    // the data folder whose index is read (without a server)
    std::string url;                     // the lab's archive; "" reads the index
    std::optional<int64_t> from, to;     // from <= test time < to, where set
};

struct SubjectTests {
    std::string name;  // the subject's name to show ("" when only --id named her)
    std::vector<archive::IndexedTest> tests;  // oldest first
};

// The words that choose whose tests history and profile read, declared into `query` in
// this order: --subject, --id, with `days` --from and --to, then --data and --url. Each
// command gives its own help for --subject, --id and --data.
struct SubjectChoiceHelp {
    std::string subject, id, data;
};
void declareSubjectChoice(Command& command, SubjectTestsQuery& query, const SubjectChoiceHelp& help, bool days);

// False with the station's message: no such subject, a text naming several, an index or
// server that cannot be read.
bool readSubjectTests(const SubjectTestsQuery& query, SubjectTests& out, std::string& message);

// The tests' repetitions as the profile takes them from the test files themselves: the
// file as indexed, each repetition counted from 0 within its test.
std::vector<ProfileAttempt> profileAttemptsOf(const std::vector<archive::IndexedTest>& tests);

}  // namespace vanta::cli
