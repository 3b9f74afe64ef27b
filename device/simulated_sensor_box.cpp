#include "device/simulated_sensor_box.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <vector>

#include "core/records.h"
#include "core/trunk_motion.h"
#include "device/acquisition_link.h"
#include "device/frame_encoder.h"

namespace vanta {

namespace {

using Clock = std::chrono::steady_clock;

// A full-speed USB packet of the bridge carries 62 bytes of data (two are modem status).
constexpr int kUsbPacketBytes = 62;
// The kernel's receive buffer in front of the reader: what does not fit is lost.
constexpr int kQueueBytes = 1 << 16;
// Line noise: on average one burst of 1..3 stray bytes every 1500 frames.
constexpr double kNoisePerFrame = 1.0 / 1500.0;
// Word 4 of the box carries the sensor's temperature reading, about 25 degrees; the
// station does not use it.
constexpr double kTemperatureCounts = -3900.0;

}  // namespace

class SimulatedBoxDevice final : public BridgeDevice {
public:
    explicit SimulatedBoxDevice(SimulatedSensorBox& box) : box_(box), queue_(kQueueBytes) {}
    ~SimulatedBoxDevice() override { box_.deviceOpen_ = false; }

    BridgeResult setBaudRate(int) override { return {}; }
    BridgeResult setDataCharacteristics(int, StopBits, Parity) override { return {}; }
    BridgeResult purge() override {
        advance(boxNow());
        consumed_ = delivered_ = produced_;
        return {};
    }
    BridgeResult setUsbParameters(int, int) override { return {}; }
    BridgeResult setRts() override { return {}; }
    BridgeResult setDtr() override {
        startAttempt();
        return {};
    }

    WaitResult waitForData(int timeoutMs) override {
        listen();
        const Clock::time_point deadline =
            timeoutMs < 0 ? Clock::time_point::max() : Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::unique_lock<std::mutex> lock(wakeMutex_);
        for (;;) {
            if (woken_) {
                woken_ = false;
                return WaitResult::Woken;
            }
            advance(boxNow());
            if (delivered_ > consumed_) return WaitResult::DataReady;
            const Clock::time_point now = Clock::now();
            if (now >= deadline) return WaitResult::TimedOut;
            wakeCv_.wait_until(lock, std::min(deadline, nextEventWallTime()));
        }
    }
    void wake() override {
        {
            std::lock_guard<std::mutex> lock(wakeMutex_);
            woken_ = true;
        }
        wakeCv_.notify_all();
    }
    int bytesWaiting() override {
        listen();
        advance(boxNow());
        return static_cast<int>(delivered_ - consumed_);
    }
    int read(unsigned char* buffer, int maxBytes) override {
        const int n = static_cast<int>(std::min<uint64_t>(delivered_ - consumed_, static_cast<uint64_t>(std::max(0, maxBytes))));
        for (int i = 0; i < n; ++i) buffer[i] = queue_[(consumed_ + i) % kQueueBytes];
        consumed_ += static_cast<uint64_t>(n);
        return n;
    }

private:
    // The box's clock starts when the station first listens after raising DTR. What a
    // real box sends before then is purged by the reader anyway; starting here makes a seed
    // give the same samples however the threads happen to be scheduled.
    void listen() {
        if (subject_ && !listening_) {
            listening_ = true;
            t0_ = Clock::now();
        }
    }
    // Seconds of the box's own time since the station began to listen.
    double boxNow() const {
        if (!listening_) return 0.0;
        return std::chrono::duration<double>(Clock::now() - t0_).count() * box_.options_.timeScale;
    }
    double latency() const { return std::max(1, box_.options_.latencyTimerMs) * 1e-3; }

    Clock::time_point nextEventWallTime() const {
        if (!listening_) return Clock::now() + std::chrono::milliseconds(50);
        const double next = std::min(static_cast<double>(nextFrame_) * kSamplePeriod, static_cast<double>(nextTick_) * latency());
        const auto offset = std::chrono::duration<double>(next / box_.options_.timeScale);
        return t0_ + std::chrono::duration_cast<Clock::duration>(offset) + std::chrono::microseconds(50);
    }

    void startAttempt() {
        const uint64_t seed = box_.options_.seed;
        const int attempt = box_.attempts_++;
        subject_.emplace(box_.subjectOf(attempt));
        noise_.emplace(seed * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(attempt) * 977u + 5u);
        listening_ = false;
        nextFrame_ = 0;
        nextTick_ = 1;
        // The box was already sending when DTR came up: the station hears the tail of a
        // frame first. A tail holding a 0x01 would be taken for a sync byte and misalign
        // the following frames, so the box starts where its tail holds none.
        startOffset_ = static_cast<int>(noise_->uniform() * kFrameBytes);
    }

    void put(uint8_t b) { queue_[produced_++ % kQueueBytes] = b; }

    // Emits frame nextFrame_ (and any line noise before it) onto the bridge.
    void emitFrame() {
        const int k = nextFrame_++;
        int16_t channels[6];
        subject_->next(channels);
        const double t = k * kSamplePeriod;
        const int16_t temperature = static_cast<int16_t>(std::lround(kTemperatureCounts + 6.0 * std::sin(t / 40.0) + noise_->gaussian()));
        uint8_t frame[kFrameBytes];
        encodeFrame(channels, temperature, frame);

        int first = 0;
        if (k == 0) {
            first = startOffset_;
            while (first < kFrameBytes && std::find(frame + first, frame + kFrameBytes, kFrameSync) != frame + kFrameBytes) ++first;
        }
        int noise = 0;
        if (box_.options_.lineNoise && k > 0 && noise_->uniform() < kNoisePerFrame) noise = 1 + static_cast<int>(noise_->uniform() * 3);
        const int bytes = noise + kFrameBytes - first;
        if (produced_ + static_cast<uint64_t>(bytes) - consumed_ > static_cast<uint64_t>(kQueueBytes)) {
            // The reader did not keep up: the whole frame is lost, as a driver overrun
            // loses it, and the stream stays aligned.
            box_.overrunFrames_.fetch_add(1, std::memory_order_relaxed);
            return;
        }
        for (int i = 0; i < noise; ++i) {
            uint8_t g = static_cast<uint8_t>(noise_->nextBits() & 0xFF);
            if (g == kFrameSync) g = 0x00;
            put(g);
        }
        for (int i = first; i < kFrameBytes; ++i) put(frame[i]);
        while (produced_ - delivered_ >= static_cast<uint64_t>(kUsbPacketBytes)) delivered_ += kUsbPacketBytes;
    }

    // Runs the box's events (frames and latency-timer expiries) up to box time `now`.
    void advance(double now) {
        if (!listening_) return;
        for (;;) {
            const double frameTime = static_cast<double>(nextFrame_) * kSamplePeriod;
            const double tickTime = static_cast<double>(nextTick_) * latency();
            if (std::min(frameTime, tickTime) > now) return;
            if (frameTime <= tickTime) {
                emitFrame();
            } else {
                ++nextTick_;
                delivered_ = produced_;  // the latency timer ships what the bridge holds
            }
        }
    }

    SimulatedSensorBox& box_;
    std::optional<TrunkAttempt> subject_;
    std::optional<SeededNoise> noise_;
    bool listening_ = false;
    Clock::time_point t0_{};
    int nextFrame_ = 0;
    long long nextTick_ = 1;
    int startOffset_ = 0;

    // Byte positions in the stream: consumed_ <= delivered_ <= produced_. Between
    // consumed_ and delivered_ lies the receive queue, beyond it what the bridge holds.
    std::vector<uint8_t> queue_;
    uint64_t produced_ = 0, delivered_ = 0, consumed_ = 0;

    std::mutex wakeMutex_;
    std::condition_variable wakeCv_;
    bool woken_ = false;
};

SimulatedSensorBox::SimulatedSensorBox(SimulationOptions options) : options_(options) {
    if (!(options_.timeScale > 0.0)) options_.timeScale = 1.0;
}

SimulatedSensorBox::~SimulatedSensorBox() = default;

TrunkAttempt SimulatedSensorBox::subjectOf(int attempt) const {
    // The same parameters and noise as the demo test's attempt of that number.
    return TrunkAttempt(attemptParameters(options_.seed, attempt), options_.seed * 31u + static_cast<uint64_t>(attempt) + 1u);
}

std::string SimulatedSensorBox::description(int) { return kDeviceDescription; }

std::string SimulatedSensorBox::location(int) { return "simulated"; }

std::unique_ptr<BridgeDevice> SimulatedSensorBox::open(int index, BridgeResult& result) {
    if (index != 0) {
        result = BridgeResult::fail(BridgeError::NotFound, "the simulation has one box");
        return nullptr;
    }
    if (deviceOpen_) {
        result = BridgeResult::fail(BridgeError::Busy, "the simulated box is already open");
        return nullptr;
    }
    deviceOpen_ = true;
    result = {};
    return std::make_unique<SimulatedBoxDevice>(*this);
}

}  // namespace vanta
