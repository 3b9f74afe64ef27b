#include "archive/server_archive.h"

#include <pqxx/pqxx>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "storage/name_folding.h"

namespace vanta::archive {

namespace {

// What the version table calls this station's tables: a database whose version table
// names another program is not ours to touch.
constexpr const char* kProgram = "vantacheck archive";

// Any one number for the lock that lets only one station at a time create or upgrade the
// tables; a second one waits and then finds them made.
constexpr long long kSchemaLock = 0x56414e5441; // "VANTA"

// Layout 1. The checks let the server itself refuse a file whose bytes are not the ones
// its key names, and a repetition without its 30 results. The subject key is the name
// folded as the register folds it, so a search finds "Novák" by "novak" on the server too.
const char* const kCreateVersion1[] = {
    "CREATE TABLE vanta_archive_schema ("
    "  program text NOT NULL,"
    "  version integer NOT NULL)",
    "CREATE TABLE vanta_subjects ("
    "  id uuid PRIMARY KEY,"
    "  name text NOT NULL)",
    "CREATE TABLE vanta_tests ("
    "  sha256 text PRIMARY KEY CHECK (sha256 ~ '^[0-9a-f]{64}$'),"
    "  bytes bytea%s NOT NULL,"
    "  size bigint NOT NULL,"
    "  path text NOT NULL,"
    "  modified bigint NOT NULL,"
    "  subject text NOT NULL,"
    "  subject_key text NOT NULL,"
    "  subject_id uuid REFERENCES vanta_subjects (id),"
    "  test_time bigint NOT NULL,"
    "  repetition_count integer NOT NULL,"
    "  uploaded timestamptz NOT NULL DEFAULT now(),"
    "  CHECK (octet_length(bytes) = size),"
    "  CHECK (encode(sha256(bytes), 'hex') = sha256))",
    "CREATE INDEX vanta_tests_time ON vanta_tests (test_time)",
    "CREATE INDEX vanta_tests_subject_id ON vanta_tests (subject_id)",
    "CREATE TABLE vanta_repetitions ("
    "  sha256 text NOT NULL REFERENCES vanta_tests (sha256),"
    "  number integer NOT NULL,"
    "  direction integer NOT NULL,"
    "  load double precision NOT NULL,"
    "  radius double precision NOT NULL,"
    "  sample_count integer NOT NULL,"
    "  velocity_peak_index integer NOT NULL,"
    "  results real[] NOT NULL CHECK (cardinality(results) = 30),"
    "  PRIMARY KEY (sha256, number))",
};

// The tables of every layout this station has written, for telling a fresh database
// from one that holds another program's tables.
const char* const kOurTables[] = {"vanta_archive_schema", "vanta_subjects", "vanta_tests", "vanta_repetitions"};

std::string number(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// float32 results go out with 9 digits, which brings every float back bit for bit.
std::string resultsArray(const IndexedRepetition& r) {
    std::string text = "{";
    for (int row = 0; row < kResultRowCount; ++row)
        for (int col = 0; col < kResultColumnCount; ++col) {
            if (text.size() > 1) text += ',';
            const float v = r.results[row][col];
            if (std::isnan(v) || std::isinf(v)) {
                text += number(v);
            } else {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
                text += buf;
            }
        }
    return text + "}";
}

bool parseResultsArray(const std::string& text, IndexedRepetition& r) {
    if (text.size() < 2 || text.front() != '{' || text.back() != '}') return false;
    const char* p = text.c_str() + 1;
    for (int i = 0; i < kResultRowCount * kResultColumnCount; ++i) {
        char* end = nullptr;
        float v;
        if (std::strncmp(p, "NaN", 3) == 0) {
            v = NAN;
            end = const_cast<char*>(p) + 3;
        } else {
            v = std::strtof(p, &end);  // also reads "Infinity" and "-Infinity"
            if (end == p) return false;
        }
        r.results[i / kResultColumnCount][i % kResultColumnCount] = v;
        p = end;
        if (*p == ',') ++p;
    }
    return *p == '}';
}

// A server that went away without a word (a cable pulled, a machine off) would otherwise
// hold a connect for minutes and a send for a quarter of an hour: the window's worker,
// and with it the station's exit, would wait that long. The lab's own choice in the
// connection string wins.
std::string withTimeouts(const std::string& connection) {
    std::string out = connection;
    const bool uri = out.rfind("postgresql://", 0) == 0 || out.rfind("postgres://", 0) == 0;
    for (const char* option : {"connect_timeout=10", "tcp_user_timeout=30000"}) {
        const std::string key = std::string(option).substr(0, std::string(option).find('=') + 1);
        if (out.find(key) != std::string::npos) continue;
        if (uri) out += (out.find('?') == std::string::npos ? "?" : "&") + std::string(option);
        else out += " " + std::string(option);
    }
    return out;
}

int64_t toInt64(const pqxx::field& f) { return f.is_null() ? 0 : f.as<long long>(); }

}  // namespace

struct ServerArchive::Connection {
    explicit Connection(const std::string& text) : c(text) {}
    pqxx::connection c;
};

ServerArchive::ServerArchive() = default;
ServerArchive::~ServerArchive() = default;

bool ServerArchive::isOpen() const { return db_ && db_->c.is_open(); }

void ServerArchive::close() { db_.reset(); }

bool ServerArchive::fail(const std::string& why) {
    std::string text = why;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    // The server's messages may quote the connection string; its password never leaves here.
    if (!password_.empty())
        for (size_t at = text.find(password_); at != std::string::npos; at = text.find(password_, at + 3))
            text.replace(at, password_.size(), "***");
    reason_ = text;
    return false;
}

bool ServerArchive::open(const std::string& connection) {
    close();
    reason_.clear();
    password_ = passwordIn(connection);
    if (connection.empty()) return fail("No archive server is set");
    try {
        db_ = std::make_unique<Connection>(withTimeouts(connection));
    } catch (const std::exception& e) {
        db_.reset();
        return fail(std::string("The archive server cannot be reached: ") + e.what());
    }
    if (!ensureSchema()) {
        db_.reset();
        return false;
    }
    return true;
}

bool ServerArchive::ensureSchema() {
    try {
        for (int attempt = 0; attempt < 2; ++attempt) {
            pqxx::work tx(db_->c);
            if (attempt == 1) tx.exec_params("SELECT pg_advisory_xact_lock($1)", kSchemaLock);
            // Only the schema the connection writes into counts (the first of its search path).
            const pqxx::result tables = tx.exec(
                "SELECT table_name FROM information_schema.tables "
                "WHERE table_schema = current_schema()");
            bool haveVersion = false;
            int others = 0;
            int ours = 0;
            for (const auto& row : tables) {
                const std::string name = row[0].c_str();
                if (name == "vanta_archive_schema") haveVersion = true;
                bool known = false;
                for (const char* t : kOurTables) known = known || name == t;
                (known ? ours : others) += 1;
            }
            if (haveVersion) {
                const pqxx::result v = tx.exec("SELECT program, version FROM vanta_archive_schema");
                if (v.size() != 1 || std::string(v[0][0].c_str()) != kProgram)
                    return fail("The archive server's database holds another program's tables; "
                                "the station leaves it as it is");
                const int version = v[0][1].as<int>();
                if (version > kServerSchemaVersion)
                    return fail("The archive server's tables are of a newer station (layout " +
                                std::to_string(version) + ", this station knows " +
                                std::to_string(kServerSchemaVersion) +
                                "): update this station; the server is left as it is");
                if (version == kServerSchemaVersion) return true;
                // Older layouts get their upgrade here, in this transaction, once there are any.
                return fail("The archive server's tables have layout " + std::to_string(version) +
                            ", which this station cannot upgrade");
            }
            if (others > 0 || ours > 0)
                return fail("The archive server's database holds another program's tables; "
                            "the station leaves it as it is");
            if (attempt == 0) continue;  // again, under the lock: another station may be at it
            // A fresh database: the tables of the current layout, all or nothing. The files
            // are kept compressed with lz4 where the server has it: pglz, the default,
            // made an upload three times slower for 15 % less disk.
            const bool lz4 = tx.exec("SELECT 1 FROM pg_settings WHERE name = 'default_toast_compression' "
                                     "AND 'lz4' = ANY (enumvals)")
                                 .size() == 1;
            for (std::string statement : kCreateVersion1) {
                const size_t at = statement.find("%s");
                if (at != std::string::npos) statement.replace(at, 2, lz4 ? " COMPRESSION lz4" : "");
                tx.exec(statement);
            }
            tx.exec_params("INSERT INTO vanta_archive_schema (program, version) VALUES ($1, $2)", kProgram,
                           kServerSchemaVersion);
            tx.commit();
            return true;
        }
    } catch (const pqxx::insufficient_privilege& e) {
        return fail(std::string("The archive server's database has no tables yet and this role may not "
                                "create them (the lab's database owner sets them up once): ") +
                    e.what());
    } catch (const std::exception& e) {
        return fail(std::string("The archive server's tables cannot be read: ") + e.what());
    }
    return fail("The archive server's tables cannot be read");
}

StoreResult ServerArchive::store(const IndexedTest& test, std::string_view bytes) {
    if (!isOpen()) {
        fail("Not connected to the archive server");
        return StoreResult::Failed;
    }
    try {
        pqxx::work tx(db_->c);
        if (!test.subjectId.empty()) {
            // The subject keeps the name it had when it first reached the server.
            tx.exec_params(
                "INSERT INTO vanta_subjects (id, name) VALUES ($1::uuid, $2) ON CONFLICT (id) DO NOTHING",
                test.subjectId, test.subject);
        }
        // A second station sending the same test waits here for the first one's
        // transaction and then finds the key taken: stored once, whoever was first.
        const std::string subjectId = test.subjectId;
        const pqxx::result added = tx.exec_params(
            "INSERT INTO vanta_tests (sha256, bytes, size, path, modified, subject, subject_key, "
            "                         subject_id, test_time, repetition_count) "
            "VALUES ($1, $2, $3::bigint, $4, $5::bigint, $6, $7, nullif($8, '')::uuid, $9::bigint, $10::integer) "
            "ON CONFLICT (sha256) DO NOTHING RETURNING 1",
            test.sha256, pqxx::binarystring(bytes.data(), bytes.size()), static_cast<long long>(bytes.size()),
            test.path, static_cast<long long>(test.modified), test.subject, foldedName(test.subject), subjectId,
            static_cast<long long>(test.testTime), static_cast<int>(test.repetitions.size()));
        if (added.empty()) {
            tx.commit();
            return StoreResult::AlreadyThere;
        }
        for (const IndexedRepetition& r : test.repetitions)
            tx.exec_params(
                "INSERT INTO vanta_repetitions (sha256, number, direction, load, radius, sample_count, "
                "                               velocity_peak_index, results) "
                "VALUES ($1, $2::integer, $3::integer, $4::double precision, $5::double precision, "
                "        $6::integer, $7::integer, $8::real[])",
                test.sha256, r.number, r.direction, number(r.load), number(r.radius), r.sampleCount,
                r.velocityPeakIndex, resultsArray(r));
        tx.commit();
        return StoreResult::Added;
    } catch (const pqxx::check_violation&) {
        fail("The file's bytes are not the test " + test.sha256 + " (changed since it was indexed)");
    } catch (const pqxx::broken_connection& e) {
        fail(std::string("The connection to the archive server broke: ") + e.what());
        close();
    } catch (const std::exception& e) {
        fail(std::string("The archive server refused the test: ") + e.what());
        if (!db_->c.is_open()) close();
    }
    return StoreResult::Failed;
}

bool ServerArchive::list(const TestQuery& query, std::vector<IndexedTest>& tests) {
    tests.clear();
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        pqxx::work tx(db_->c);
        // Unset fields are NULL parameters and match everything.
        const auto text = [](const std::optional<std::string>& v) -> std::string { return v ? *v : ""; };
        const std::string subject = query.subject ? foldedName(*query.subject) : "";
        const pqxx::result rows = tx.exec_params(
            "SELECT t.sha256, t.path, t.size, t.modified, t.subject, coalesce(t.subject_id::text, ''), "
            "       t.test_time, r.number, r.direction, r.load, r.radius, r.sample_count, "
            "       r.velocity_peak_index, r.results::text "
            "FROM vanta_tests t LEFT JOIN vanta_repetitions r ON r.sha256 = t.sha256 "
            "WHERE ($1 = '' OR strpos(t.subject_key, $1) > 0) "
            "  AND ($2 = '' OR t.subject_id = $2::uuid) "
            "  AND ($3 = '' OR t.test_time >= $3::bigint) "
            "  AND ($4 = '' OR t.test_time < $4::bigint) "
            "ORDER BY t.test_time, t.sha256, r.number",
            subject, text(query.subjectId), query.from ? std::to_string(*query.from) : std::string(),
            query.to ? std::to_string(*query.to) : std::string());
        for (const auto& row : rows) {
            const std::string sha = row[0].c_str();
            if (tests.empty() || tests.back().sha256 != sha) {
                IndexedTest t;
                t.sha256 = sha;
                t.path = row[1].c_str();
                t.size = toInt64(row[2]);
                t.modified = toInt64(row[3]);
                t.subject = row[4].c_str();
                t.subjectId = row[5].c_str();
                t.testTime = toInt64(row[6]);
                tests.push_back(std::move(t));
            }
            if (row[7].is_null()) continue;  // a test without repetitions
            IndexedRepetition r;
            r.number = row[7].as<int>();
            r.direction = row[8].as<int>();
            r.load = row[9].as<double>();
            r.radius = row[10].as<double>();
            r.sampleCount = row[11].as<int>();
            r.velocityPeakIndex = row[12].as<int>();
            if (!parseResultsArray(row[13].c_str(), r))
                return fail("The archive server sent results that do not read: " + sha);
            tests.back().repetitions.push_back(r);
        }
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        tests.clear();
        return fail(std::string("The archive server cannot list its tests: ") + e.what());
    }
}

bool ServerArchive::fetch(const std::string& sha256, std::string& bytes) {
    bytes.clear();
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        pqxx::work tx(db_->c);
        const pqxx::result r = tx.exec_params("SELECT bytes FROM vanta_tests WHERE sha256 = $1", sha256);
        if (r.empty()) return fail("No test " + sha256 + " on the archive server");
        const pqxx::binarystring blob(r[0][0]);
        bytes.assign(reinterpret_cast<const char*>(blob.data()), blob.size());
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        return fail(std::string("The archive server cannot send the test: ") + e.what());
    }
}

namespace {

bool isUri(std::string_view s) { return s.rfind("postgresql://", 0) == 0 || s.rfind("postgres://", 0) == 0; }

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexDigit(s[i + 1]) >= 0 && hexDigit(s[i + 2]) >= 0) {
            out += static_cast<char>(hexDigit(s[i + 1]) * 16 + hexDigit(s[i + 2]));
            i += 2;
        } else {
            out += s[i];
        }
    }
    return out;
}

// Where the password sits in `connection`: [begin, end) of its text as written, or npos.
// A URI holds it after the user ("user:secret@host") or as the parameter "password=";
// a "key=value" string as the key password, its value plain or in single quotes.
struct Span {
    size_t begin = std::string_view::npos, end = std::string_view::npos;
    bool uri = false;
};

std::vector<Span> passwordSpans(std::string_view s) {
    std::vector<Span> spans;
    if (isUri(s)) {
        const size_t start = s.find("://") + 3;
        size_t authorityEnd = s.find_first_of("/?#", start);
        if (authorityEnd == std::string_view::npos) authorityEnd = s.size();
        const size_t at = s.rfind('@', authorityEnd);
        if (at != std::string_view::npos && at >= start) {
            const size_t colon = s.find(':', start);
            if (colon != std::string_view::npos && colon < at) spans.push_back({colon + 1, at, true});
        }
        for (size_t p = s.find_first_of("?&", authorityEnd); p != std::string_view::npos;
             p = s.find('&', p + 1)) {
            if (s.substr(p + 1, 9) == "password=") {
                const size_t b = p + 10;
                size_t e = s.find_first_of("&#", b);
                if (e == std::string_view::npos) e = s.size();
                spans.push_back({b, e, true});
            }
        }
        return spans;
    }
    for (size_t p = s.find("password"); p != std::string_view::npos; p = s.find("password", p + 1)) {
        if (p > 0 && !std::isspace(static_cast<unsigned char>(s[p - 1]))) continue;
        size_t q = p + 8;
        while (q < s.size() && s[q] == ' ') ++q;
        if (q >= s.size() || s[q] != '=') continue;
        ++q;
        while (q < s.size() && s[q] == ' ') ++q;
        size_t e = q;
        if (q < s.size() && s[q] == '\'') {
            e = q + 1;
            while (e < s.size() && s[e] != '\'') e += (s[e] == '\\' ? 2 : 1);
            spans.push_back({q + 1, std::min(e, s.size()), false});
        } else {
            while (e < s.size() && !std::isspace(static_cast<unsigned char>(s[e]))) ++e;
            spans.push_back({q, e, false});
        }
    }
    return spans;
}

}  // namespace

std::string redactedUrl(std::string_view connection) {
    std::string out(connection);
    auto spans = passwordSpans(connection);
    for (auto it = spans.rbegin(); it != spans.rend(); ++it)
        if (it->end > it->begin) out.replace(it->begin, it->end - it->begin, "***");
    return out;
}

std::string passwordIn(std::string_view connection) {
    const auto spans = passwordSpans(connection);
    if (spans.empty() || spans.front().end <= spans.front().begin) return "";
    const std::string_view raw = connection.substr(spans.front().begin, spans.front().end - spans.front().begin);
    return spans.front().uri ? percentDecoded(raw) : std::string(raw);
}

}  // namespace vanta::archive
