#include "device/acquisition_control.h"

namespace vanta {

void AcquisitionControl::prepare(RepetitionRecord& rep) {
    for (int ch = 0; ch < kChannelCount; ++ch) store[ch] = rep.raw.row(ch);
    limit.store(kMaxSamples, std::memory_order_release);
    phaseMode.store(SEARCH, std::memory_order_release);
}

void AcquisitionControl::switchToTail(int tailLimit) {
    limit.store(tailLimit, std::memory_order_release);
    phaseMode.store(TAIL, std::memory_order_release);
}

void AcquisitionSink::onSample(const int16_t (&channels)[6]) {
    AcquisitionControl* c = control_;
    if (!c) return;
    // Only this thread writes count once the link runs.
    const int n = c->count.load(std::memory_order_relaxed);
    if (n >= kMaxSamples) c->full.store(1, std::memory_order_release);
    if (c->full.load(std::memory_order_acquire)) return;
    if (c->skipFirst.load(std::memory_order_relaxed)) {
        // The first frame after opening the bridge may be the tail of one the box was
        // already sending when the station started listening.
        c->skipFirst.store(0, std::memory_order_relaxed);
        return;
    }
    // phaseMode first: the tick stores the tail's limit before it switches to TAIL, so a
    // TAIL seen here comes with its limit. In SEARCH only the capacity bounds the store.
    const int phase = c->phaseMode.load(std::memory_order_acquire);
    const int limit = phase == TAIL ? c->limit.load(std::memory_order_acquire) : kMaxSamples;
    if (n >= limit) {
        c->full.store(1, std::memory_order_release);
        return;
    }
    for (int ch = 0; ch < kChannelCount; ++ch) c->store[ch][n] = channels[ch];
    c->count.store(n + 1, std::memory_order_release);
}

}  // namespace vanta
