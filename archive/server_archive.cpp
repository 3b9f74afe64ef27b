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
    return withLibpqOptions(connection, {"connect_timeout=10", "tcp_user_timeout=30000", "keepalives=1",
                                         "keepalives_idle=10", "keepalives_interval=5", "keepalives_count=3"});
}

}  // namespace


ServerArchive::ServerArchive() = default;
ServerArchive::~ServerArchive() = default;

bool ServerArchive::isOpen() const { return db_ && db_->c.is_open(); }

void ServerArchive::close() { db_.reset(); }

bool ServerArchive::fail(ServerError error, const std::string& why) {
    error_ = error;
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
    if (connection.empty()) return fail(ServerError::NotConnected, "No archive server is set");
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
        if (silent) return fail(ServerError::Unreachable, "The archive server cannot be reached: it does not answer");
        return fail(ServerError::Unreachable, std::string("The archive server cannot be reached: ") + e.what());
    }
    if (!ensureSchema()) {
        db_.reset();
        return false;
    }
    return true;
}

bool ServerArchive::brokenBySilence() {
    fail(ServerError::Silent, "The archive server stopped answering (nothing for " +
         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(answerLimit_).count()) +
         " s); the connection is given up");
    close();
    return false;
}

bool ServerArchive::call(const CallWords& words, const std::function<bool(Call&)>& body) {
    if (!isOpen()) return fail(ServerError::NotConnected, "Not connected to the archive server");
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        Call c{tx, watched};
        if (!body(c)) return false;
        watched.renew();
        tx.commit();
        error_ = ServerError::None;
        return true;
    } catch (const pqxx::insufficient_privilege& e) {
        fail(ServerError::Permission,
             words.denied.empty() ? words.failed + " (permission denied): " + e.what() : words.denied + e.what());
        close();
        return false;
    } catch (const pqxx::check_violation& e) {
        return fail(ServerError::Refused, words.unchecked.empty() ? words.failed + ": " + e.what() : words.unchecked);
    } catch (const pqxx::broken_connection& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        fail(ServerError::Broken, std::string("The connection to the archive server broke: ") + e.what());
        close();
        return false;
    } catch (const pqxx::sql_error& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        // 57014: the statement ran past the server's limit; 55P03: a lock was not free in time.
        const std::string state = e.sqlstate();
        if (state == "57014" || state == "55P03")
            fail(ServerError::Timeout, words.failed + ": the server gave up waiting (a timeout): " + e.what());
        else
            fail(ServerError::Refused, words.failed + ": " + e.what());
        if (db_ && !db_->c.is_open()) close();
        return false;
    } catch (const std::exception& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        fail(ServerError::Refused, words.failed + ": " + e.what());
        if (db_ && !db_->c.is_open()) close();
        return false;
    }
}

void ServerArchive::setStation(std::string name) { station_ = std::move(name); }

}  // namespace vanta::archive
