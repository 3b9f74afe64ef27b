// Evaluation of one repetition: the smoothed rate, the four derived series and the
// table of peaks and means.
#pragma once

#include <span>

#include "core/records.h"

namespace vanta {

// Smoothing window: 99 samples with triangular weights 1..50..1 that sum to 2500.
inline constexpr int kSmoothHalfWidth = 49;
inline constexpr int kSmoothCentreWeight = 50;
inline constexpr int kSmoothWeightSum = 2500;
inline constexpr int kFirstSmoothedSample = 51;
inline constexpr int kLastSmoothedSample = 59949;
// The stroke runs on the smoothed signal from sample 100 to N - 151.
inline constexpr int kStrokeFirstSample = 100;
inline constexpr int kStrokeTailSamples = 150;

// Offset-corrected value of one raw channel at one sample, smoothed with the
// 99-sample triangular window. A negative sample a (down to -50) reads a + 50; samples
// 0..50 and beyond 59949 are returned unsmoothed.
double smoothedChannel(const RepetitionRecord& rep, int sample, int channel);
double smoothedChannel(const TestRecord& test, int sample, int channel, int repetition);

// The value of Quantity q at sample i, from the repetition's series, load and radius.
// Any other code gives 0.
double quantityAt(const RepetitionSeries& series, const RepetitionRecord& rep, int sample, int quantity);
double quantityAt(const TestRecord& test, int sample, int quantity, int repetition);

// How analyseRepetition works. RunningSums is the station's way: the triangular sum kept
// exactly with integer running sums (a few additions per sample) and the rest in passes
// over the repetition that the compiler can vectorise, with the float32 sums still taken
// sample after sample in order. Direct evaluates the 99-tap formula at every sample and
// the whole analysis sample by sample, step by step as the analysis is described: the
// reference the station's way is checked against. Both give the same float32 series and
// results, bit for bit.
enum class Smoothing { RunningSums, Direct };

// Fills series[r] for samples 0..N-1 and, unless no velocity peak is found, results[r].
// Returns the sample of the highest angular velocity (velocityPeakIndex; -10 when no
// sample after sample 0 exceeds -10 deg/s).
int analyseRepetition(TestRecord& test, int repetition, Smoothing smoothing = Smoothing::RunningSums);
// The same for one repetition held anywhere: reads only `rep`, writes only `series` and
// `results`, so repetitions can be analysed side by side on several threads.
int analyseRepetition(const RepetitionRecord& rep, RepetitionSeries& series, RepetitionResults& results,
                      Smoothing smoothing = Smoothing::RunningSums);

// One repetition among several analysed together: read from `rep`, written into `series`
// and `results`.
struct RepetitionToAnalyse {
    const RepetitionRecord* rep;
    RepetitionSeries* series;
    RepetitionResults* results;
};

// How many repetitions analyseTogether takes at a time: one repetition's float32 sums wait
// on each other sample after sample, and this many repetitions fill those waits.
inline constexpr int kAnalysedTogether = 4;

// Analyses every repetition of `batch` on the calling thread, kAnalysedTogether at a time
// with their sums interleaved. Each gets exactly the numbers analyseRepetition (with
// RunningSums) gives it alone: its own float32 sums keep their order. The repetitions must
// not share a series or results.
void analyseTogether(std::span<const RepetitionToAnalyse> batch);

// How many repetitions each worker takes at a time when `count` repetitions are analysed
// on up to `threads` threads (0: one per core): up to kAnalysedTogether, as long as every
// thread still gets its share.
int repetitionsTogether(int count, unsigned threads);

// Analyses repetitions 0..count-1 of `test` side by side on up to `threads` threads (0: one
// per core). Every repetition gets exactly the numbers analyseRepetition gives it alone:
// its float32 sums keep their order, whichever thread takes it.
void analyseRepetitions(TestRecord& test, int count, unsigned threads = 0);

}  // namespace vanta
