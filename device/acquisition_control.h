// The control block the reader thread and the user-interface thread share while an
// attempt is recorded, and the sink that stores each decoded sample through it.
//
// Hand-off without a lock: the reader writes a sample's six values and then publishes the
// incremented `count` with release; the user-interface thread loads `count` with acquire
// and touches only samples below it. `full`, `phaseMode` and `limit` are written by the
// user-interface thread with release and read by the reader with acquire.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/records.h"
#include "device/sample_sink.h"

namespace vanta {

// Samples recorded after the end of the stroke.
inline constexpr int kTailSamples = 200;

enum PhaseMode : int {
    TAIL = 1,    // the end of the stroke is known: store up to `limit`
    SEARCH = 3,  // waiting for the stroke: store up to the capacity of the repetition
};

struct AcquisitionControl {
    std::atomic<int> full{0};       // 1: store nothing more (limit or capacity reached, or BACK)
    std::atomic<int> count{0};      // samples stored for this attempt: the next free index
    std::atomic<int> skipFirst{0};  // 1: the next complete frame is dropped
    std::atomic<int> phaseMode{SEARCH};
    std::atomic<int> limit{kMaxSamples};
    // The six raw channel rows of the repetition being recorded: store[ch][i].
    int32_t* store[kChannelCount] = {};

    // Before START: store into `rep` (allocating its samples now, never on the reader
    // thread), in SEARCH with the capacity as the limit.
    void prepare(RepetitionRecord& rep);
    // The live tick found the end of the stroke: store up to `tailLimit` samples. The limit
    // is published before the phase, so a reader that sees TAIL sees its limit.
    void switchToTail(int tailLimit);
    // BACK, calibration done: nothing more is stored.
    void markFull() { full.store(1, std::memory_order_release); }
    // What the user-interface thread may read: samples 0..storedCount()-1.
    int storedCount() const { return count.load(std::memory_order_acquire); }
    bool isFull() const { return full.load(std::memory_order_acquire) != 0; }
};

// Stores decoded samples into the control block's repetition (runs on the reader thread).
class AcquisitionSink final : public SampleSink {
public:
    void attach(AcquisitionControl* control) { control_ = control; }
    void onSample(const int16_t (&channels)[6]) override;

private:
    AcquisitionControl* control_ = nullptr;
};

}  // namespace vanta
