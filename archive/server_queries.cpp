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

int64_t toInt64(const pqxx::field& f) { return f.is_null() ? 0 : f.as<long long>(); }

// The SELECT of tests and their repetitions that list and the subject's history share;
// `where` holds only the conditions that are set, each with its parameter.
constexpr const char* kTestsAndRepetitions =
    "SELECT t.sha256, t.path, t.size, t.modified, t.subject, coalesce(t.subject_id::text, ''), "
    "       t.test_time, r.number, r.direction, r.load, r.radius, r.sample_count, "
    "       r.velocity_peak_index, r.results::text, coalesce(t.station, ''), t.sides_swapped, "
    "       coalesce(t.weight, s.weight), coalesce(t.sex, s.sex), coalesce(t.height, s.height), "
    "       t.utc_offset, coalesce(t.time_zone, ''), "
    "       coalesce(extract(epoch FROM t.withdrawn_at)::bigint, 0), coalesce(t.withdrawn_by, ''), "
    "       coalesce(t.withdrawn_reason, '') "
    "FROM vanta_tests t LEFT JOIN vanta_repetitions r ON r.sha256 = t.sha256 "
    "LEFT JOIN vanta_subjects s ON s.id = t.subject_id ";

// The rows of testsAndRepetitions as tests: "" when every row read, else why not (and no
// test is kept).
std::string readTestRows(const pqxx::result& rows, std::vector<IndexedTest>& tests) {
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
            t.station = row[14].c_str();
            if (!row[15].is_null()) t.sidesSwapped = row[15].as<bool>();
            if (!row[16].is_null()) t.weight = row[16].as<int>();
            if (!row[17].is_null()) t.sex = row[17].as<int>();
            if (!row[18].is_null()) t.height = row[18].as<int>();
            if (!row[19].is_null()) t.utcOffset = row[19].as<int>();
            t.timeZone = row[20].c_str();
            t.withdrawnAt = toInt64(row[21]);
            t.withdrawnBy = row[22].c_str();
            t.withdrawnReason = row[23].c_str();
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
        if (!parseResultsArray(row[13].c_str(), r)) {
            tests.clear();
            return "The archive server sent results that do not read: " + sha;
        }
        tests.back().repetitions.push_back(r);
    }
    return {};
}


// The subject's id and every id merged into it (asked by a merged id, the one it went into
// and all merged with that): two stations' ids for one athlete are one history.
constexpr const char* kMergedSubjectIds =
    "WHERE t.subject_id IN (SELECT s.id FROM vanta_subjects s, (SELECT coalesce((SELECT merged_into "
    "  FROM vanta_subjects WHERE id = $1::uuid), $1::uuid) AS id) root "
    "  WHERE s.id = root.id OR s.merged_into = root.id) ";

}  // namespace

std::string namePartPattern(const std::string& text) {
    std::string pattern = "%";
    for (const char c : foldedName(text)) {
        if (c == '%' || c == '_' || c == '\\') pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

bool ServerArchive::list(const TestQuery& query, std::vector<IndexedTest>& tests) {
    tests.clear();
    const bool ok = call("The archive server cannot list its tests", [&](Call& call) {
        pqxx::work& tx = call.tx;
        // Only the conditions that are set, so the planner sees each one and its index.
        std::string where;
        std::vector<std::string> values;
        const auto add = [&](const std::string& condition, const std::string& value) {
            values.push_back(value);
            const std::string n = "$" + std::to_string(values.size());
            std::string c = condition;
            for (size_t at = c.find('?'); at != std::string::npos; at = c.find('?')) c.replace(at, 1, n);
            where += (where.empty() ? "WHERE " : " AND ") + c;
        };
        if (query.subject) add("t.subject_key LIKE ? ESCAPE '\\'", namePartPattern(*query.subject));
        if (query.subjectId) add("t.subject_id = ?::uuid", *query.subjectId);
        if (query.from) add("t.test_time >= ?::bigint", std::to_string(*query.from));
        if (query.to) add("t.test_time < ?::bigint", std::to_string(*query.to));
        // A withdrawn test is listed only when asked for.
        where += (where.empty() ? "WHERE " : " AND ") +
                 std::string(query.withdrawn ? "t.withdrawn_at IS NOT NULL" : "t.withdrawn_at IS NULL");
        const std::string sql = std::string(kTestsAndRepetitions) + where + " ORDER BY t.test_time, t.sha256, r.number";
        pqxx::result rows;
        switch (values.size()) {
            case 0: rows = tx.exec(sql); break;
            case 1: rows = tx.exec_params(sql, values[0]); break;
            case 2: rows = tx.exec_params(sql, values[0], values[1]); break;
            case 3: rows = tx.exec_params(sql, values[0], values[1], values[2]); break;
            default: rows = tx.exec_params(sql, values[0], values[1], values[2], values[3]); break;
        }
        if (const std::string bad = readTestRows(rows, tests); !bad.empty()) return fail(bad);
        return true;
    });
    if (!ok) tests.clear();
    return ok;
}

bool ServerArchive::subjectTests(const std::string& subjectId, const std::string& name,
                                 std::optional<int64_t> from, std::optional<int64_t> to,
                                 std::vector<IndexedTest>& tests) {
    tests.clear();
    const bool ok = call("The archive server cannot send the subject's tests", [&](Call& call) {
        pqxx::work& tx = call.tx;
        // One subject's few thousand rows: workers would split the table's whole scan
        // between them, and on a server of many subjects the planner then prefers that
        // to the subject's index; starting them costs more than the index's lookups.
        tx.exec("SET LOCAL max_parallel_workers_per_gather = 0");
        // By the subject's id where it is known, else by the name folded as the register
        // folds it; either way through the index in time order. Unset times are "".
        const std::string sql = std::string(kTestsAndRepetitions) +
                                (subjectId.empty() ? "WHERE t.subject_key = $1 " : kMergedSubjectIds) +
                                "AND t.test_time >= coalesce(nullif($2, '')::bigint, -9223372036854775808) "
                                "AND t.test_time < coalesce(nullif($3, '')::bigint, 9223372036854775807) "
                                "AND t.withdrawn_at IS NULL "
                                "ORDER BY t.test_time, t.sha256, r.number";
        const auto bound = [](std::optional<int64_t> v) { return v ? std::to_string(*v) : std::string(); };
        const pqxx::result rows = tx.exec_params(sql, subjectId.empty() ? foldedName(name) : subjectId,
                                                 bound(from), bound(to));
        if (const std::string bad = readTestRows(rows, tests); !bad.empty()) return fail(bad);
        return true;
    });
    if (!ok) tests.clear();
    return ok;
}

bool ServerArchive::subjectHistory(const std::string& subjectId, const std::string& name,
                                   std::vector<IndexedTest>& tests) {
    tests.clear();
    if (subjectId.empty()) {
        // The folded name's index; the name itself is told apart here.
        if (!subjectTests("", name, std::nullopt, std::nullopt, tests)) return false;
        std::erase_if(tests, [&name](const IndexedTest& t) { return t.subject != name; });
        return true;
    }
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        tx.exec("SET LOCAL max_parallel_workers_per_gather = 0");  // as in subjectTests
        // Each part through its own index (the id's, the folded name's), in one round trip;
        // the id's tests first, then the others, each part oldest first.
        const std::string sql = std::string("SELECT * FROM (") + kTestsAndRepetitions + kMergedSubjectIds +
                                "UNION ALL " + kTestsAndRepetitions +
                                "WHERE t.subject_key = $2 AND t.subject = $3 AND t.subject_id IS NULL) "
                                "h (sha256, path, size, modified, subject, subject_id, test_time, number, direction, "
                                "   load, radius, sample_count, velocity_peak_index, results, station, sides_swapped, "
                                "   weight, sex, height) "
                                "ORDER BY h.subject_id = '', h.test_time, h.sha256, h.number";
        const pqxx::result rows = tx.exec_params(sql, subjectId, foldedName(name), name);
        if (const std::string bad = readTestRows(rows, tests); !bad.empty()) return fail(bad);
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        tests.clear();
        if (db_ && db_->watch.fired()) return brokenBySilence();
        return fail(std::string("The archive server cannot send the subject's tests: ") + e.what());
    }
}

}  // namespace vanta::archive
