// vantacheck-cli site: the coach's static report site from the lab's archive (or a
// station's index): the athletes page and one page per athlete, each athlete's numbers
// made by the functions history and profile use, so the pages and `history --json` /
// `profile --json` never disagree. Rows only, never a test file's bytes.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <set>

#include "archive/lab_reader.h"
#include "archive/local_index.h"
#include "archive/server_archive.h"
#include "archive/sha256.h"
#include "cli/archive_server_commands.h"
#include "cli/commands.h"
#include "cli/local_days.h"
#include "cli/subject_tests.h"
#include "history/history.h"
#include "site/site_pages.h"
#include "site/site_writer.h"
#include "station/subject_history.h"
#include "storage/name_folding.h"
#include "storage/subject_register.h"

namespace vanta::cli {

namespace {

struct SiteOptions {
    std::string out;
    std::string url;
    std::string data;
    std::vector<std::string> subjects;
    std::optional<int64_t> since;
};

// One athlete as the archive gives her: her kept id (merged ids folded in), her name,
// her tests oldest first.
struct FoundAthlete {
    std::string id, name;
    std::vector<archive::IndexedTest> tests;
};

// Whom the site shows: every athlete, or those whose name contains one of the texts (in
// any case, with or without accents).
bool chosen(const SiteOptions& options, const std::string& name) {
    if (options.subjects.empty()) return true;
    const std::string folded = foldedName(name);
    return std::any_of(options.subjects.begin(), options.subjects.end(),
                       [&](const std::string& text) { return folded.find(foldedName(text)) != std::string::npos; });
}

// The lab's register on the server: each kept id with the tests `history --subject` reads
// for her (labSubjectTests: her ids' tests and those of unknown id under exactly her name).
// Each athlete goes to `take` as soon as her tests are read, so only one athlete's rows
// are in memory at a time (a lab's archive holds millions of repetitions).
using TakeAthlete = std::function<bool(FoundAthlete&&, std::string&)>;

bool fromServer(const SiteOptions& options, const TakeAthlete& take, std::string& message) {
    warnOfPasswordInUrl(options.url);
    archive::ServerArchive server;
    std::vector<archive::ServerArchive::SubjectCount> subjects;
    if (!server.open(options.url) || !server.listSubjects(subjects)) {
        message = server.reason();
        return false;
    }
    for (const auto& s : subjects) {
        if (!chosen(options, s.name)) continue;
        FoundAthlete a{s.id, s.name, {}};
        if (!archive::labSubjectTests(server, s.id, s.name, a.tests)) {
            message = server.reason();
            return false;
        }
        if (!take(std::move(a), message)) return false;
    }
    return true;
}

// A station's register and index: each subject the register keeps (not one merged into
// another) with the tests the History screen shows her, then the tests of no known
// subject, one athlete per name, as `history --subject` finds them.
bool fromIndex(const SiteOptions& options, const TakeAthlete& take, std::string& message) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(fs::path(options.data) / archive::LocalIndex::kFileName, ec)) {
        message = "There is no index of tests in " + options.data + " (see vantacheck-cli archive index)";
        return false;
    }
    archive::LocalIndex index;
    if (!index.open(options.data, archive::Access::ReadOnly)) {
        message = index.lastMessage();
        return false;
    }
    std::set<std::string> taken;  // the tests some subject of the register holds
    if (fs::is_regular_file(fs::path(options.data) / SubjectRegister::kFileName, ec)) {
        SubjectRegister reg;
        std::vector<RegisteredSubject> all;
        if (!reg.open(options.data) || !reg.search("", all)) {
            message = reg.lastMessage();
            return false;
        }
        for (const RegisteredSubject& s : all) {
            std::vector<std::string> ids;
            if (!reg.mergedIds(s.uuid, ids)) {
                message = reg.lastMessage();
                return false;
            }
            if (!ids.empty() && ids.front() != s.uuid) continue;  // merged into another
            FoundAthlete a{s.uuid, s.info.name, {}};
            if (!listSubjectTests(index, HistorySubject{s.uuid, s.info.name}, a.tests)) {
                message = index.lastMessage();
                return false;
            }
            for (const archive::IndexedTest& t : a.tests) taken.insert(t.sha256);
            if (chosen(options, a.name) && !take(std::move(a), message)) return false;
        }
    }
    std::vector<archive::IndexedTest> every;
    if (!index.listTests(archive::TestQuery{}, every)) {
        message = index.lastMessage();
        return false;
    }
    std::set<std::string> names;
    for (const archive::IndexedTest& t : every)
        if (!taken.count(t.sha256) && t.subjectId.empty()) names.insert(t.subject);
    for (const std::string& name : names) {
        if (!chosen(options, name)) continue;
        FoundAthlete a{"", name, {}};
        if (!listSubjectTests(index, HistorySubject{"", name}, a.tests)) {
            message = index.lastMessage();
            return false;
        }
        if (!take(std::move(a), message)) return false;
    }
    return true;
}

// The first second of the local day of `t`, and `days` whole days before it.
int64_t dayStart(int64_t t, int daysBefore = 0) {
    const std::time_t at = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&at, &tm);
    tm.tm_mday -= daysBefore;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

// The profile of her tests from `from` (inclusive) to `to` (exclusive), as profile --from
// --to takes them.
Profile profileBetween(const std::vector<archive::IndexedTest>& tests, int64_t from, int64_t to, int& count) {
    std::vector<archive::IndexedTest> within;
    for (const archive::IndexedTest& t : tests)
        if (t.testTime >= from && t.testTime < to) within.push_back(t);
    count = static_cast<int>(within.size());
    return buildProfile(profileAttemptsOf(within), false);
}

std::string keyOf(const FoundAthlete& a) {
    // Known by name only: a key from the folded name, so the page keeps its address.
    return a.id.empty() ? "name-" + archive::sha256Hex(foldedName(a.name)).substr(0, 20) : a.id;
}

int runSite(const SiteOptions& options) {
    if (std::any_of(options.subjects.begin(), options.subjects.end(), [](const std::string& t) { return t.empty(); }))
        return fail("--subject needs a name or part of one");
    if (options.url.empty() == options.data.empty())
        return fail("site needs one of --url URL and --data DIR (see vantacheck-cli site --help)");
    std::string message;
    site::SiteFolder folder;
    if (!folder.open(options.out, message)) return fail(message);
    std::vector<site::AthleteRow> rows;
    std::set<std::string> keys;
    const TakeAthlete take = [&](FoundAthlete&& found, std::string& why) {
        if (options.since)
            std::erase_if(found.tests, [&](const archive::IndexedTest& t) { return t.testTime < *options.since; });
        // With --since, an athlete without a test since then is not on the site.
        if (options.since && found.tests.empty()) return true;
        site::AthleteData a;
        a.key = keyOf(found);
        if (!keys.insert(a.key).second) return true;  // one page per athlete
        a.id = found.id;
        a.name = found.name;
        a.tests = std::move(found.tests);
        a.history = buildHistory(historyAttemptsOf(a.tests), a.name, false);
        rows.push_back(site::athleteRow(a));
        if (a.tests.empty()) return true;  // listed, no page
        const std::string digest = site::athleteDigest(a.id, a.name, a.tests, options.since.value_or(0));
        if (folder.keeps(a.key, digest)) return true;
        const int64_t latest = a.tests.back().testTime;
        a.latestDayStart = dayStart(latest);
        a.latestDayEnd = nextDay(a.latestDayStart);
        a.last30Start = dayStart(latest, 29);
        a.latestDay = profileBetween(a.tests, a.latestDayStart, a.latestDayEnd, a.latestDayTests);
        a.last30Days = profileBetween(a.tests, a.last30Start, a.latestDayEnd, a.last30Tests);
        return folder.writeAthlete(a.key, digest, site::athletePage(a), why);
    };
    if (!(options.url.empty() ? fromIndex(options, take, message) : fromServer(options, take, message)))
        return fail(message);
    const std::string source = options.url.empty() ? "the station's index" : "the lab's archive";
    if (!folder.writePage("index.html", site::athletesPage(rows, site::AthleteOrder::Name, source), message) ||
        !folder.writePage("latest.html", site::athletesPage(rows, site::AthleteOrder::LastTest, source), message) ||
        !folder.finish(message))
        return fail(message);
    std::cout << rows.size() << (rows.size() == 1 ? " athlete: " : " athletes: ") << folder.written().size()
              << " page(s) written, " << folder.kept() << " unchanged, " << folder.removed().size() << " removed ("
              << options.out << ")\n";
    return 0;
}

}  // namespace

void addSiteCommand(CommandLine& line) {
    auto options = std::make_shared<SiteOptions>();
    Command site = line.add("site", "the coach's report site (static HTML)",
             "A static site any web server (or a shared folder) can serve: index.html lists the\n"
             "athletes (the lab's kept ids, merged ones folded in) with their number of tests, the\n"
             "last test and per side the latest change at each load; latest.html the same by the\n"
             "last test; athletes/<id>.html one athlete's History per side and load with the\n"
             "test error's band, the changes, the load-power profile of her latest test day and\n"
             "of the 30 days ending with it, and her tests. Its numbers are those of history\n"
             "--json and profile --json for the same tests. No resource from outside the folder,\n"
             "no script needed to read it. A second run rewrites only the pages of athletes whose\n"
             "tests changed (and the athletes pages) and removes those of athletes who are gone\n"
             "(DIR/site-manifest.txt records what each page was made from); every page is\n"
             "replaced atomically. Rows only, never the test files.\n");
    site.text("--out", options->out, "DIR", "the site's folder: a new or empty one, or one this command wrote",
              "--out needs a folder")
        .required("site needs --out DIR")
        .text("--url", options->url, "URL",
              "the lab's shared archive (a libpq URI or service=NAME; a read-only role\n"
              "is enough)",
              "--url needs a connection string")
        .text("--data", options->data, "DIR", "instead of --url, a station's data folder (its register and index)",
              "--data needs a folder")
        .value("--since", "YYYY-MM-DD", "only the tests of that day and later (local time)",
               "--since needs a date YYYY-MM-DD",
               [options](const std::string& t) {
                   int64_t day = 0;
                   if (!parseDay(t, day)) return false;
                   options->since = day;
                   return true;
               });
    // --subject may be given several times: each one's athletes are on the site.
    site.app()
        ->add_option("--subject", options->subjects,
                     "only the athletes whose name contains TEXT (any case, with or\n"
                     "without accents); may be given several times")
        ->type_name("TEXT");
    site.runs([options] { return runSite(*options); });
}

}  // namespace vanta::cli
