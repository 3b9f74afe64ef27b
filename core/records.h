// The records of one test in memory: subject, repetitions with their raw samples,
// and the series and results derived from them by the analysis.
#pragma once

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/sample_memory.h"

namespace vanta {

inline constexpr int kMaxRepetitions = 100;
inline constexpr int kMaxSamples = 60000;
inline constexpr int kChannelCount = 6;

// One frame of the sensor box is one sample; the box sends them every 0.996 ms.
inline constexpr double kSamplePeriod = 0.000996;
// A signed 16-bit rate reading spans +-2000 deg/s.
inline constexpr double kRateScale = 32768.0 / 2000.0;
// 2048 acceleration counts are one g of 9.806 m/s^2.
inline constexpr double kAccelScale = 2048.0 / 9.806;
inline constexpr double kPi = 3.141592653589793;

// Raw channel indices of a sample.
enum SensorChannel : int {
    AccelX = 0,
    AccelY = 1,  // gravity lies along this axis when the bar is level and still
    AccelZ = 2,
    RateX = 3,
    RateY = 4,  // rotation about the trunk axis: the channel the analysis evaluates
    RateZ = 5,
};

enum Quantity : int {
    AngularVelocity = 0,
    Position = 1,
    LinearVelocity = 2,
    Force = 3,
    Power = 4,
    Torque = 5,
};

enum ResultRow : int {
    PeakAll = 0,
    PeakAcceleration = 1,
    PeakDeceleration = 2,
    MeanAll = 3,
    MeanAcceleration = 4,
    MeanDeceleration = 5,
};
inline constexpr int kResultRowCount = 6;

// Note the order: it is not the order of the Quantity codes.
enum class ResultColumn : int { Force = 0, Power = 1, Velocity = 2, Position = 3, Torque = 4 };
inline constexpr int kResultColumnCount = 5;

struct SubjectInfo {
    std::string name;  // UTF-8 in memory; the test file holds 8-bit text
    int32_t sex = 0;   // 0 female, 1 male, -1 not chosen
    int32_t age = 0;   // kept in memory only, never in the test file
    int32_t weight = 0;
    int32_t height = 0;
    std::string comment1;
    std::string comment2;
    std::string comment3;

    bool operator==(const SubjectInfo&) const = default;
};

// A block of Rows x kMaxSamples values that is only allocated (zero-filled) when first
// written. A station that recorded two repetitions holds two blocks, not a hundred.
template <typename T, int Rows>
class LazySampleBlock {
public:
    bool allocated() const { return data_ != nullptr; }

    // Allocates the block zero-filled if it is not there yet.
    void allocate() {
        if (!data_) {
            void* p = sample_memory::allocateZeroed(kBytes);
            if (!p) throw std::bad_alloc();
            data_.reset(static_cast<T*>(p));
        }
    }
    // The same for a block of which only a row or two will ever be written (a reader that
    // keeps one channel): in small pages, so that only the rows written take memory.
    void allocateForFewRows() {
        if (!data_) {
            void* p = sample_memory::allocateZeroedForFewRows(kBytes);
            if (!p) throw std::bad_alloc();
            data_.reset(static_cast<T*>(p));
        }
    }
    void release() { data_.reset(); }

    T* row(int r) {
        allocate();
        return data_.get() + static_cast<size_t>(r) * kMaxSamples;
    }
    // An unallocated block reads as zeros.
    const T* row(int r) const {
        if (!data_) return zeros();
        return data_.get() + static_cast<size_t>(r) * kMaxSamples;
    }
    void swap(LazySampleBlock& other) noexcept { data_.swap(other.data_); }

private:
    static constexpr size_t kBytes = static_cast<size_t>(Rows) * kMaxSamples * sizeof(T);
    struct Free {
        void operator()(T* p) const { sample_memory::release(p, kBytes); }
    };
    static const T* zeros() {
        static const T block[kMaxSamples] = {};
        return block;
    }
    std::unique_ptr<T[], Free> data_;
};

// Raw samples, channel-major: channel(ch)[i] is channel ch of sample i.
using RawSamples = LazySampleBlock<int32_t, kChannelCount>;

struct RepetitionRecord {
    int32_t direction = 0;  // +1 or -1 for a recorded stroke; a file may hold anything
    float channelOffset[kChannelCount] = {};
    float loadMass = 0.0f;  // kg
    float radius = 0.0f;    // cm
    int32_t sampleCount = 0;
    RawSamples raw;

    // Number of samples that can actually be evaluated: sampleCount within 0..kMaxSamples.
    int validSamples() const {
        return sampleCount < 0 ? 0 : (sampleCount > kMaxSamples ? kMaxSamples : sampleCount);
    }
};

enum SeriesKind : int {
    SeriesAngularVelocity = 0,  // deg/s
    SeriesPosition = 1,         // deg
    SeriesLinearVelocity = 2,   // cm/s
    SeriesLinearAcceleration = 3,  // m/s^2
};

struct RepetitionSeries {
    LazySampleBlock<float, 4> values;

    const float* operator[](SeriesKind k) const { return values.row(k); }
    float* writable(SeriesKind k) { return values.row(k); }
};

struct RepetitionResults {
    float value[kResultRowCount][kResultColumnCount] = {};
    // Sample of the highest angular velocity found by the latest analysis (-10: none).
    // Set by every analysis; the table above keeps its previous values when there is none.
    int32_t velocityPeakIndex = -10;

    float at(ResultRow row, ResultColumn col) const { return value[row][static_cast<int>(col)]; }
    float& at(ResultRow row, ResultColumn col) { return value[row][static_cast<int>(col)]; }
};

struct TestRecord {
    SubjectInfo subject;
    int32_t testTime = 0;  // seconds since 1970-01-01 UTC
    int32_t repetitionCount = 0;
    std::array<RepetitionRecord, kMaxRepetitions> repetitions;
    std::array<RepetitionSeries, kMaxRepetitions> series;
    std::array<RepetitionResults, kMaxRepetitions> results;

    // Beside the test itself: 1 while nothing has been recorded since the last save or open.
    int32_t saved = 1;
};

}  // namespace vanta
