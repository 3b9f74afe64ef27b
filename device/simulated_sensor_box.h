// A simulated sensor box: a bridge device described "Kavelvanta" that streams real 15-byte
// frames, one every 0.996 ms, from the trunk-rotation subject of core/trunk_motion.h.
// It goes through the same frame assembler, reader thread and store as a real box; the
// station's --simulate makes it the device the station finds:
//   AcquisitionLink link(std::make_unique<SimulatedSensorBox>(SimulationOptions{seed}));
//
// Like the real box it streams while DTR is raised: every start of the link (which raises
// DTR) is one attempt of the subject, and attempts alternate sides and vary. The same seed
// gives the same attempts, byte for byte: the station stores the subject's samples from
// sample 2 on (it hears the tail of sample 0 and skips sample 1, the first whole frame).
//
// Like a real USB bridge it delivers in bursts: a 62-byte USB packet as soon as it is
// full, and whatever it holds when its latency timer runs out. Frames may therefore
// arrive split across reads. Now and then a few bytes of line noise (never 0x01) lie
// between frames, and 0x01 occurs inside frames as data: both keep the frames decodable.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/trunk_motion.h"
#include "device/bridge_driver.h"

namespace vanta {

struct SimulationOptions {
    uint64_t seed = 1;
    // 1 runs in real time; the tests run the box faster than life.
    double timeScale = 1.0;
    // The bridge's latency timer: 16 ms out of the box, 1 ms with the station's udev rule.
    int latencyTimerMs = 16;
    // Occasional garbage bytes between frames.
    bool lineNoise = true;
};

class SimulatedSensorBox final : public BridgeDriver {
public:
    explicit SimulatedSensorBox(SimulationOptions options = {});
    ~SimulatedSensorBox() override;

    int deviceCount() override { return 1; }
    std::string description(int index) override;
    std::string location(int index) override;
    // One open device at a time, as with a real bridge. The driver must outlive it.
    std::unique_ptr<BridgeDevice> open(int index, BridgeResult& result) override;

    const SimulationOptions& options() const { return options_; }
    // Attempts started so far: the next raising of DTR starts attempt number attemptsStarted().
    int attemptsStarted() const { return attempts_; }
    // The subject as attempt number `attempt` moves, from its first sample on.
    TrunkAttempt subjectOf(int attempt) const;
    // Frames the box could not hand over because nobody read the bridge in time.
    uint64_t overrunFrames() const { return overrunFrames_.load(std::memory_order_relaxed); }

private:
    friend class SimulatedBoxDevice;
    SimulationOptions options_;
    int attempts_ = 0;
    bool deviceOpen_ = false;
    std::atomic<uint64_t> overrunFrames_{0};
};

}  // namespace vanta
