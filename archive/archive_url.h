// Where a station finds the lab's shared archive: one connection string (a libpq URI such as
// "postgresql://station@archive.lab/vanta" or a service name "service=vanta").
//
// The settings file "vantacheck.cfg" keeps its 96 bytes as every station before this one
// reads and writes them (an older station would cut off anything appended at its next
// exit), so the string lives in a small text file of its own in the data folder,
// "archive-server.conf": its first line that is neither empty nor a "#" comment.
// The environment variable VANTA_ARCHIVE_URL, when set and not empty, comes before it.
// Passwords belong in libpq's own places (~/.pgpass, PGPASSFILE, a service file); a
// password in the string is accepted but never shown (archive/server_archive.h).
#pragma once

#include <string>

namespace vanta::archive {

inline constexpr const char* kArchiveUrlFileName = "archive-server.conf";
inline constexpr const char* kArchiveUrlVariable = "VANTA_ARCHIVE_URL";
inline constexpr const char* kStationNameVariable = "VANTA_STATION_NAME";

// <dataDirectory>/archive-server.conf
std::string archiveUrlFile(const std::string& dataDirectory);

// The connection string from the file, or "" when there is none.
std::string readArchiveUrlFile(const std::string& dataDirectory);

// The one to use: `environment` (the variable's value, or null when unset) when not empty,
// else the file's. "" means no server: tests wait in the outbox.
std::string configuredArchiveUrl(const std::string& dataDirectory, const char* environment);

// The name each test carries to the lab's archive, telling which station sent it:
// `environment` (VANTA_STATION_NAME's value, or null) when not empty, else the computer's
// host name. (The settings file cannot hold it: its 96 bytes are what older stations read.)
std::string stationName(const char* environment);

}  // namespace vanta::archive
