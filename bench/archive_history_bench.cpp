// One subject's history from the lab's archive at the lab's scale: 1,000,000 repetitions
// (150,000 tests of 300 subjects, rows only: each test's bytes are 8 bytes of its number,
// so the server's checks hold), the subject's tests and repetitions read as the history
// and the profile read them, by id and by name, beside archive list --subject. Prints the
// plan of the history's query once, so the run shows which indexes it takes.
// Needs a server the benchmark may make a database on, as for vanta_archive_upload_bench:
//   bash tests/archive/pg_cluster.sh start /tmp/pgbench
//   VANTA_BENCH_ARCHIVE_URL=$(cat /tmp/pgbench/url) build/bench/vanta_archive_history_bench
// The database vanta_history_bench is filled on the first run and kept for the next.
#include <benchmark/benchmark.h>

#include <pqxx/pqxx>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/server_archive.h"

namespace {

using namespace vanta;

constexpr const char* kDatabase = "vanta_history_bench";

// The server's URL with the benchmark's database in place of the one named.
std::string benchUrl(const std::string& url) {
    const size_t q = url.find('?');
    const size_t slash = url.rfind('/', q == std::string::npos ? url.size() : q);
    return url.substr(0, slash + 1) + kDatabase + (q == std::string::npos ? "" : url.substr(q));
}

bool prepare(const std::string& url, std::string& error) {
    try {
        {
            pqxx::connection c(url);
            pqxx::nontransaction tx(c);
            if (tx.exec_params("SELECT 1 FROM pg_database WHERE datname = $1", kDatabase).empty())
                tx.exec(std::string("CREATE DATABASE ") + kDatabase);
        }
        archive::ServerArchive make;  // the tables of this station's layout
        if (!make.open(benchUrl(url))) {
            error = make.reason();
            return false;
        }
        pqxx::connection c(benchUrl(url));
        pqxx::nontransaction tx(c);
        if (tx.exec("SELECT count(*) FROM vanta_repetitions")[0][0].as<long long>() == 1000000) return true;
        std::fprintf(stderr, "filling %s with 1,000,000 repetitions...\n", kDatabase);
        tx.exec("TRUNCATE vanta_repetitions, vanta_tests, vanta_subjects");
        tx.exec("INSERT INTO vanta_subjects SELECT md5(i::text)::uuid, 'Subject ' || i FROM generate_series(1, 300) i");
        // 50,000 tests of 6 repetitions and 100,000 of 7, ten minutes apart, the subjects in turn.
        tx.exec("INSERT INTO vanta_tests (sha256, bytes, size, path, modified, subject, subject_key, subject_id, "
                "                         test_time, repetition_count, station) "
                "SELECT encode(sha256(int8send(i)), 'hex'), int8send(i), 8, '/lab/DATA/t' || i || '.kvq', 0, "
                "       'Subject ' || (i % 300 + 1), 'subject ' || (i % 300 + 1), md5((i % 300 + 1)::text)::uuid, "
                "       1600000000 + i * 600, CASE WHEN i % 3 = 0 THEN 6 ELSE 7 END, 'bench' "
                "FROM generate_series(1, 150000) i");
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

void BM_History(benchmark::State& state, bool byName) {
    const char* url = std::getenv("VANTA_BENCH_ARCHIVE_URL");
    if (!url || !*url) {
        state.SkipWithError("set VANTA_BENCH_ARCHIVE_URL to a server the benchmark may make a database on");
        return;
    }
    static std::string error;
    static const bool ready = prepare(url, error);
    if (!ready) {
        state.SkipWithError(error.c_str());
        return;
    }
    static bool planShown = false;
    if (!planShown) {
        planShown = true;
        // The plan of the query as ServerArchive::subjectTests sends it (its columns cut short).
        pqxx::connection c(benchUrl(url));
        pqxx::nontransaction tx(c);
        tx.exec("SET max_parallel_workers_per_gather = 0");
        const pqxx::result plan = tx.exec_params(
            "EXPLAIN (ANALYZE, COSTS OFF) SELECT t.sha256, r.number, r.results FROM vanta_tests t "
            "LEFT JOIN vanta_repetitions r ON r.sha256 = t.sha256 WHERE t.subject_id = $1::uuid "
            "AND t.test_time >= coalesce(nullif('', '')::bigint, -9223372036854775808) "
            "AND t.test_time < coalesce(nullif('', '')::bigint, 9223372036854775807) "
            "ORDER BY t.test_time, t.sha256, r.number",
            kSubject);
        for (const auto& row : plan) std::fprintf(stderr, "  %s\n", row[0].c_str());
    }
    archive::ServerArchive server;
    if (!server.open(benchUrl(url))) {
        state.SkipWithError(server.reason().c_str());
        return;
    }
    std::vector<archive::IndexedTest> tests;
    size_t repetitions = 0;
    for (auto _ : state) {
        if (!server.subjectTests(byName ? "" : kSubject, byName ? "Subject 1" : "", std::nullopt, std::nullopt, tests))
            state.SkipWithError(server.reason().c_str());
        repetitions = 0;
        for (const auto& t : tests) repetitions += t.repetitions.size();
    }
    state.counters["tests"] = static_cast<double>(tests.size());
    state.counters["repetitions"] = static_cast<double>(repetitions);
}
BENCHMARK_CAPTURE(BM_History, by_id, false)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_History, by_name, true)->Unit(benchmark::kMillisecond)->UseRealTime();

// archive list --url --subject: a part of a name, which no index serves.
void BM_ListBySubjectText(benchmark::State& state) {
    const char* url = std::getenv("VANTA_BENCH_ARCHIVE_URL");
    std::string error;
    if (!url || !*url || !prepare(url, error)) {
        state.SkipWithError("no server (VANTA_BENCH_ARCHIVE_URL)");
        return;
    }
    archive::ServerArchive server;
    if (!server.open(benchUrl(url))) {
        state.SkipWithError(server.reason().c_str());
        return;
    }
    std::vector<archive::IndexedTest> tests;
    archive::TestQuery q;
    q.subject = "subject 17";  // subject 17 and 170-179
    for (auto _ : state)
        if (!server.list(q, tests)) state.SkipWithError(server.reason().c_str());
    state.counters["tests"] = static_cast<double>(tests.size());
}
BENCHMARK(BM_ListBySubjectText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
