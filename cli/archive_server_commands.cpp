#include "cli/archive_server_commands.h"

#include <cstdio>
#include <cstdlib>

#include "archive/archive_url.h"
#include "archive/local_outbox.h"
#include "archive/outbox_sender.h"
#include "archive/server_archive.h"
#include "archive/sha256.h"
#include "storage/atomic_file.h"

namespace vanta::cli {

namespace {

// Takes "--url URL" and "--data DIR" out of `args`; false (after the message) on a bad one.
struct Common {
    std::string url;
    std::string data;
    Args rest;
};

// A password on the command line is in the process list, which every user of the computer
// may read; said once per run, where the password came from --url.
void warnOfPasswordInUrl(const std::string& url) {
    static bool said = false;
    if (said || archive::passwordIn(url).empty()) return;
    said = true;
    std::fputs("Warning: the password in --url can be read by other users of this computer in the process "
               "list; ~/.pgpass (or VANTA_ARCHIVE_URL) keeps it private.\n",
               stderr);
}

bool parseCommon(const Args& args, const std::string& defaultData, Common& c, int& status) {
    c.data = defaultData;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--url" || a == "--data") {
            if (i + 1 >= args.size() || args[i + 1].empty()) {
                status = fail(a + (a == "--url" ? " needs a connection string" : " needs a folder"));
                return false;
            }
            (a == "--url" ? c.url : c.data) = args[++i];
            if (a == "--url") warnOfPasswordInUrl(c.url);
        } else {
            c.rest.push_back(a);
        }
    }
    if (c.url.empty()) c.url = archive::configuredArchiveUrl(c.data, std::getenv(archive::kArchiveUrlVariable));
    return true;
}

const char* noServer =
    "No archive server is set (--url, VANTA_ARCHIVE_URL or the data folder's archive-server.conf)";

bool isSha256(const std::string& s) {
    if (s.size() != 64) return false;
    for (char ch : s)
        if (!((ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f'))) return false;
    return true;
}

}  // namespace

int runArchiveSync(const Args& args, const std::string& defaultData) {
    Common c;
    int status = 0;
    if (!parseCommon(args, defaultData, c, status)) return status;
    std::string station = archive::stationName(std::getenv(archive::kStationNameVariable));
    for (size_t i = 0; i < c.rest.size(); ++i) {
        if (c.rest[i] == "--station" && i + 1 < c.rest.size() && !c.rest[i + 1].empty()) {
            station = c.rest[++i];
            continue;
        }
        if (c.rest[i] == "--station") return fail("--station needs a name");
        return fail("Unknown option " + c.rest[i] + " (see vantacheck-cli archive --help)");
    }
    archive::LocalIndexOutbox outbox;
    if (!outbox.open(c.data)) return fail(outbox.reason());
    std::vector<archive::IndexedTest> pending;
    if (!outbox.pendingUploads(pending)) return fail(outbox.reason());
    if (pending.empty()) {
        std::printf("Archive: up to date\n");
        return 0;
    }
    if (c.url.empty()) return fail(std::string(noServer) + "; " + std::to_string(pending.size()) + " tests waiting");
    pending.clear();
    archive::ServerArchive server;
    server.setStation(station);
    const archive::SendReport report = archive::sendOutbox(outbox, server, c.url, nullptr, 2);
    std::printf("%d sent, %d already on the server, %d waiting\n", report.sent, report.alreadyThere, report.waiting);
    if (report.waiting == 0) {
        std::printf("Archive: up to date\n");
        return 0;
    }
    std::fflush(stdout);
    return fail(report.failure.empty() ? "Archive: " + std::to_string(report.waiting) + " tests waiting"
                                       : report.failure + " (" + archive::redactedUrl(c.url) + ")");
}

int runArchiveFetch(const Args& args, const std::string& defaultData) {
    Common c;
    int status = 0;
    if (!parseCommon(args, defaultData, c, status)) return status;
    std::string sha, out;
    for (size_t i = 0; i < c.rest.size(); ++i) {
        const std::string& a = c.rest[i];
        if (a == "--out") {
            if (i + 1 >= c.rest.size() || c.rest[i + 1].empty()) return fail("--out needs a file");
            out = c.rest[++i];
        } else if (!a.empty() && a[0] == '-') {
            return fail("Unknown option " + a + " (see vantacheck-cli archive --help)");
        } else if (sha.empty()) {
            sha = a;
        } else {
            return fail("archive fetch takes one SHA-256");
        }
    }
    if (!isSha256(sha)) return fail("archive fetch needs the test's SHA-256 (64 lowercase hex digits)");
    if (out.empty()) return fail("archive fetch needs --out FILE.kvq");
    if (c.url.empty()) return fail(noServer);
    archive::ServerArchive server;
    std::string bytes;
    if (!server.open(c.url) || !server.fetch(sha, bytes)) return fail(server.reason());
    // What the server sent is the test asked for, or nothing is written.
    if (archive::sha256Hex(bytes) != sha) return fail("The archive server sent other bytes than the test " + sha);
    int error = 0;
    if (!writeFileAtomically(out, bytes, &error)) return fail("File Save Error: " + out);
    return 0;
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
