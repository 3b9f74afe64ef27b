// Sending tests to the lab's shared archive: 1000 tests of 3 repetitions with 5000 samples
// each, read from their files and stored one transaction each, beside the same in batches
// of kSendBatchTests per transaction, as archive sync sends them.
// Needs a server the benchmark may empty: a superuser's URL in VANTA_BENCH_ARCHIVE_URL,
// for instance of a throwaway cluster:
//   bash tests/archive/pg_cluster.sh start /tmp/pgbench      (prints the URL)
//   VANTA_BENCH_ARCHIVE_URL=$(cat /tmp/pgbench/url) build/bench/vanta_archive_upload_bench
//   bash tests/archive/pg_cluster.sh stop /tmp/pgbench
#include <benchmark/benchmark.h>

#include <pqxx/pqxx>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/local_index.h"
#include "archive/outbox_sender.h"
#include "archive/server_archive.h"
#include "core/demo_test.h"
#include "storage/test_file.h"

namespace {

using namespace vanta;
namespace fs = std::filesystem;

constexpr int kTests = 1000;

struct Corpus {
    fs::path folder;
    std::vector<archive::IndexedTest> tests;
    int64_t bytes = 0;
    Corpus() {
        folder = fs::temp_directory_path() / "vanta-upload-bench";
        fs::create_directories(folder);
        auto test = std::make_unique<TestRecord>();
        for (int k = 0; k < kTests; ++k) {
            const std::string path = (folder / ("t" + std::to_string(k) + ".kvq")).string();
            if (!fs::exists(path)) {
                fillDemoTest(*test, DemoOptions{3, 5000, static_cast<uint64_t>(k + 1)});
                writeTestFile(path, *test);
            }
            archive::IndexedTest t;
            archive::readIndexedTest(path, t);
            bytes += t.size;
            tests.push_back(std::move(t));
        }
    }
};

void BM_UploadThousandTests(benchmark::State& state, size_t perTransaction) {
    const char* url = std::getenv("VANTA_BENCH_ARCHIVE_URL");
    if (!url || !*url) {
        state.SkipWithError("set VANTA_BENCH_ARCHIVE_URL to a server the benchmark may empty");
        return;
    }
    static Corpus corpus;
    for (auto _ : state) {
        state.PauseTiming();
        {
            archive::ServerArchive make;  // makes the tables on a fresh database
            if (!make.open(url)) {
                state.SkipWithError(make.reason().c_str());
                return;
            }
            pqxx::connection c(url);
            pqxx::nontransaction(c).exec("TRUNCATE vanta_repetitions, vanta_tests, vanta_subjects");
        }
        state.ResumeTiming();
        archive::ServerArchive server;
        server.open(url);
        int added = 0;
        std::vector<std::string> files(perTransaction);
        std::vector<archive::ServerArchive::TestToStore> batch;
        for (size_t k = 0; k < corpus.tests.size();) {
            batch.clear();
            for (; k < corpus.tests.size() && batch.size() < perTransaction; ++k) {
                archive::readWholeFile(corpus.tests[k].path, files[batch.size()]);
                batch.push_back({&corpus.tests[k], files[batch.size()]});
            }
            for (archive::StoreResult r : server.storeBatch(batch)) added += r == archive::StoreResult::Added;
        }
        if (added != kTests) state.SkipWithError(("stored " + std::to_string(added)).c_str());
    }
    state.SetBytesProcessed(state.iterations() * corpus.bytes);
    state.counters["tests"] = kTests;
}
BENCHMARK_CAPTURE(BM_UploadThousandTests, one_per_transaction, 1)->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();
BENCHMARK_CAPTURE(BM_UploadThousandTests, batched, archive::kSendBatchTests)
    ->Unit(benchmark::kSecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
