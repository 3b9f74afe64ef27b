// subjects list and subjects merge: the lab's subjects with their ids, from the station's
// register and index or from the shared archive, and two ids of one person made one.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive_url.h"
#include "archive/local_index.h"
#include "archive/server_archive.h"
#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/station_folders.h"
#include "storage/subject_register.h"

namespace vanta::cli {

namespace {

struct SubjectsListOptions {
    std::string url;
    std::string data;
    bool json = false;
};

struct SubjectsMergeOptions {
    std::vector<std::string> ids;
    std::string url;
    std::string data;
};

bool isUuid(const std::string& s) {
    if (s.size() != 36) return false;
    for (size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (c != '-') return false;
        } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return false;
        }
    }
    return true;
}

bool hasRegister(const std::string& data) {
    std::error_code ec;
    return std::filesystem::is_regular_file(std::filesystem::path(data) / SubjectRegister::kFileName, ec);
}

// The register's subjects (an id merged into another is not one of its own) with the
// index's tests of each id merged with it.
bool localSubjects(const std::string& data, std::vector<archive::ServerArchive::SubjectCount>& out,
                   std::string& message) {
    SubjectRegister reg;
    std::vector<RegisteredSubject> all;
    if (!hasRegister(data)) {
        message = "There is no subject register in " + data;
        return false;
    }
    if (!reg.open(data) || !reg.search("", all)) {
        message = reg.lastMessage();
        return false;
    }
    archive::LocalIndex index;
    std::error_code ec;
    const bool indexed = std::filesystem::exists(std::filesystem::path(data) / archive::LocalIndex::kFileName, ec) &&
                         index.open(data, archive::Access::ReadOnly);
    for (const RegisteredSubject& s : all) {
        std::vector<std::string> ids;
        if (!reg.mergedIds(s.uuid, ids)) {
            message = reg.lastMessage();
            return false;
        }
        if (!ids.empty() && ids.front() != s.uuid) continue;  // merged into another
        long long count = 0;
        for (const std::string& id : ids) {
            if (!indexed) break;
            archive::TestQuery query;
            query.subjectId = id;
            std::vector<archive::IndexedTest> tests;
            if (!index.listTests(query, tests)) {
                message = index.lastMessage();
                return false;
            }
            count += static_cast<long long>(tests.size());
        }
        out.push_back({s.uuid, s.info.name, count});
    }
    return true;
}

int runSubjectsList(const SubjectsListOptions& options) {
    std::vector<archive::ServerArchive::SubjectCount> subjects;
    std::string message;
    if (!options.url.empty()) {
        archive::ServerArchive server;
        if (!server.open(options.url) || !server.listSubjects(subjects)) return fail(server.reason());
    } else if (!localSubjects(options.data.empty() ? stationFolders().subjectLibraryDirectory : options.data,
                              subjects, message)) {
        return fail(message);
    }
    std::string out;
    if (options.json) {
        out = "{\"subjects\": [";
        for (size_t i = 0; i < subjects.size(); ++i)
            out += std::string(i ? ", " : "") + "{\"id\": " + jsonString(subjects[i].id) +
                   ", \"name\": " + jsonString(subjects[i].name) +
                   ", \"tests\": " + std::to_string(subjects[i].tests) + "}";
        out += "]}\n";
    } else {
        for (const auto& s : subjects)
            out += s.id + "  " + std::to_string(s.tests) + (s.tests == 1 ? " test   " : " tests  ") + s.name + "\n";
        out += std::to_string(subjects.size()) + (subjects.size() == 1 ? " subject\n" : " subjects\n");
    }
    return writeStandardOutput(out);
}

int runSubjectsMerge(const SubjectsMergeOptions& options) {
    if (options.ids.size() != 2) return fail("subjects merge takes two subject ids");
    const std::string& keep = options.ids[0];
    const std::string& gone = options.ids[1];
    for (const std::string& id : options.ids)
        if (!isUuid(id)) return fail("Not a subject id (a UUID in lower case): " + id);
    if (keep == gone) return fail("subjects merge needs two different ids");
    const std::string data = options.data.empty() ? stationFolders().subjectLibraryDirectory : options.data;
    const std::string url = !options.url.empty() ? options.url
                                                 : archive::configuredArchiveUrl(
                                                       data, std::getenv(archive::kArchiveUrlVariable));
    // The lab's archive first: a merge the server refuses is not made here either, so the
    // station's and the lab's histories stay alike.
    if (!url.empty()) {
        archive::ServerArchive server;
        if (!server.open(url) || !server.mergeSubjects(keep, gone))
            return fail(server.reason() + " (" + archive::redactedUrl(url) + ")");
    }
    if (hasRegister(data) || url.empty()) {
        SubjectRegister reg;
        if (!reg.open(data) || !reg.merge(keep, gone)) return fail(reg.lastMessage());
    }
    return writeStandardOutput(gone + " is " + keep + " now\n");
}

}  // namespace

void addSubjectsCommand(CommandLine& line) {
    Command subjects = line.add("subjects", "the lab's subjects and their ids",
                                "The subjects of the station's register, or of the lab's shared archive, with\n"
                                "their permanent ids.\n");
    subjects.incomplete("subjects needs list or merge (see vantacheck-cli subjects --help)");
    const std::string dataHelp = "the station's data folder whose register and index are used\n"
                                 "(default: the station's own)";

    auto list = std::make_shared<SubjectsListOptions>();
    subjects.sub("list", "the subjects with their ids and test counts",
                 "Prints every subject with its id and the number of its tests: from the register\n"
                 "and the index of the data folder, or with --url from the shared archive. A subject\n"
                 "merged into another is counted with that one.\n")
        .text("--url", list->url, "URL", "list the shared archive's subjects instead of the register's",
              "--url needs a connection string")
        .text("--data", list->data, "DIR", dataHelp, "--data needs a folder")
        .flag("--json", list->json, "one JSON object: {\"subjects\": [{\"id\", \"name\", \"tests\"}, ...]}")
        .runs([list] { return runSubjectsList(*list); });

    auto merge = std::make_shared<SubjectsMergeOptions>();
    subjects.sub("merge", "two ids that are one person",
                 "Makes the second id (and every id merged into it) point to the first: the\n"
                 "history and the profile of either are both ids' tests from now on. Made on the\n"
                 "shared archive (--url, VANTA_ARCHIVE_URL or the data folder's archive-server.conf)\n"
                 "first, then in the station's register.\n")
        .files("ID", merge->ids, "the subject kept, then the one merged into it").required()
        .text("--url", merge->url, "URL", "the shared archive to merge on as well", "--url needs a connection string")
        .text("--data", merge->data, "DIR", dataHelp, "--data needs a folder")
        .incomplete("subjects merge needs two subject ids")
        .runs([merge] { return runSubjectsMerge(*merge); });
}

}  // namespace vanta::cli
