// The analysis of one full repetition (running sums and the direct 99-tap formula), and
// opening a full-capacity test: 100 repetitions of 60000 samples, 144 MB of samples.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/analysis.h"
#include "core/demo_test.h"
#include "storage/test_file.h"

namespace {

using namespace vanta;

std::unique_ptr<TestRecord> fullRepetition() {
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, {1, kMaxSamples, 3});
    return test;
}

void BM_AnalyseRepetition_RunningSums(benchmark::State& state) {
    auto test = fullRepetition();
    for (auto _ : state) benchmark::DoNotOptimize(analyseRepetition(*test, 0, Smoothing::RunningSums));
    state.SetItemsProcessed(state.iterations() * kMaxSamples);
}
BENCHMARK(BM_AnalyseRepetition_RunningSums)->Unit(benchmark::kMillisecond);

void BM_AnalyseRepetition_Direct99Taps(benchmark::State& state) {
    auto test = fullRepetition();
    for (auto _ : state) benchmark::DoNotOptimize(analyseRepetition(*test, 0, Smoothing::Direct));
    state.SetItemsProcessed(state.iterations() * kMaxSamples);
}
BENCHMARK(BM_AnalyseRepetition_Direct99Taps)->Unit(benchmark::kMillisecond);

// Written once per run of the benchmark program, removed at exit.
class FullCapacityFile {
public:
    FullCapacityFile() {
        path_ = (std::filesystem::temp_directory_path() / ("vanta-bench-full-" + std::to_string(::getpid()) + ".kvq")).string();
        auto test = std::make_unique<TestRecord>();
        fillDemoTest(*test, {kMaxRepetitions, kMaxSamples, 1});
        if (!writeTestFile(path_, *test)) path_.clear();
    }
    ~FullCapacityFile() {
        if (!path_.empty()) std::filesystem::remove(path_);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

void BM_ReadAndAnalyseFullCapacityTest(benchmark::State& state) {
    static FullCapacityFile file;
    if (file.path().empty()) {
        state.SkipWithError("cannot write the full-capacity test file");
        return;
    }
    for (auto _ : state) {
        auto test = std::make_unique<TestRecord>();
        if (!readTestFile(file.path(), *test)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(test->results[99].value[0][0]);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(file.path())));
}
BENCHMARK(BM_ReadAndAnalyseFullCapacityTest)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
