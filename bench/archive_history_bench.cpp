// One subject's history from the lab's archive at a lab's scale and at a national centre's:
// 1,000,000 repetitions (150,000 tests of 300 subjects) and 10,000,000 (1,500,000 tests of
// 3,000 subjects, 30 stations over 10 years), rows only: each test's bytes are 8 bytes of
// its number, so the server's checks hold. The subject's tests and repetitions are read as
// the history and the profile read them, by id and by name (the name's subjects first, then
// the history in one statement, as `history --subject NAME --url` does), beside
// archive list --subject with a part of a name, and beside a bare round trip to the server.
// Prints the plans of the three queries once per database, so the run shows which indexes
// they take.
// Needs a server the benchmark may make databases on, as for vanta_archive_upload_bench:
//   bash tests/archive/pg_cluster.sh start /tmp/pgbench
//   VANTA_BENCH_ARCHIVE_URL=$(cat /tmp/pgbench/url) build/bench/vanta_archive_history_bench
// The databases vanta_history_bench and vanta_history_bench_10m are filled on the first
// run (the second takes some minutes and about 4 GB) and kept for the next.
#include <benchmark/benchmark.h>

#include <pqxx/pqxx>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "archive/lab_reader.h"
#include "archive/server_archive.h"

namespace {

using namespace vanta;

// A lab's archive and a national centre's. Tests are `spacing` seconds apart, the subjects
// in turn; a third of the tests have 6 repetitions, the others 7.
struct Scale {
    const char* database;
    const char* repetitionsText;
    int tests;
    int subjects;
    long long repetitions;
    int spacing;
    // archive list --subject: a part of one athlete's name, and one in eleven athletes' names
    // (5,500 tests, 37,000 repetitions), at either scale.
    const char* partOfOne;
    const char* partOfEleven;
};
constexpr Scale kLab{"vanta_history_bench", "1,000,000", 150000, 300, 1000000, 600, "ject 123", "subject 17"};
constexpr Scale kCentre{"vanta_history_bench_10m", "10,000,000", 1500000, 3000, 10000000, 200, "ject 1234",
                        "subject 217"};

// The server's URL with the benchmark's database in place of the one named.
std::string benchUrl(const std::string& url, const Scale& scale) {
    const size_t q = url.find('?');
    const size_t slash = url.rfind('/', q == std::string::npos ? url.size() : q);
    return url.substr(0, slash + 1) + scale.database + (q == std::string::npos ? "" : url.substr(q));
}

bool fill(const std::string& url, const Scale& scale, std::string& error) {
    try {
        {
            pqxx::connection c(url);
            pqxx::nontransaction tx(c);
            if (tx.exec_params("SELECT 1 FROM pg_database WHERE datname = $1", scale.database).empty())
                tx.exec(std::string("CREATE DATABASE ") + scale.database);
        }
        archive::ServerArchive make;  // the tables of this station's layout
        if (!make.open(benchUrl(url, scale))) {
            error = make.reason();
            return false;
        }
        pqxx::connection c(benchUrl(url, scale));
        pqxx::nontransaction tx(c);
        if (tx.exec("SELECT count(*) FROM vanta_repetitions")[0][0].as<long long>() == scale.repetitions) return true;
        std::fprintf(stderr, "filling %s with %s repetitions...\n", scale.database, scale.repetitionsText);
        tx.exec("TRUNCATE vanta_repetitions, vanta_tests, vanta_subjects");
        tx.exec_params("INSERT INTO vanta_subjects SELECT md5(i::text)::uuid, 'Subject ' || i "
                       "FROM generate_series(1, $1::integer) i",
                       scale.subjects);
        tx.exec_params("INSERT INTO vanta_tests (sha256, bytes, size, path, modified, subject, subject_key, subject_id, "
                       "                         test_time, repetition_count, station) "
                       "SELECT encode(sha256(int8send(i)), 'hex'), int8send(i), 8, '/lab/DATA/t' || i || '.kvq', 0, "
                       "       'Subject ' || (i % $2 + 1), 'subject ' || (i % $2 + 1), md5((i % $2 + 1)::text)::uuid, "
                       "       1600000000 + i * $3, CASE WHEN i % 3 = 0 THEN 6 ELSE 7 END, 'station ' || i % 30 "
                       "FROM generate_series(1, $1::bigint) i",
                       scale.tests, scale.subjects, scale.spacing);
        tx.exec("INSERT INTO vanta_repetitions (sha256, number, direction, load, radius, sample_count, "
                "                               velocity_peak_index, results) "
                "SELECT t.sha256, n, CASE WHEN n % 2 = 0 THEN 1 ELSE -1 END, 5 + 5 * (n % 3), 25, 5000, 1234, "
                "       array_fill((n * 1.5)::real, ARRAY[30]) "
                "FROM vanta_tests t CROSS JOIN generate_series(1, 7) n WHERE n <= t.repetition_count");
        tx.exec("VACUUM ANALYZE vanta_tests");
        tx.exec("VACUUM ANALYZE vanta_repetitions");
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

const std::string kSubject = "c4ca4238-a0b9-2382-0dcc-509a6f75849b";  // md5('1'): "Subject 1"

// The plans of the history by id, the history by name and the list by a part of a name,
// as the station sends them (their columns cut short).
void showPlans(const std::string& url, const Scale& scale) {
    pqxx::connection c(url);
    pqxx::nontransaction tx(c);
    tx.exec("SET max_parallel_workers_per_gather = 0");
    const std::string columns = "SELECT t.sha256, r.number, r.results FROM vanta_tests t "
                                "LEFT JOIN vanta_repetitions r ON r.sha256 = t.sha256 ";
    const std::string merged =
        "WHERE t.subject_id IN (SELECT s.id FROM vanta_subjects s, (SELECT coalesce((SELECT merged_into "
        "  FROM vanta_subjects WHERE id = $1::uuid), $1::uuid) AS id) root "
        "  WHERE s.id = root.id OR s.merged_into = root.id) ";
    const std::pair<const char*, std::string> plans[] = {
        {"history by id", "EXPLAIN (ANALYZE, COSTS OFF) " + columns + merged + "ORDER BY t.test_time, t.sha256, r.number"},
        {"history by name", "EXPLAIN (ANALYZE, COSTS OFF) SELECT * FROM (" + columns + merged + "UNION ALL " + columns +
                                "WHERE t.subject_key = 'subject 1' AND t.subject = 'Subject 1' AND t.subject_id IS NULL"
                                ") h ORDER BY h.number"},
        {"list by a part of one name", "EXPLAIN (ANALYZE, COSTS OFF) " + columns + "WHERE t.subject_key LIKE '%" +
                                           scale.partOfOne + "%' ORDER BY t.test_time, t.sha256, r.number"},
        {"list by a part of eleven names", "EXPLAIN (ANALYZE, COSTS OFF) " + columns + "WHERE t.subject_key LIKE '%" +
                                               scale.partOfEleven + "%' ORDER BY t.test_time, t.sha256, r.number"},
    };
    for (const auto& [what, sql] : plans) {
        std::fprintf(stderr, "%s, %s repetitions:\n", what, scale.repetitionsText);
        const pqxx::result plan = std::string(what).rfind("list", 0) == 0 ? tx.exec(sql) : tx.exec_params(sql, kSubject);
        for (const auto& row : plan) std::fprintf(stderr, "  %s\n", row[0].c_str());
    }
}

// The scale's database, filled once and kept; nullptr (and the benchmark skipped) without
// a server.
const std::string* database(benchmark::State& state, const Scale& scale) {
    const char* url = std::getenv("VANTA_BENCH_ARCHIVE_URL");
    if (!url || !*url) {
        state.SkipWithError("set VANTA_BENCH_ARCHIVE_URL to a server the benchmark may make a database on");
        return nullptr;
    }
    static std::map<const Scale*, std::string> ready;  // the URL, or "" when it failed
    auto it = ready.find(&scale);
    if (it == ready.end()) {
        std::string error;
        const bool filled = fill(url, scale, error);
        if (filled) showPlans(benchUrl(url, scale), scale);
        else std::fprintf(stderr, "%s: %s\n", scale.database, error.c_str());
        it = ready.emplace(&scale, filled ? benchUrl(url, scale) : std::string()).first;
    }
    if (it->second.empty()) {
        state.SkipWithError("the benchmark's database cannot be made (see above)");
        return nullptr;
    }
    return &it->second;
}

// A bare round trip on an open connection: the yardstick for the queries below.
void BM_RoundTrip(benchmark::State& state, const Scale* scale) {
    const std::string* url = database(state, *scale);
    if (!url) return;
    pqxx::connection c(*url);
    for (auto _ : state) {
        pqxx::nontransaction tx(c);
        benchmark::DoNotOptimize(tx.exec("SELECT 1")[0][0].as<int>());
    }
}

void BM_History(benchmark::State& state, const Scale* scale, bool byName) {
    const std::string* url = database(state, *scale);
    if (!url) return;
    archive::ServerArchive server;
    if (!server.open(*url)) {
        state.SkipWithError(server.reason().c_str());
        return;
    }
    std::vector<archive::IndexedTest> tests;
    size_t repetitions = 0;
    for (auto _ : state) {
        bool ok = false;
        if (byName) {
            // As history --subject NAME --url: whom the name means, then the history.
            std::vector<std::pair<std::string, std::string>> named;
            ok = server.subjectsNamed("Subject 1", named) && named.size() == 1 &&
                 archive::labSubjectTests(server, named[0].first, named[0].second, tests);
        } else {
            ok = server.subjectTests(kSubject, "", std::nullopt, std::nullopt, tests);
        }
        if (!ok) state.SkipWithError(server.reason().empty() ? "not one subject" : server.reason().c_str());
        repetitions = 0;
        for (const auto& t : tests) repetitions += t.repetitions.size();
    }
    state.counters["tests"] = static_cast<double>(tests.size());
    state.counters["repetitions"] = static_cast<double>(repetitions);
}

// archive list --url --subject with a part of a name (and Open from archive's subject box).
void BM_ListBySubjectText(benchmark::State& state, const Scale* scale, bool eleven) {
    const std::string* url = database(state, *scale);
    if (!url) return;
    archive::ServerArchive server;
    if (!server.open(*url)) {
        state.SkipWithError(server.reason().c_str());
        return;
    }
    std::vector<archive::IndexedTest> tests;
    archive::TestQuery q;
    q.subject = eleven ? scale->partOfEleven : scale->partOfOne;
    for (auto _ : state)
        if (!server.list(q, tests)) state.SkipWithError(server.reason().c_str());
    state.counters["tests"] = static_cast<double>(tests.size());
}

BENCHMARK_CAPTURE(BM_RoundTrip, lab, &kLab)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_History, lab_by_id, &kLab, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_History, lab_by_name, &kLab, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ListBySubjectText, lab_one, &kLab, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ListBySubjectText, lab_eleven, &kLab, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_RoundTrip, centre, &kCentre)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_History, centre_by_id, &kCentre, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_History, centre_by_name, &kCentre, true)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ListBySubjectText, centre_one, &kCentre, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_ListBySubjectText, centre_eleven, &kCentre, true)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
