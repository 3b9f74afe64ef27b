// archive list --subject over a lab's index of 100000 repetitions (goal: under 50 ms).
// The index is filled once with synthetic rows (no files are read): 33334 tests of three
// repetitions for 500 subjects, as a lab collects them over years.
// Run: build/bench/vanta_archive_list_bench
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/local_index.h"

namespace {

using namespace vanta;
using namespace vanta::archive;

constexpr int kTests = 33334;
constexpr int kSubjects = 500;

std::string hex64(uint64_t n) {
    char text[65];
    std::snprintf(text, sizeof text, "%016llx%016llx%016llx%016llx", static_cast<unsigned long long>(n),
                  static_cast<unsigned long long>(n * 31), static_cast<unsigned long long>(n * 17),
                  static_cast<unsigned long long>(n * 7));
    return text;
}

// Names with accents, so the search folds as it does on site.
std::string subjectName(int s) {
    static const char* first[] = {"Jan", "Eva", "Łucja", "Petr", "Zoë", "Jiří", "Anna", "Ole", "Søren", "Éva"};
    static const char* last[] = {"Novák", "Dvořák", "Müller", "Nováková", "Černý", "Kowalski", "Šimek", "Berg"};
    return std::string(first[s % 10]) + " " + last[(s / 10) % 8] + " " + std::to_string(s);
}

struct LabIndex {
    std::string root;
    LocalIndex index;
    LabIndex() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vanta-bench-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        root = pattern;
        if (!index.open(root)) std::abort();
        std::vector<IndexedTest> batch;
        for (int t = 0; t < kTests; ++t) {
            IndexedTest test;
            test.sha256 = hex64(static_cast<uint64_t>(t) + 1);
            test.path = root + "/tests/" + std::to_string(t % kSubjects) + "/" + std::to_string(t) + ".kvq";
            test.size = 360000;
            test.modified = 1700000000LL * 1000000000 + t;
            test.subject = subjectName(t % kSubjects);
            test.testTime = 1500000000 + static_cast<int64_t>(t) * 3600;
            for (int r = 0; r < 3; ++r) {
                IndexedRepetition rep;
                rep.number = r + 1;
                rep.direction = r % 2 ? 1 : -1;
                rep.load = 10 + r * 5;
                rep.radius = 25;
                rep.sampleCount = 5000;
                rep.velocityPeakIndex = 300;
                for (int k = 0; k < kResultRowCount; ++k)
                    for (int c = 0; c < kResultColumnCount; ++c) rep.results[k][c] = static_cast<float>(t % 97 + k + c);
                test.repetitions.push_back(rep);
            }
            batch.push_back(std::move(test));
            if (batch.size() == 2000 || t == kTests - 1) {
                if (!index.store(batch)) std::abort();
                batch.clear();
            }
        }
    }
    ~LabIndex() {
        index.close();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
};

LabIndex& lab() {
    static LabIndex instance;
    return instance;
}

// One subject's tests (67 tests, 201 repetitions), as the history screen asks.
void BM_ListOneSubject(benchmark::State& state) {
    LocalIndex& index = lab().index;
    TestQuery q;
    q.subject = "jiri novak 85";  // "Jiří Novák 85" alone
    std::vector<IndexedTest> out;
    for (auto _ : state) {
        if (!index.listTests(q, out)) state.SkipWithError("listTests failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["tests"] = static_cast<double>(out.size());
}
BENCHMARK(BM_ListOneSubject)->Unit(benchmark::kMillisecond);

// A name shared by 13 subjects ("Jiří Novák ..." and "Jiří Nováková ..."): 871 tests.
void BM_ListThirteenSubjects(benchmark::State& state) {
    LocalIndex& index = lab().index;
    TestQuery q;
    q.subject = "JIRI NOVAK";
    std::vector<IndexedTest> out;
    for (auto _ : state) {
        if (!index.listTests(q, out)) state.SkipWithError("listTests failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["tests"] = static_cast<double>(out.size());
}
BENCHMARK(BM_ListThirteenSubjects)->Unit(benchmark::kMillisecond);

// A search text every subject matches: all 100002 repetitions come back.
void BM_ListEveryone(benchmark::State& state) {
    LocalIndex& index = lab().index;
    TestQuery q;
    q.subject = " ";
    std::vector<IndexedTest> out;
    for (auto _ : state) {
        if (!index.listTests(q, out)) state.SkipWithError("listTests failed");
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["tests"] = static_cast<double>(out.size());
}
BENCHMARK(BM_ListEveryone)->Unit(benchmark::kMillisecond);

}  // namespace
