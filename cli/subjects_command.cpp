// subjects list, add and merge: the lab's subjects with their ids, from the station's
// register and index or from the shared archive, a new subject given the lab's id, and two ids
// of one person made one.
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive_url.h"
#include "archive/lab_subjects.h"
#include "archive/local_index.h"
#include "archive/server_archive.h"
#include "cli/archive_server_commands.h"
#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/station_folders.h"
#include "station/subject_checks.h"
#include "station/subject_history.h"
#include "storage/subject_register.h"

namespace vanta::cli {

namespace {

struct SubjectsListOptions {
    std::string url;
    std::string data;
    bool json = false;
};

struct SubjectsAddOptions {
    std::string name;
    std::string sex;  // "female", "male" or empty: not chosen
    std::string height, weight;  // as typed: checked as the subject dialog checks its boxes
    std::string comment;
    std::string url;
    std::string data;
    bool another = false;  // --another: a second subject of a name the register holds
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
// number of the index's tests their history holds.
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
        // As many as the subject's history shows: the tests of her ids and those indexed
        // under exactly her name before an id was known.
        std::vector<archive::IndexedTest> tests;
        if (indexed && !listSubjectTests(index, HistorySubject{s.uuid, s.info.name}, tests)) {
            message = index.lastMessage();
            return false;
        }
        out.push_back({s.uuid, s.info.name, static_cast<long long>(tests.size())});
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
    const std::string url = archiveUrlFor(options.url, data);
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

int runSubjectsAdd(const SubjectsAddOptions& options) {
    // The register's dialog's own checks: a name, the lengths, the ranges, a weight with
    // decimals ("61,5") kept in whole kilograms.
    SubjectForm form;
    form.name = options.name;
    form.sex = options.sex == "female" ? 0 : options.sex == "male" ? 1 : -1;
    form.age = "0";  // kept in memory only: the register has no age to keep
    form.height = options.height.empty() ? "0" : options.height;  // 0: not given
    form.weight = options.weight.empty() ? "0" : options.weight;
    form.comment1 = options.comment;
    const SubjectCheck check = checkSubjectForm(form, NameRule::Required);
    if (check.failed != SubjectField::None) {
        const char* option = check.failed == SubjectField::Weight   ? "--weight: "
                             : check.failed == SubjectField::Height ? "--height: "
                             : check.failed == SubjectField::Comment1 ? "--comment: "
                                                                      : "";
        return fail(option + check.message);
    }
    SubjectInfo info = check.values;
    const std::string data = options.data.empty() ? stationFolders().subjectLibraryDirectory : options.data;
    SubjectRegister reg;
    if (!reg.open(data)) return fail(reg.lastMessage());
    // One person is one subject: a name the register holds already is hers, unless the
    // operator says this is somebody else of that name.
    std::vector<RegisteredSubject> same;
    if (!reg.findByName(info.name, same)) return fail(reg.lastMessage());
    if (!same.empty() && !options.another)
        return fail("The register already holds " + same.front().info.name + " (" + same.front().uuid +
                    "); --another adds a second subject of that name");
    const std::string url = archiveUrlFor(options.url, data);
    archive::ServerArchive server;
    std::string unreachable;
    if (!url.empty() && !server.open(url)) unreachable = server.reason();
    archive::LabIdResult result;
    if (!archive::addSubjectWithLabId(reg, url.empty() ? nullptr : &server, info, result))
        return fail(reg.lastMessage());
    RegisteredSubject added;
    if (!reg.get(result.id, added)) return fail(reg.lastMessage());
    if (!reg.ensureDirectory(added)) return fail(reg.lastMessage());
    std::string how;
    switch (result.choice) {
        case archive::LabIdChoice::Adopted: how = "the lab's id"; break;
        case archive::LabIdChoice::New: how = "a new id, on the lab's archive now"; break;
        case archive::LabIdChoice::Several: how = "a new id: the lab's archive holds several of that name"; break;
        case archive::LabIdChoice::Offline:
            how = url.empty() ? "a new id" : "a new id; the lab's archive did not answer, the next sync sends it";
            break;
    }
    if (!unreachable.empty()) std::cerr << unreachable << " (" << archive::redactedUrl(url) << ")\n";
    for (const archive::ArchivedSubject& c : result.candidates)
        std::cerr << "  on the lab's archive: " << c.id << "  " << c.name
                  << " (subjects merge " << c.id << " " << added.uuid << " makes them one)\n";
    return writeStandardOutput(added.uuid + "  " + added.info.name + "  (" + how + ")\n");
}

}  // namespace

void addSubjectsCommand(CommandLine& line) {
    Command subjects = line.add("subjects", "the lab's subjects and their ids",
                                "The subjects of the station's register, or of the lab's shared archive, with\n"
                                "their permanent ids.\n");
    subjects.incomplete("subjects needs list, add or merge (see vantacheck-cli subjects --help)");
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

    auto add = std::make_shared<SubjectsAddOptions>();
    subjects.sub("add", "a new subject in the register, with the lab's id",
                 "Adds a subject to the station's register and makes its data folder. Where the\n"
                 "shared archive (--url, VANTA_ARCHIVE_URL or the data folder's archive-server.conf)\n"
                 "holds exactly one subject of the name (in any case, with or without accents), the\n"
                 "new subject takes that subject's id, so one athlete is one subject on every\n"
                 "station; otherwise it gets a new id, sent to the archive at once or with the next\n"
                 "sync. Prints the id.\n")
        .file("NAME", add->name, "the subject's name").required()
        .value("--sex", "female|male", "the subject's sex", "--sex needs female or male",
               [add](const std::string& t) {
                   if (t != "female" && t != "male") return false;
                   add->sex = t;
                   return true;
               })
        .text("--height", add->height, "CM", "the subject's height", "--height needs a height in cm")
        .text("--weight", add->weight, "KG", "the subject's body mass (\"61,5\" is kept as 62)",
              "--weight needs a mass in kg")
        .text("--comment", add->comment, "TEXT", "the subject's first comment line", "--comment needs a text")
        .text("--url", add->url, "URL", "the shared archive to look the name up on", "--url needs a connection string")
        .text("--data", add->data, "DIR", dataHelp, "--data needs a folder")
        .flag("--another", add->another, "a second subject of a name the register holds already")
        .incomplete("subjects add needs the subject's name")
        .runs([add] { return runSubjectsAdd(*add); });

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
