// Small helpers over SQLite's C interface for the index: a prepared statement that is
// finalised with its scope, and a write transaction rolled back unless committed.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vanta::archive {

// Statements prepared once per connection and kept: indexing a thousand files runs the
// same few statements thousands of times, and preparing costs more than running them.
class StatementCache {
public:
    explicit StatementCache(sqlite3* db) : db_(db) {}
    ~StatementCache() {
        for (auto& entry : prepared_) sqlite3_finalize(entry.second);
    }
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // nullptr when SQLite refuses the statement (the connection's error says why).
    sqlite3_stmt* get(const std::string& sql) {
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

private:
    sqlite3* db_;
    std::unordered_map<std::string, sqlite3_stmt*> prepared_;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql) { rc_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr); }
    Statement(sqlite3* db, const std::string& sql) : Statement(db, sql.c_str()) {}
    // One of the cache's statements, for this scope: reset and unbound when it ends.
    Statement(StatementCache& cache, const std::string& sql) : stmt_(cache.get(sql)), owned_(false) {
        rc_ = stmt_ ? SQLITE_OK : SQLITE_ERROR;
    }
    ~Statement() {
        if (owned_) {
            sqlite3_finalize(stmt_);
        } else if (stmt_) {
            sqlite3_reset(stmt_);
            sqlite3_clear_bindings(stmt_);
        }
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool prepared() const { return rc_ == SQLITE_OK && stmt_; }
    void bind(int index, std::string_view text) {
        // An empty view may carry no pointer at all; SQLite would store NULL for it.
        sqlite3_bind_text64(stmt_, index, text.data() ? text.data() : "", text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    }
    void bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
    void bind(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
    int step() { return sqlite3_step(stmt_); }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    double real(int column) const { return sqlite3_column_double(stmt_, column); }
    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string text(int column) const {
        const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
        return p ? std::string(p, static_cast<size_t>(sqlite3_column_bytes(stmt_, column))) : std::string();
    }

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
    bool owned_ = true;
};

// BEGIN IMMEDIATE takes the write lock at once: two writers never both read the old rows
// and then both write.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) {
        begun_ = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~Transaction() {
        if (begun_ && !committed_) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool begun() const { return begun_; }
    bool commit() {
        committed_ = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        return committed_;
    }

private:
    sqlite3* db_;
    bool begun_ = false;
    bool committed_ = false;
};

inline bool readPragma(sqlite3* db, const char* sql, int64_t& value) {
    Statement st(db, sql);
    if (!st.prepared() || st.step() != SQLITE_ROW) return false;
    value = st.integer(0);
    return true;
}

}  // namespace vanta::archive
