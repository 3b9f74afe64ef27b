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
#include "archive/lab_identity.h"
#include "archive/local_outbox.h"
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
    bool another = false;  // --another: a new id whatever the register or the lab holds
    std::string labId;     // --lab-id: the lab's subject this one is
};

struct SubjectsRenameOptions {
    std::vector<std::string> words;  // the id, then the new name
    std::string url;
    std::string data;
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
        out.push_back({s.uuid, s.info.name, static_cast<long long>(tests.size()), {ids.begin() + (ids.empty() ? 0 : 1), ids.end()}});
    }
    return true;
}

// The ids merged into a subject, where there are any: `, "mergedIds": [...]`.
std::string mergedIdsJson(const std::vector<std::string>& ids) {
    if (ids.empty()) return "";
    std::string out = ", \"mergedIds\": [";
    for (size_t i = 0; i < ids.size(); ++i) out += (i ? ", " : "") + jsonString(ids[i]);
    return out + "]";
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
                   ", \"tests\": " + std::to_string(subjects[i].tests) + mergedIdsJson(subjects[i].mergedIds) + "}";
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
    archive::ServerArchive server;
    std::string unreachable;
    if (!url.empty() && !server.open(url)) unreachable = server.reason();
    // An id is refused that is nobody's: the lab's, or without a server the register's
    // (its subjects and the ids merged with them), before anything is merged anywhere.
    for (const std::string& id : options.ids) {
        bool held = false;
        if (server.isOpen() && server.hasSubject(id, held) && !held)
            return fail("No subject " + id + " on the archive server (" + archive::redactedUrl(url) + ")");
    }
    if (!server.isOpen()) {
        if (!hasRegister(data)) return fail("There is no subject register in " + data);
        SubjectRegister reg;
        if (!reg.open(data)) return fail(reg.lastMessage());
        for (const std::string& id : options.ids) {
            RegisteredSubject s;
            std::vector<std::string> ids;
            const bool known = reg.getByUuid(id, s) || (reg.mergedIds(id, ids) && ids.size() > 1);
            if (!known) return fail("No subject " + id + " in the register of " + data);
        }
    }
    // The station's register first: a register that is busy or refuses leaves the lab's
    // archive as it was. The lab follows at once, or with the next sync where it is away.
    if (hasRegister(data) || url.empty()) {
        SubjectRegister reg;
        if (!reg.open(data) || !reg.merge(keep, gone))
            return fail(reg.lastMessage() + " Nothing was merged.");
    }
    if (!server.isOpen()) {
        if (!unreachable.empty())
            std::cerr << unreachable << " (" << archive::redactedUrl(url) << "): the next sync sends the merge\n";
        return writeStandardOutput(gone + " is " + keep + " now\n");
    }
    if (!server.mergeSubjects(keep, gone)) {
        if (server.lastError() == archive::ServerError::Permission || !server.isOpen())
            return fail(server.reason() + " (" + archive::redactedUrl(url) +
                        "); merged in this station's register only, the next sync sends it");
        return fail(server.reason() + " (" + archive::redactedUrl(url) + ")");
    }
    return writeStandardOutput(gone + " is " + keep + " now\n");
}

int runSubjectsRename(const SubjectsRenameOptions& options) {
    if (options.words.size() != 2) return fail("subjects rename takes a subject id and the new name");
    const std::string& id = options.words[0];
    if (!isUuid(id)) return fail("Not a subject id (a UUID in lower case): " + id);
    const std::string data = options.data.empty() ? stationFolders().subjectLibraryDirectory : options.data;
    if (!hasRegister(data)) return fail("There is no subject register in " + data);
    SubjectRegister reg;
    RegisteredSubject subject;
    if (!reg.open(data) || !reg.getByUuid(id, subject)) return fail(reg.lastMessage() + " (" + id + ")");
    subject.info.name = options.words[1];
    const SubjectCheck check = checkSubjectForm(formFromSubject(subject.info), NameRule::Required);
    if (check.failed != SubjectField::None) return fail(check.message);
    if (!reg.update(subject.id, subject.info) || !reg.get(subject.id, subject)) return fail(reg.lastMessage());
    // The lab takes the new name at once where it answers (its time is now, so no older
    // spelling synced by another station writes over it); else the next sync sends it.
    const std::string url = archiveUrlFor(options.url, data);
    const std::string line = subject.uuid + "  " + subject.info.name + "\n";
    if (url.empty()) return writeStandardOutput(line);
    archive::ServerArchive server;
    if (!server.open(url)) {
        std::cerr << server.reason() << " (" << archive::redactedUrl(url) << "): the next sync sends the name\n";
        return writeStandardOutput(line);
    }
    if (!server.storeSubjects({archive::archivedSubject(subject)})) {
        if (writeStandardOutput(line) != 0) return 2;
        return fail(server.reason() + " (" + archive::redactedUrl(url) + "); renamed in this station's register only");
    }
    return writeStandardOutput(line);
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
    if (!same.empty() && !options.another && options.labId.empty())
        return fail("The register already holds " + same.front().info.name + " (" + same.front().uuid +
                    "); --another adds a second subject of that name");
    if (!options.labId.empty() && !isUuid(options.labId))
        return fail("--lab-id needs a subject id (a UUID in lower case): " + options.labId);
    const std::string url = archiveUrlFor(options.url, data);
    archive::ServerArchive server;
    std::string unreachable;
    if (!url.empty() && !server.open(url)) unreachable = server.reason();
    // The lab's subjects of the name decide the id, as in the register's dialog; --another
    // and --lab-id are the operator's own answer to the question it would ask.
    archive::LabAnswer lab;
    archive::LabIdDecision decision;
    if (options.another) {
        decision.labAnswered = server.isOpen();
    } else {
        lab.ok = server.isOpen() && server.findSubjects(info.name, lab.subjects);
        if (!lab.ok && server.isOpen()) unreachable = server.reason();
        decision = archive::decideLabId(info.name, server.isOpen() ? &lab : nullptr);
        if (!options.labId.empty()) {
            decision.step = archive::LabIdStep::Adopt;
            decision.id = options.labId;
            decision.labName.clear();
            for (const archive::ArchivedSubject& c : lab.subjects)
                if (c.id == options.labId) decision.labName = c.name;
        }
    }
    if (decision.step == archive::LabIdStep::Ask) {
        std::string message = "The lab's archive knows another spelling of " + info.name + ":";
        for (const archive::ArchivedSubject& c : decision.candidates)
            message += "\n  " + c.id + "  " + c.name + " (" + std::to_string(c.tests) +
                       (c.tests == 1 ? " test)" : " tests)");
        message += "\nNothing was added: --lab-id ID if she is one of them, --another if she is someone else";
        return fail(message);
    }
    int64_t row = 0;
    bool added = false;
    if (!archive::addWithLabId(reg, info, decision, row, added)) return fail(reg.lastMessage());
    RegisteredSubject subject;
    if (!reg.get(row, subject)) return fail(reg.lastMessage());
    if (!reg.ensureDirectory(subject)) return fail(reg.lastMessage());
    if (!unreachable.empty()) std::cerr << unreachable << " (" << archive::redactedUrl(url) << ")\n";
    std::string how;
    if (decision.step == archive::LabIdStep::Adopt) {
        how = subject.info.name == info.name ? "the lab's id" : "the lab's id, and the lab's spelling of the name";
        if (!added) how = "in the register already under the lab's id";
    } else if (url.empty()) {
        how = "a new id";
    } else if (!server.isOpen()) {
        how = "a new id; the lab's archive did not answer, the next sync sends it";
    } else if (server.storeSubjects({archive::archivedSubject(subject)})) {
        how = "a new id, on the lab's archive now";
    } else {
        // A refusal is said as one: the subject is this station's only, and the exit says so.
        if (writeStandardOutput(subject.uuid + "  " + subject.info.name + "  (a new id, in this station's register only)\n") != 0)
            return 2;
        return fail(server.reason() + " (" + archive::redactedUrl(url) + ")");
    }
    return writeStandardOutput(subject.uuid + "  " + subject.info.name + "  (" + how + ")\n");
}

}  // namespace

void addSubjectsCommand(CommandLine& line) {
    Command subjects = line.add("subjects", "the lab's subjects and their ids",
                                "The subjects of the station's register, or of the lab's shared archive, with\n"
                                "their permanent ids.\n");
    subjects.incomplete("subjects needs list, add, rename or merge (see vantacheck-cli subjects --help)");
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
                 "holds exactly one subject of the same spelling (case and spaces aside), the new\n"
                 "subject takes that subject's id and spelling, so one athlete is one subject on\n"
                 "every station. Where it knows the name only in another spelling (\"Jan Novák\"\n"
                 "for \"Jan Novak\"), nothing is added and the exit status is 2: --lab-id ID or\n"
                 "--another says who she is. Otherwise she gets a new id, sent to the archive at\n"
                 "once or with the next sync; a role that may not write there: exit status 2.\n")
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
        .flag("--another", add->another,
              "a new subject with an id of its own, whatever the register or the lab's\n"
              "archive holds of the name (someone else of that name)")
        .text("--lab-id", add->labId, "ID",
              "the lab's subject this one is (where the lab knows another spelling of the\n"
              "name, subjects add names its ids and asks for this or --another)",
              "--lab-id needs a subject id")
        .incomplete("subjects add needs the subject's name")
        .runs([add] { return runSubjectsAdd(*add); });

    auto rename = std::make_shared<SubjectsRenameOptions>();
    subjects.sub("rename", "a subject's new name, here and in the lab",
                 "Gives the register's subject of that id a new name (checked as the register's\n"
                 "dialog checks it) and sends it to the shared archive: the lab keeps the newest\n"
                 "name, so another station's older spelling never comes back with its sync.\n")
        .files("ID NAME", rename->words, "the subject's id, then her new name").required()
        .text("--url", rename->url, "URL", "the shared archive to rename on as well", "--url needs a connection string")
        .text("--data", rename->data, "DIR", dataHelp, "--data needs a folder")
        .incomplete("subjects rename needs a subject id and a name")
        .runs([rename] { return runSubjectsRename(*rename); });

    auto merge = std::make_shared<SubjectsMergeOptions>();
    subjects.sub("merge", "two ids that are one person",
                 "Takes two subject ids, KEEP_ID and MERGED_ID: the second (and every id merged\n"
                 "into it) points to the first from now on, and the history and the profile of\n"
                 "either are both ids' tests. Made in the station's register, then on the shared\n"
                 "archive (--url, VANTA_ARCHIVE_URL or the data folder's archive-server.conf);\n"
                 "where the archive does not answer, the next sync sends the merge. An id that is\n"
                 "no subject's (the archive's, or without one the register's) is refused.\n")
        .files("KEEP_ID MERGED_ID", merge->ids, "the subject kept, then the one merged into it").required()
        .text("--url", merge->url, "URL", "the shared archive to merge on as well", "--url needs a connection string")
        .text("--data", merge->data, "DIR", dataHelp, "--data needs a folder")
        .incomplete("subjects merge needs two subject ids")
        .runs([merge] { return runSubjectsMerge(*merge); });
}

}  // namespace vanta::cli
