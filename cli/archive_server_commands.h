// The shared archive from the command line: archive sync, archive fetch and the server's
// side of archive list (--url). The archive command's dispatch calls these.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "cli/commands.h"

// The usage and help lines of the three, literals for the archive command's help text.
#define VANTA_ARCHIVE_SERVER_USAGE \
    "       vantacheck-cli archive sync [--url URL] [--data DIR] [--station NAME]\n" \
    "       vantacheck-cli archive fetch SHA256 --out FILE.kvq [--url URL] [--data DIR]\n"
#define VANTA_ARCHIVE_SERVER_HELP \
    "sync sends every test of the index's outbox to the lab's shared archive (PostgreSQL),\n" \
    "one transaction per test; a test already there is not stored twice. Exit status 0 when\n" \
    "the outbox is empty afterwards, 2 with the reason when the server cannot be reached\n" \
    "(the tests stay in the outbox for the next run) or stops answering (35 s), or when\n" \
    "the role may not store tests (permission denied). Each test names the station that\n" \
    "sent it: --station NAME, default VANTA_STATION_NAME, else the host name. fetch\n" \
    "writes the test with that SHA-256 from the server into FILE.kvq, byte for byte.\n" \
    "list --url URL lists the server's tests instead of the index's, with their station.\n" \
    "  --url URL   the server: a libpq URI (postgresql://user@host/database) or\n" \
    "              service=NAME; default: VANTA_ARCHIVE_URL, else the first line of\n" \
    "              DATA/archive-server.conf. Passwords belong in ~/.pgpass or a service\n" \
    "              file; one in the URL works but is never printed (and other users can\n" \
    "              read --url in the process list).\n"

namespace vanta::cli {

// archive sync [--url URL] [--data DIR]: `args` are the words after "sync"; `data` the
// data folder when --data is not among them.
int runArchiveSync(const Args& args, const std::string& defaultData);

// archive fetch SHA256 --out FILE.kvq [--url URL] [--data DIR]
int runArchiveFetch(const Args& args, const std::string& defaultData);

// The server's tests for archive list --url; false with the reason in `message`.
bool listArchiveServer(const std::string& url, const archive::TestQuery& query,
                       std::vector<archive::IndexedTest>& tests, std::string& message);


}  // namespace vanta::cli
