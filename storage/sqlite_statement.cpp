#include "storage/sqlite_statement.h"

namespace vanta::sqlite {

StatementCache::~StatementCache() {
    for (auto& entry : prepared_) sqlite3_finalize(entry.second);
}

sqlite3_stmt* StatementCache::get(const std::string& sql) {
    auto it = prepared_.find(sql);
    if (it != prepared_.end()) return it->second;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return nullptr;
    }
    prepared_.emplace(sql, stmt);
    return stmt;
}

Statement::Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }

Statement::Statement(StatementCache& cache, const std::string& sql) : stmt_(cache.get(sql)), owned_(false) {
    rc_ = stmt_ ? SQLITE_OK : SQLITE_ERROR;
}

Statement::~Statement() {
    if (owned_) {
        sqlite3_finalize(stmt_);
    } else if (stmt_) {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
}

void Statement::bind(int index, std::string_view text) {
    // An empty view may carry no pointer at all; SQLite would store NULL for it.
    sqlite3_bind_text64(stmt_, index, text.data() ? text.data() : "", text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

void Statement::reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
}

std::string Statement::text(int column) const {
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
    return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
}

Transaction::Transaction(sqlite3* db) : db_(db) {
    begun_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
}

Transaction::~Transaction() {
    if (begun_ && !committed_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Transaction::commit() {
    committed_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    return committed_;
}

bool readPragma(sqlite3* db, const char* sql, int64_t& value) {
    Statement st(db, sql);
    if (!st.prepared() || st.step() != SQLITE_ROW) return false;
    value = st.integer(0);
    return true;
}

bool execute(sqlite3* db, const char* sql) {
    Statement st(db, sql);
    if (!st.prepared()) return false;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW) {
    }
    return rc == SQLITE_DONE;
}

}  // namespace vanta::sqlite
