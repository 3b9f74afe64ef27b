// Journalling one stored attempt of 5000 samples, with 1 and with 99 attempts already
// stored: the journal appends that attempt's record alone (and syncs it), so the cost must
// not grow with the test. Run: build/bench/vanta_journal_bench
// The journal lies in the system's temporary folder (TMPDIR); on a disk, the sync is most
// of the time.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "storage/session_journal.h"

namespace {

using namespace vanta;

void fillAttempt(TestRecord& test, int r, int samples) {
    std::mt19937 rng(static_cast<uint32_t>(r));
    std::uniform_int_distribution<int> reading(-32768, 32767);
    RepetitionRecord& rep = test.repetitions[static_cast<size_t>(r)];
    rep.direction = 1;
    rep.loadMass = 10.0f;
    rep.radius = 25.0f;
    rep.sampleCount = samples;
    for (int c = 0; c < kChannelCount; ++c)
        for (int i = 0; i < samples; ++i) rep.raw.row(c)[i] = reading(rng);
}

// Stores `before` attempts, then measures the journalling of one more: each iteration
// stores it again after an IGNORE of it has been journalled (outside the timing).
void BM_JournalOneAttempt(benchmark::State& state) {
    const int before = static_cast<int>(state.range(0));
    constexpr int kSamples = 5000;
    std::string folder = (std::filesystem::temp_directory_path() / "vanta-journal-bench-XXXXXX").string();
    if (!::mkdtemp(folder.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    auto test = std::make_unique<TestRecord>();
    test->subject.name = "Bench";
    SessionJournal journal(folder);
    for (int r = 0; r <= before; ++r) fillAttempt(*test, r, kSamples);
    for (int r = 0; r < before; ++r) {
        test->repetitionCount = r + 1;
        if (!journal.attemptStored(*test)) {
            state.SkipWithError("the journal cannot be written");
            return;
        }
    }
    for (auto _ : state) {
        test->repetitionCount = before + 1;
        if (!journal.attemptStored(*test)) state.SkipWithError("the journal cannot be written");
        state.PauseTiming();
        test->repetitionCount = before;
        journal.attemptIgnored(*test);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kSamples} * 24);
    journal.close(true);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_JournalOneAttempt)->Arg(1)->Arg(99)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace
