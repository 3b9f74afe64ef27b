// Small helpers over SQLite's C interface for the station's stores (the subject register,
// the test index): a prepared statement that is finalised with its scope, statements kept
// prepared for a connection, and a write transaction rolled back unless committed.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace vanta::sqlite {

// Statements prepared once per connection and kept: indexing a thousand files runs the
// same few statements thousands of times, and preparing costs more than running them.
class StatementCache {
public:
    explicit StatementCache(sqlite3* db) : db_(db) {}
    ~StatementCache();
    StatementCache(const StatementCache&) = delete;
    StatementCache& operator=(const StatementCache&) = delete;

    // nullptr when SQLite refuses the statement (the connection's error says why).
    sqlite3_stmt* get(const std::string& sql);

private:
    sqlite3* db_;
    std::unordered_map<std::string, sqlite3_stmt*> prepared_;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql);
    Statement(sqlite3* db, const std::string& sql) : Statement(db, sql.c_str()) {}
    // One of the cache's statements, for this scope: reset and unbound when it ends.
    Statement(StatementCache& cache, const std::string& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool prepared() const { return rc_ == SQLITE_OK && stmt_; }
    void bind(int index, std::string_view text);
    void bind(int index, int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
    void bind(int index, double value) { sqlite3_bind_double(stmt_, index, value); }
    // A number the row may not know: the number or NULL.
    void bind(int index, std::optional<int32_t> value) {
        if (value) sqlite3_bind_int64(stmt_, index, *value);
        else sqlite3_bind_null(stmt_, index);
    }
    // A yes/no the row may not know: 1, 0 or NULL.
    void bind(int index, std::optional<bool> value) {
        if (value) sqlite3_bind_int64(stmt_, index, *value ? 1 : 0);
        else sqlite3_bind_null(stmt_, index);
    }
    int step() { return sqlite3_step(stmt_); }
    // Ready for the next row, with every parameter unbound: a row that binds fewer
    // parameters than the one before stores NULL there, never the earlier row's value.
    void reset();
    int64_t integer(int column) const { return sqlite3_column_int64(stmt_, column); }
    double real(int column) const { return sqlite3_column_double(stmt_, column); }
    bool isNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }
    std::string text(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    int rc_ = SQLITE_ERROR;
    bool owned_ = true;
};

// BEGIN IMMEDIATE takes the write lock at once: two writers never both read the old rows
// and then both write (two stations adding the same name never pick the same folder).
class Transaction {
public:
    explicit Transaction(sqlite3* db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    bool begun() const { return begun_; }
    bool commit();

private:
    sqlite3* db_;
    bool begun_ = false;
    bool committed_ = false;
};

// The first column of the first row of `sql` (a pragma, a count); false when there is none.
bool readPragma(sqlite3* db, const char* sql, int64_t& value);

// Runs `sql` to its end (a pragma that returns its new value included).
bool execute(sqlite3* db, const char* sql);

}  // namespace vanta::sqlite
