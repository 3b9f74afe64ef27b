// The 99-tap triangular sum of the smoothing, T(a) = sum over |j| <= 49 of (50 - |j|) *
// raw(a + j), kept exactly in 64-bit integers while its centre walks forward. Moving the
// centre from a to a + 1, every sample of a+1..a+50 gains one unit of weight and every
// sample of a-49..a loses one:
//   T(a+1) = T(a) + R(a) + raw(a+50) - L(a),  R(a) = sum raw(a+1..a+49),  L(a) = sum raw(a-49..a).
// Only the samples of the new window are read, so the live tick can walk up to the newest
// stored sample. The analysis and the live tick share it, so their rates are the same.
#pragma once

#include <cstdint>

#include "core/analysis.h"

namespace vanta {

class RunningTriangle {
public:
    // Centres the sum on `a`; reads raw a-49..a+49.
    void start(const int32_t* raw, int a) {
        total_ = right_ = left_ = 0;
        for (int j = -kSmoothHalfWidth; j <= kSmoothHalfWidth; ++j)
            total_ += static_cast<int64_t>(kSmoothCentreWeight - (j < 0 ? -j : j)) * raw[a + j];
        for (int i = a + 1; i <= a + kSmoothHalfWidth; ++i) right_ += raw[i];
        for (int i = a - kSmoothHalfWidth; i <= a; ++i) left_ += raw[i];
        a_ = a;
    }
    // Moves the centre to a + 1; reads raw a+50, the newest sample of the new window.
    void advance(const int32_t* raw) {
        const int64_t newest = raw[a_ + kSmoothHalfWidth + 1];
        total_ += right_ + newest - left_;
        right_ += newest - raw[a_ + 1];
        left_ += static_cast<int64_t>(raw[a_ + 1]) - raw[a_ - kSmoothHalfWidth];
        ++a_;
    }
    // T(a+1) - T(a) = R(a) + raw(a+50) - L(a); reads raw a+50.
    int64_t step(const int32_t* raw) const { return right_ + raw[a_ + kSmoothHalfWidth + 1] - left_; }
    int centre() const { return a_; }
    int64_t total() const { return total_; }

private:
    int a_ = 0;
    int64_t total_ = 0;
    int64_t right_ = 0;  // raw a+1 .. a+49
    int64_t left_ = 0;   // raw a-49 .. a
};

}  // namespace vanta
