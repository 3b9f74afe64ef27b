#include "cli/subject_tests.h"

#include <algorithm>

#include "archive/lab_reader.h"
#include "archive/local_index.h"
#include "archive/server_archive.h"
#include "cli/archive_server_commands.h"
#include "cli/local_days.h"
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
    // By id: hers and every id merged with hers in this station's register, so an id
    // merged away still answers with the athlete's whole history.
    if (!listSubjectTests(index, HistorySubject{*query.id, ""}, out.tests)) {
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

void declareSubjectChoice(Command& command, SubjectTestsQuery& query, const SubjectChoiceHelp& help, bool days) {
    command
        .value("--subject", "TEXT", help.subject, "--subject needs a name or part of one",
               [&query](const std::string& t) {
                   if (t.empty()) return false;
                   query.subject = t;
                   return true;
               })
        .value("--id", "UUID", help.id, "--id needs the subject's UUID", [&query](const std::string& t) {
            if (t.empty()) return false;
            query.id = t;
            return true;
        });
    if (days)
        command
            .value("--from", "YYYY-MM-DD", "the subject's tests of that day and later (local time)",
                   "--from needs a date YYYY-MM-DD",
                   [&query](const std::string& t) {
                       int64_t day = 0;
                       if (!parseDay(t, day)) return false;
                       query.from = day;
                       return true;
                   })
            .value("--to", "YYYY-MM-DD", "the subject's tests of that day and earlier (local time)",
                   "--to needs a date YYYY-MM-DD",
                   [&query](const std::string& t) {
                       int64_t day = 0;
                       if (!parseDay(t, day)) return false;
                       query.to = nextDay(day);  // the whole of that day
                       return true;
                   });
    command.text("--data", query.data, "DIR", help.data, "--data needs a folder")
        .text("--url", query.url, "URL",
              "the lab's shared archive instead of the index: every station's tests\n"
              "of the subject (a libpq URI or service=NAME, as archive list --url)",
              "--url needs a connection string");
}

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
