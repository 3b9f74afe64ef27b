#include "archive/server_archive.h"

#include <pqxx/pqxx>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/server_internal.h"
#include "storage/name_folding.h"

namespace vanta::archive {

namespace {

// A server that went away without a word (a cable pulled, a machine off) would otherwise
// hold a connect for minutes and a send for a quarter of an hour: the window's worker,
// and with it the station's exit, would wait that long. Keepalives find a dead line while
// the connection is idle between the worker's runs (10 s idle, then 3 probes 5 s apart);
// tcp_user_timeout ends a send that the other side never acknowledges. The lab's own
// choice in the connection string wins.
std::string withTimeouts(const std::string& connection) {
    std::string out = connection;
    const bool uri = out.rfind("postgresql://", 0) == 0 || out.rfind("postgres://", 0) == 0;
    for (const char* option : {"connect_timeout=10", "tcp_user_timeout=30000", "keepalives=1",
                               "keepalives_idle=10", "keepalives_interval=5", "keepalives_count=3"}) {
        const std::string key = std::string(option).substr(0, std::string(option).find('=') + 1);
        if (out.find(key) != std::string::npos) continue;
        if (uri) out += (out.find('?') == std::string::npos ? "?" : "&") + std::string(option);
        else out += " " + std::string(option);
    }
    return out;
}

}  // namespace


ServerArchive::ServerArchive() = default;
ServerArchive::~ServerArchive() = default;

bool ServerArchive::isOpen() const { return db_ && db_->c.is_open(); }

void ServerArchive::close() { db_.reset(); }

bool ServerArchive::fail(const std::string& why) {
    std::string text = why;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // The server's messages may quote the connection string; its password never leaves here.
    reason_ = redactedText(text, secrets_);
    return false;
}

bool ServerArchive::open(const std::string& connection) {
    close();
    reason_.clear();
    secrets_.clear();
    const std::string forLibpq = connectionForLibpq(connection);
    for (const std::string& text : {connection, forLibpq}) {
        const std::string decoded = passwordIn(text);
        const std::string written = redactedUrl(text) == text ? "" : passwordWritten(text);
        for (const std::string& secret : {decoded, written})
            if (!secret.empty()) secrets_.push_back(secret);
    }
    if (connection.empty()) return fail("No archive server is set");
    try {
        db_ = std::make_unique<Connection>(withTimeouts(forLibpq));
        prepared_ = false;
        Watched watched(*this);
        // The server ends a statement that waits too long itself, with its own reason,
        // unless the lab chose a limit of its own for this role or database.
        pqxx::nontransaction(db_->c).exec_params(
            "SELECT set_config('statement_timeout', $1, false) WHERE current_setting('statement_timeout') = '0'",
            std::to_string(kStatementLimit.count()));
    } catch (const std::exception& e) {
        const bool silent = db_ && db_->watch.fired();
        db_.reset();
        if (silent) return fail("The archive server cannot be reached: it does not answer");
        db_.reset();
        return fail(std::string("The archive server cannot be reached: ") + e.what());
    }
    if (!ensureSchema()) {
        db_.reset();
        return false;
    }
    return true;
}

bool ServerArchive::brokenBySilence() {
    fail("The archive server stopped answering (nothing for " +
         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(answerLimit_).count()) +
         " s); the connection is given up");
    close();
    return false;
}
void ServerArchive::setStation(std::string name) { station_ = std::move(name); }

}  // namespace vanta::archive
