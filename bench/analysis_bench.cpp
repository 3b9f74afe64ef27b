// The analysis of one full repetition (running sums and the direct 99-tap formula), and
// opening a full-capacity test: 100 repetitions of 60000 samples, 144 MB of samples.
// BM_PlainReadFullCapacityFile is the yardstick for the two opening benchmarks: the same
// bytes read from the page cache as `cat FILE > /dev/null` reads them. Opening uses every
// core, so these three are timed by the clock on the wall.
#include <benchmark/benchmark.h>
#include <fcntl.h>
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

// kAnalysedTogether full repetitions analysed together on one thread, as the workers that
// open a test take them; items per second compare with the one repetition above.
void BM_AnalyseRepetition_Together(benchmark::State& state) {
    auto test = std::make_unique<TestRecord>();
    fillDemoTest(*test, {kAnalysedTogether, kMaxSamples, 3});
    RepetitionToAnalyse batch[kAnalysedTogether];
    for (int r = 0; r < kAnalysedTogether; ++r) batch[r] = {&test->repetitions[r], &test->series[r], &test->results[r]};
    for (auto _ : state) {
        analyseTogether(batch);
        benchmark::DoNotOptimize(test->results[kAnalysedTogether - 1].value[0][0]);
    }
    state.SetItemsProcessed(state.iterations() * kAnalysedTogether * kMaxSamples);
}
BENCHMARK(BM_AnalyseRepetition_Together)->Unit(benchmark::kMillisecond);

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

const std::string* fullCapacityFile(benchmark::State& state) {
    static FullCapacityFile file;
    if (file.path().empty()) {
        state.SkipWithError("cannot write the full-capacity test file");
        return nullptr;
    }
    return &file.path();
}

void BM_PlainReadFullCapacityFile(benchmark::State& state) {
    const std::string* path = fullCapacityFile(state);
    if (!path) return;
    // cat's own buffer size: the kernel copies the page cache out 128 KiB at a time.
    auto buffer = std::make_unique<char[]>(128 * 1024);
    for (auto _ : state) {
        const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) state.SkipWithError("cannot open the file");
        while (::read(fd, buffer.get(), 128 * 1024) > 0) {
        }
        ::close(fd);
        benchmark::DoNotOptimize(buffer[0]);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(*path)));
}
BENCHMARK(BM_PlainReadFullCapacityFile)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

// As the window opens its first test: samples and series stay for the screens, in memory
// the process has not touched before.
void BM_ReadAndAnalyseFullCapacityTest(benchmark::State& state) {
    const std::string* path = fullCapacityFile(state);
    if (!path) return;
    for (auto _ : state) {
        auto test = std::make_unique<TestRecord>();
        if (!readTestFile(*path, *test)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(test->results[99].value[0][0]);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(*path)));
}
BENCHMARK(BM_ReadAndAnalyseFullCapacityTest)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// As the window opens a test over the one it shows: the same record, read again.
void BM_ReopenFullCapacityTest(benchmark::State& state) {
    const std::string* path = fullCapacityFile(state);
    if (!path) return;
    auto test = std::make_unique<TestRecord>();
    if (!readTestFile(*path, *test)) state.SkipWithError("read failed");
    for (auto _ : state) {
        if (!readTestFile(*path, *test)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(test->results[99].value[0][0]);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(*path)));
}
BENCHMARK(BM_ReopenFullCapacityTest)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

// As vantacheck-cli opens a test: only the numbers stay.
void BM_ReadForTheNumbersFullCapacityTest(benchmark::State& state) {
    const std::string* path = fullCapacityFile(state);
    if (!path) return;
    for (auto _ : state) {
        auto test = std::make_unique<TestRecord>();
        if (!readTestFile(*path, *test, nullptr, SampleStorage::Discard)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(test->results[99].value[0][0]);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(std::filesystem::file_size(*path)));
}
BENCHMARK(BM_ReadForTheNumbersFullCapacityTest)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();

}  // namespace
