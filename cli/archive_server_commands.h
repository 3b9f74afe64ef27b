// The shared archive from the command line: archive sync, archive fetch and the server's
// side of archive list (--url). The archive command's dispatch calls these.
#pragma once

#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "cli/commands.h"

namespace vanta::cli {

// archive sync [--url URL] [--data DIR]: `args` are the words after "sync"; `data` the
// data folder when --data is not among them.
int runArchiveSync(const Args& args, const std::string& defaultData);

// archive fetch SHA256 --out FILE.kvq [--url URL] [--data DIR]
int runArchiveFetch(const Args& args, const std::string& defaultData);

// The server's tests for archive list --url; false with the reason in `message`.
bool listArchiveServer(const std::string& url, const archive::TestQuery& query,
                       std::vector<archive::IndexedTest>& tests, std::string& message);

// The help lines of the three.
extern const char* const kArchiveServerHelp;

}  // namespace vanta::cli
