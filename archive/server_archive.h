// The lab's shared archive on a PostgreSQL server: every station of a lab sends its tests
// there (the file's bytes, its rows and its subject by UUID) and any station can list them
// or bring a file back byte for byte.
//
// - The station creates the tables itself in an empty database and upgrades them from an
//   older layout; the layout it finds is named in the table `vanta_archive_schema`. A
//   newer layout than this station knows, or a database that holds tables of another
//   program, is refused with a reason and never altered.
// - One test is one transaction, keyed by the SHA-256 of its bytes: a test sent twice is
//   stored once, and a connection that dies half-way leaves nothing of the test behind.
//   The server checks the bytes against the key, so a file changed since it was indexed
//   is never stored under the old identity.
// - After the tables exist, a role with SELECT and INSERT on them is all a station needs.
//
// Nothing here throws or shows anything: calls return false (or Failed) with a reason in
// the station's words. Connection strings may carry a password; it never appears in a
// reason (see redactedUrl).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_types.h"

namespace vanta::archive {

// The layout of the tables this station writes; raised with every change of them.
inline constexpr int kServerSchemaVersion = 1;

enum class StoreResult {
    Added,          // the test is on the server now
    AlreadyThere,   // it was there before (sent by this or another station): nothing changed
    Failed,         // nothing of it is on the server; the reason says why
};

class ServerArchive {
public:
    ServerArchive();
    ~ServerArchive();
    ServerArchive(const ServerArchive&) = delete;
    ServerArchive& operator=(const ServerArchive&) = delete;

    // Connects (a libpq URI or "service=NAME"; passwords from libpq's own places or the
    // URI) and makes sure the tables are this station's, creating or upgrading them when
    // needed. False with the reason: unreachable, refused login, newer or foreign layout.
    bool open(const std::string& connection);
    bool isOpen() const;
    void close();

    // One test in one transaction: `bytes` is the whole file whose SHA-256 is test.sha256.
    StoreResult store(const IndexedTest& test, std::string_view bytes);

    // The tests matching `query`, oldest testTime first, with their repetitions.
    bool list(const TestQuery& query, std::vector<IndexedTest>& tests);

    // The file's bytes; false with the reason "No test ..." when the server does not hold it.
    bool fetch(const std::string& sha256, std::string& bytes);

    // Why the last call failed.
    const std::string& reason() const { return reason_; }

private:
    struct Connection;
    bool fail(const std::string& why);
    bool ensureSchema();

    std::unique_ptr<Connection> db_;
    std::string password_;  // kept only to blank it out of the server's messages
    std::string reason_;
};

// `connection` with any password replaced by "***", for messages and logs.
std::string redactedUrl(std::string_view connection);

// The password a URI or "key=value" connection string carries, or "".
std::string passwordIn(std::string_view connection);

}  // namespace vanta::archive
