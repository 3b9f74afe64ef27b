#include "cli/subject_tests.h"

#include <algorithm>

#include "archive/lab_reader.h"
#include "archive/local_index.h"
#include "archive/server_archive.h"
#include "cli/archive_server_commands.h"
#include "station/subject_history.h"

namespace vanta::cli {

namespace {

bool fromIndex(const SubjectTestsQuery& query, SubjectTests& out, std::string& message) {
    archive::LocalIndex index;
    if (!index.open(query.data, archive::Access::ReadOnly)) {
        message = index.lastMessage();
        return false;
    }
    if (query.subject) {
        // A name goes through the register to the subject's id where the register knows
        // her, so the tests from before a rename come too; a part of a name may match
        // several people, and a history mixes no two of them.
        const SubjectLookup found = lookUpSubject(index, query.data, *query.subject);
        if (!found.subject) {
            message = found.error;
            return false;
        }
        out.name = found.subject->name;
        if (!listSubjectTests(index, *found.subject, out.tests)) {
            message = index.lastMessage();
            return false;
        }
        return true;
    }
    archive::TestQuery byId;
    byId.subjectId = query.id;
    if (!index.listTests(byId, out.tests)) {
        message = index.lastMessage();
        return false;
    }
    return true;
}

bool fromServer(const SubjectTestsQuery& query, SubjectTests& out, std::string& message) {
    warnOfPasswordInUrl(query.url);
    archive::ServerArchive server;
    if (!server.open(query.url)) {
        message = server.reason();
        return false;
    }
    if (!query.subject) {
        if (!server.subjectTests(*query.id, "", query.from, query.to, out.tests)) {
            message = server.reason();
            return false;
        }
        return true;
    }
    // The subjects of the server's tests whose name contains the text are the candidates,
    // chosen as the index's are: an exact name first, then one that folds to the same.
    std::vector<std::pair<std::string, std::string>> candidates;
    if (!server.subjectsNamed(*query.subject, candidates)) {
        message = server.reason();
        return false;
    }
    const SubjectLookup found = lookUpSubjectAmong(candidates, *query.subject);
    if (!found.subject) {
        message = found.error;
        return false;
    }
    out.name = found.subject->name;
    if (!archive::labSubjectTests(server, found.subject->id, found.subject->name, out.tests)) {
        message = server.reason();
        return false;
    }
    return true;
}

}  // namespace

bool readSubjectTests(const SubjectTestsQuery& query, SubjectTests& out, std::string& message) {
    out = {};
    if (!(query.url.empty() ? fromIndex(query, out, message) : fromServer(query, out, message))) return false;
    std::erase_if(out.tests, [&](const archive::IndexedTest& t) {
        return (query.from && t.testTime < *query.from) || (query.to && t.testTime >= *query.to);
    });
    return true;
}

std::vector<ProfileAttempt> profileAttemptsOf(const std::vector<archive::IndexedTest>& tests) {
    std::vector<ProfileAttempt> out;
    for (const archive::IndexedTest& t : tests)
        for (const archive::IndexedRepetition& r : t.repetitions) out.push_back(profileAttemptOf(t, r));
    return out;
}

}  // namespace vanta::cli
