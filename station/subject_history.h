// A subject's history from the station's index of its tests: whose tests they are, found
// by the register's permanent id where the register knows the subject (so a renamed
// subject keeps every earlier test), and the index's rows as the history takes them. The
// History screen and vantacheck-cli history read the index alike.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive_types.h"
#include "archive/local_index.h"
#include "history/history.h"
#include "profile/profile.h"

namespace vanta {

// Whose history: the register's permanent id where known, and the name to show.
struct HistorySubject {
    std::string id;  // empty: unknown, the tests are found by the name alone
    std::string name;
};

// The subject's tests, oldest first: with an id every test indexed with it (or with an id
// the register merged with it) and the tests
// of unknown id stored under exactly the name; without one every test of exactly the name.
bool listSubjectTests(archive::LocalIndex& index, const HistorySubject& subject,
                      std::vector<archive::IndexedTest>& out);

// The subject of the test in memory, named `name`, from or to `file` (may be empty). Its
// id is the one the index holds for that file, else the register's subject whose folder
// holds the file or the one subject of exactly that name (as the index gives a test its
// id). The register of `dataRoot` is read where there is one, never created.
HistorySubject subjectOfTestInMemory(archive::LocalIndex& index, const std::string& dataRoot, const std::string& name,
                                     const std::string& file);

// The subject a text names (vantacheck-cli history --subject): among the register's
// subjects and the index's tests whose name contains it in any case and with or without
// accents, those of exactly that name if any, else those whose name folds to the same,
// else all. They must be one subject: one id, or without an id one name. A subject the
// register knows is shown with the register's name.
struct SubjectLookup {
    std::optional<HistorySubject> subject;
    std::string error;  // when there is none: "No indexed test of this subject.", or why not one
};
SubjectLookup lookUpSubject(archive::LocalIndex& index, const std::string& dataRoot, const std::string& text);

// The same choice among the subjects (id or "", name) of the tests whose name contains the
// text (the lab's archive's answer to it, the one last tested last), without a register.
SubjectLookup lookUpSubjectAmong(const std::vector<std::pair<std::string, std::string>>& idsAndNames,
                                 const std::string& text);

// Each test with its repetitions, in the order the index gave them.
std::vector<HistoryTestAttempts> historyAttemptsOf(const std::vector<archive::IndexedTest>& tests);

// One indexed repetition as the profile takes it, exactly as appendTestAttempts takes the
// same repetition from its file: the profile of the index's (or the server's) rows equals
// the profile of the files.
ProfileAttempt profileAttemptOf(const archive::IndexedTest& test, const archive::IndexedRepetition& rep);

}  // namespace vanta
