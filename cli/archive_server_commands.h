// The shared archive from the command line: archive sync, archive fetch and the server's
// side of archive list (--url).
#pragma once

#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "cli/commands.h"

namespace vanta::cli {

// archive sync and archive fetch, declared under `archive`; `defaultData` gives the data
// folder when --data is not among the words.
void addArchiveServerCommands(Command& archive, std::string (*defaultData)());

// The lab's archive a command uses: `given` (its --url), else VANTA_ARCHIVE_URL, else the
// first line of the data folder's archive-server.conf; "" where none is set.
std::string archiveUrlFor(const std::string& given, const std::string& data);

// A password on the command line is in the process list, which every user of the computer
// may read; said once per run, where the password came from --url.
void warnOfPasswordInUrl(const std::string& url);

// The server's tests for archive list --url; false with the reason in `message`.
bool listArchiveServer(const std::string& url, const archive::TestQuery& query,
                       std::vector<archive::IndexedTest>& tests, std::string& message);


}  // namespace vanta::cli
