#include "cli/archive_server_commands.h"

#include <cstdio>
#include <cstring>
#include <cstdlib>

#include "archive/archive_url.h"
#include "archive/local_outbox.h"
#include "archive/outbox_sender.h"
#include "archive/server_archive.h"
#include "archive/sha256.h"
#include "cli/output_file.h"
#include "storage/atomic_file.h"

namespace vanta::cli {

std::string archiveUrlFor(const std::string& given, const std::string& data) {
    return !given.empty() ? given : archive::configuredArchiveUrl(data, std::getenv(archive::kArchiveUrlVariable));
}

namespace {

// The words sync and fetch share.
struct Common {
    std::string url;
    std::string data;
};

// The data folder and the server: --data, else the station's own; --url, else the one the
// data folder or the environment names.
Common resolved(const Common& given, std::string (*defaultData)()) {
    Common c = given;
    if (c.data.empty()) c.data = defaultData();
    if (!c.url.empty()) warnOfPasswordInUrl(c.url);
    c.url = archiveUrlFor(c.url, c.data);
    return c;
}

struct SyncOptions {
    Common common;
    std::string station;  // empty: VANTA_STATION_NAME, else the host name
};

struct WithdrawOptions {
    Common common;
    std::vector<std::string> shas;
    std::string reason;
};

struct FetchOptions {
    Common common;
    std::string sha;
    std::string out;
    bool overwrite = false;
};

const char* noServer =
    "No archive server is set (--url, VANTA_ARCHIVE_URL or the data folder's archive-server.conf)";

bool isSha256(const std::string& s) {
    if (s.size() != 64) return false;
    for (char ch : s)
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) return false;
    return true;
}

int runArchiveSync(const SyncOptions& options, const Common& c) {
    const std::string station = options.station.empty()
                                    ? archive::stationName(std::getenv(archive::kStationNameVariable))
                                    : options.station;
    archive::LocalIndexOutbox outbox;
    if (!outbox.open(c.data)) return fail(outbox.reason());
    std::vector<archive::IndexedTest> pending;
    if (!outbox.pendingUploads(pending)) return fail(outbox.reason());
    for (const std::string& gone : outbox.dropped()) std::fprintf(stderr, "%s\n", gone.c_str());
    if (pending.empty() && !c.url.empty()) {
        // Nothing to send, but the register's subjects still go to the lab's register; a
        // server that does not take them leaves the outbox as up to date as it is.
        archive::ServerArchive server;
        server.setStation(station);
        const archive::SendReport report = archive::sendOutbox(outbox, server, c.url);
        // A refusal is no "up to date": the lab's register lacks what this station holds.
        if (!report.failure.empty())
            return fail("The subjects wait for the archive server: " + report.failure + " (" +
                        archive::redactedUrl(c.url) + ")");
    }
    if (pending.empty()) return writeStandardOutput("Archive: up to date\n");
    if (c.url.empty()) return fail(std::string(noServer) + "; " + std::to_string(pending.size()) + " tests waiting");
    pending.clear();
    archive::ServerArchive server;
    server.setStation(station);
    // Two connections: every other batch goes over the second while the first is stored.
    const archive::SendReport report = archive::sendOutbox(outbox, server, c.url, nullptr, 2);
    std::string counts = std::to_string(report.sent) + " sent, " + std::to_string(report.alreadyThere) +
                         " already on the server, " + std::to_string(report.waiting) + " waiting\n";
    if (report.sidesReplaced > 0)
        counts += std::to_string(report.sidesReplaced) + " tests on the server take this station's corrected sides setting\n";
    // The lab's archive names the sides of these tests otherwise than this station does:
    // said, not settled (the first station to send a test set its flag).
    if (report.sidesDiffer > 0)
        counts += std::to_string(report.sidesDiffer) +
                  " tests on the server have another sides setting than this station's (archive sides normal|swapped "
                  "FILE... corrects them)\n";
    if (report.waiting == 0) return writeStandardOutput(counts + "Archive: up to date\n");
    if (writeStandardOutput(counts) != 0) return 2;
    return fail(report.failure.empty() ? "Archive: " + std::to_string(report.waiting) + " tests waiting"
                                       : report.failure + " (" + archive::redactedUrl(c.url) + ")");
}

int runArchiveFetch(const FetchOptions& options, const Common& c) {
    const std::string& sha = options.sha;
    const std::string& out = options.out;
    if (!isSha256(sha)) return fail("archive fetch needs the test's SHA-256 (64 lowercase hex digits)");
    if (c.url.empty()) return fail(noServer);
    if (const std::string refused = refusedOutput("archive fetch", "--out", out, options.overwrite); !refused.empty())
        return fail(refused);
    archive::ServerArchive server;
    std::string bytes;
    if (!server.open(c.url) || !server.fetch(sha, bytes)) return fail(server.reason());
    // What the server sent is the test asked for, or nothing is written.
    if (archive::sha256Hex(bytes) != sha) return fail("The archive server sent other bytes than the test " + sha);
    int error = 0;
    if (!writeFileAtomically(out, bytes, &error))
        return fail("File Save Error: " + out + ": " + std::strerror(error));
    return 0;
}

int runArchiveWithdraw(const WithdrawOptions& options, const Common& c, bool restore) {
    for (const std::string& sha : options.shas)
        if (!isSha256(sha)) return fail(sha + " is no SHA-256 of a test (64 lowercase hex digits)");
    if (c.url.empty()) return fail(noServer);
    archive::ServerArchive server;
    if (!server.open(c.url)) return fail(server.reason());
    int changed = 0;
    std::vector<std::string> unknown;
    if (restore) {
        if (!server.restore(options.shas.front(), changed)) return fail(server.reason());
        return writeStandardOutput(changed ? "Restored " + options.shas.front() + "\n"
                                           : options.shas.front() + " was not withdrawn\n");
    }
    if (!server.withdraw(options.shas, options.reason, changed, unknown)) return fail(server.reason());
    for (const std::string& sha : unknown) std::fprintf(stderr, "No test %s on the archive server\n", sha.c_str());
    const size_t known = options.shas.size() - unknown.size();
    if (writeStandardOutput(std::to_string(changed) + " withdrawn, " + std::to_string(known - changed) +
                            " withdrawn before\n") != 0)
        return 2;
    return unknown.empty() ? 0 : 2;
}

}  // namespace

void addArchiveServerCommands(Command& archive, std::string (*defaultData)()) {
    const std::string urlHelp =
        "the server: a libpq URI (postgresql://user@host/database) or\n"
        "service=NAME; default: VANTA_ARCHIVE_URL, else the first line of\n"
        "DATA/archive-server.conf. Passwords belong in ~/.pgpass or a service\n"
        "file; one in the URL works but is never printed (and other users can\n"
        "read --url in the process list).";
    const std::string dataHelp = "the station's data folder whose outbox and archive-server.conf are used\n"
                                 "(default: the station's own)";

    auto sync = std::make_shared<SyncOptions>();
    archive.sub("sync", "send the index's outbox to the shared archive",
                "Sends every test of the index's outbox to the lab's shared archive (PostgreSQL),\n"
                "each test all or nothing; a test already there is not stored twice. Exit status 0\n"
                "when the outbox is empty afterwards, 2 with the reason when the server cannot be\n"
                "reached (the tests stay in the outbox for the next run) or stops answering (35 s),\n"
                "or when the role may not store tests (permission denied).\n")
        .text("--url", sync->common.url, "URL", urlHelp, "--url needs a connection string")
        .text("--data", sync->common.data, "DIR", dataHelp, "--data needs a folder")
        .text("--station", sync->station, "NAME",
              "the station's name stored with each test (default: VANTA_STATION_NAME, else\nthe host name)",
              "--station needs a name")
        .runs([sync, defaultData] { return runArchiveSync(*sync, resolved(sync->common, defaultData)); });

    auto withdraw = std::make_shared<WithdrawOptions>();
    archive.sub("withdraw", "take tests out of the lab's archive, keeping them",
                "Takes the tests with these SHA-256s out of the lab's histories, profiles, lists and\n"
                "the view vanta_results, keeping them with who (the role), when and why; archive\n"
                "list --withdrawn shows them and archive restore brings one back. Only a role the\n"
                "lab lets withdraw tests may (see the README); a station's role may not.\n")
        .files("SHA256", withdraw->shas, "the tests' SHA-256s").required()
        .text("--reason", withdraw->reason, "TEXT", "why the tests are withdrawn (kept with them)",
              "--reason needs a text")
        .required("archive withdraw needs --reason TEXT")
        .text("--url", withdraw->common.url, "URL", urlHelp, "--url needs a connection string")
        .text("--data", withdraw->common.data, "DIR", dataHelp, "--data needs a folder")
        .incomplete("archive withdraw needs the tests' SHA-256s and --reason TEXT")
        .runs([withdraw, defaultData] {
            return runArchiveWithdraw(*withdraw, resolved(withdraw->common, defaultData), false);
        });
    auto restore = std::make_shared<WithdrawOptions>();
    restore->shas.resize(1);
    archive.sub("restore", "bring a withdrawn test back",
                "Brings the withdrawn test with this SHA-256 back into the lab's histories,\n"
                "profiles, lists and view.\n")
        .file("SHA256", restore->shas.front(), "the test's SHA-256").required()
        .text("--url", restore->common.url, "URL", urlHelp, "--url needs a connection string")
        .text("--data", restore->common.data, "DIR", dataHelp, "--data needs a folder")
        .incomplete("archive restore needs the test's SHA-256")
        .tooMany("archive restore takes one SHA-256")
        .runs([restore, defaultData] {
            return runArchiveWithdraw(*restore, resolved(restore->common, defaultData), true);
        });

    auto fetch = std::make_shared<FetchOptions>();
    archive.sub("fetch", "a test from the shared archive, byte for byte",
                "Writes the test with that SHA-256 from the lab's shared archive into FILE.kvq,\n"
                "byte for byte.\n")
        .file("SHA256", fetch->sha, "the test's SHA-256 (64 lowercase hex digits)")
        .required("archive fetch needs the test's SHA-256 (64 lowercase hex digits)")
        .text("--out", fetch->out, "FILE.kvq", "the test file to write", "--out needs a file")
        .required()
        .flag("--overwrite", fetch->overwrite, "replace FILE.kvq when it exists (never a test file)")
        .text("--url", fetch->common.url, "URL", urlHelp, "--url needs a connection string")
        .text("--data", fetch->common.data, "DIR", dataHelp, "--data needs a folder")
        .incomplete("archive fetch needs --out FILE.kvq")
        .tooMany("archive fetch takes one SHA-256")
        .runs([fetch, defaultData] { return runArchiveFetch(*fetch, resolved(fetch->common, defaultData)); });
}

void warnOfPasswordInUrl(const std::string& url) {
    static bool said = false;
    if (said || archive::passwordIn(url).empty()) return;
    said = true;
    std::fputs("Warning: the password in --url can be read by other users of this computer in the process "
               "list; ~/.pgpass (or VANTA_ARCHIVE_URL) keeps it private.\n",
               stderr);
}

bool listArchiveServer(const std::string& url, const archive::TestQuery& query,
                       std::vector<archive::IndexedTest>& tests, std::string& message) {
    if (url.empty()) {
        message = noServer;
        return false;
    }
    warnOfPasswordInUrl(url);  // archive list takes the server from --url only
    archive::ServerArchive server;
    if (!server.open(url) || !server.list(query, tests)) {
        message = server.reason();
        return false;
    }
    return true;
}

}  // namespace vanta::cli
