// The acquisition link through the real serial backend on a pseudo-terminal pair:
//  - a stress run at 50 times the box's stream (750 KB/s), with garbage between frames and
//    0x01 bytes inside them, into the store: every stored sample is checked, so lost,
//    doubled or altered samples show in the counters (and fail the run);
//  - the reader thread's CPU share at the box's own rate (one frame a millisecond).
// Run: build/bench/vanta_link_bench
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/trunk_motion.h"
#include "device/acquisition_link.h"
#include "device/frame_encoder.h"
#include "device/serial_bridge_driver.h"

namespace vanta {
namespace {

using Clock = std::chrono::steady_clock;

// Test frame `seq`: the frame number in channels 0 (low half) and 3 (high half), the other
// channels derived from it, and 0x01 bytes inside (word 4, channel 2, channel 5).
void channelsOf(uint32_t seq, int16_t (&ch)[6]) {
    ch[0] = static_cast<int16_t>(seq & 0xFFFF);
    ch[1] = static_cast<int16_t>(-2048 + static_cast<int>(seq * 7 % 101));
    ch[2] = static_cast<int16_t>(0x0101 ^ (seq % 13));
    ch[3] = static_cast<int16_t>(seq >> 16);
    ch[4] = static_cast<int16_t>((seq * 2654435761u) >> 16);
    ch[5] = static_cast<int16_t>(0x0100 | (seq & 0xFF));
}

struct PseudoTerminal {
    int master = -1;
    std::string slave;
    PseudoTerminal() {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0) return;
        slave = name;
    }
    ~PseudoTerminal() {
        if (master >= 0) ::close(master);
    }
};

// Writes frames 0, 1, 2, ... at `bytesPerSecond`, in one burst per millisecond, until
// stopped; with `garbage`, 1..3 stray bytes (never 0x01) before about every fifth frame.
class BoxWriter {
public:
    BoxWriter(int fd, double bytesPerSecond, bool garbage) : thread_([=, this] { run(fd, bytesPerSecond, garbage); }) {}
    ~BoxWriter() { stop(); }
    void stop() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
    }
    uint64_t bytesWritten() const { return written_.load(); }
    uint64_t garbageBytes() const { return garbage_.load(); }

private:
    void run(int fd, double bytesPerSecond, bool withGarbage) {
        SeededNoise noise(99);
        std::vector<uint8_t> burst;
        uint32_t seq = 0;
        uint64_t due = 0, sent = 0, garbage = 0;
        const Clock::time_point t0 = Clock::now();
        for (int tick = 1; !stop_.load(std::memory_order_relaxed); ++tick) {
            due = static_cast<uint64_t>(bytesPerSecond * tick * 1e-3);
            burst.clear();
            while (sent + burst.size() < due) {
                if (withGarbage && noise.uniform() < 0.2) {
                    const int n = 1 + static_cast<int>(noise.uniform() * 3);
                    for (int i = 0; i < n; ++i) {
                        uint8_t g = static_cast<uint8_t>(noise.nextBits());
                        burst.push_back(g == kFrameSync ? 0x00 : g);
                    }
                    garbage += static_cast<uint64_t>(n);
                }
                int16_t ch[6];
                channelsOf(seq++, ch);
                uint8_t f[kFrameBytes];
                encodeFrame(ch, 0x0101, f);
                burst.insert(burst.end(), f, f + kFrameBytes);
            }
            size_t done = 0;
            while (done < burst.size()) {
                const ssize_t n = ::write(fd, burst.data() + done, burst.size() - done);
                if (n <= 0) return;
                done += static_cast<size_t>(n);
            }
            sent += burst.size();
            written_.store(sent);
            garbage_.store(garbage);
            std::this_thread::sleep_until(t0 + std::chrono::milliseconds(tick));
        }
    }
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> written_{0}, garbage_{0};
    std::thread thread_;
};

LinkOptions pseudoTerminalOptions() {
    LinkOptions o;
    o.selection = DeviceSelection::FirstDevice;
    o.allowMissingModemLines = true;  // a pseudo-terminal has no modem lines
    return o;
}

struct Check {
    int64_t lost = 0, duplicated = 0, altered = 0;
};

// Every stored sample against the frame its number names.
Check checkStore(const AcquisitionControl& control, int count) {
    Check c;
    int64_t expected = -1;
    for (int i = 0; i < count; ++i) {
        const uint32_t seq = (static_cast<uint32_t>(static_cast<uint16_t>(control.store[3][i])) << 16) |
                             static_cast<uint16_t>(control.store[0][i]);
        int16_t ch[6];
        channelsOf(seq, ch);
        bool same = true;
        for (int k = 0; k < kChannelCount; ++k) same = same && control.store[k][i] == ch[k];
        if (!same) {
            ++c.altered;
            if (expected >= 0) ++expected;
            continue;
        }
        if (expected >= 0) {
            if (seq > expected) c.lost += seq - expected;
            else if (seq < expected) ++c.duplicated;
        }
        expected = static_cast<int64_t>(seq) + 1;
    }
    return c;
}

// 50 times the box's 15 KB/s until one repetition is full: 60000 samples in about 1.2 s.
void BM_StressFiftyTimesTheStream(benchmark::State& state) {
    auto rep = std::make_unique<RepetitionRecord>();
    AcquisitionControl control;
    int64_t samples = 0, lost = 0, duplicated = 0, altered = 0, garbage = 0;
    double bytes = 0, seconds = 0, cpu = 0;
    for (auto _ : state) {
        PseudoTerminal pty;
        if (pty.slave.empty()) {
            state.SkipWithError("no pseudo-terminal");
            return;
        }
        control.prepare(*rep);
        AcquisitionLink link(makeSerialBridgeDriverForPort(pty.slave), pseudoTerminalOptions());
        if (!link.startAcquisition(control)) {
            state.SkipWithError(linkFailureText(link.lastStatus()).c_str());
            return;
        }
        const Clock::time_point t0 = Clock::now();
        BoxWriter writer(pty.master, 50 * 15000.0, true);
        while (!control.isFull() && Clock::now() - t0 < std::chrono::seconds(30))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        writer.stop();
        link.stopAcquisition();

        const int count = control.storedCount();
        const Check c = checkStore(control, count);
        samples += count;
        lost += c.lost;
        duplicated += c.duplicated;
        altered += c.altered;
        garbage += static_cast<int64_t>(writer.garbageBytes());
        bytes += static_cast<double>(link.statistics().bytesRead);
        seconds += elapsed;
        cpu += link.statistics().readerCpuSeconds;
        state.SetIterationTime(elapsed);
        if (count != kMaxSamples || c.lost || c.duplicated || c.altered) state.SkipWithError("samples lost, doubled or altered");
    }
    state.counters["samples"] = static_cast<double>(samples);
    state.counters["lost"] = static_cast<double>(lost);
    state.counters["duplicated"] = static_cast<double>(duplicated);
    state.counters["altered"] = static_cast<double>(altered);
    state.counters["garbage_bytes"] = static_cast<double>(garbage);
    state.counters["read_kB_per_s"] = bytes / seconds / 1000.0;
    state.counters["reader_cpu_pct"] = 100.0 * cpu / seconds;
}
BENCHMARK(BM_StressFiftyTimesTheStream)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The box's own rate, one frame per millisecond as the bridge hands them on with a 1 ms
// latency timer (the most wake-ups): how much of a core the reader takes.
void BM_ReaderCpuAtTheBoxRate(benchmark::State& state) {
    auto rep = std::make_unique<RepetitionRecord>();
    AcquisitionControl control;
    double cpu = 0, seconds = 0, wakeUps = 0, frames = 0;
    for (auto _ : state) {
        PseudoTerminal pty;
        control.prepare(*rep);
        AcquisitionLink link(makeSerialBridgeDriverForPort(pty.slave), pseudoTerminalOptions());
        if (!link.startAcquisition(control)) {
            state.SkipWithError(linkFailureText(link.lastStatus()).c_str());
            return;
        }
        const Clock::time_point t0 = Clock::now();
        {
            BoxWriter writer(pty.master, 15.0 * 1000.0, false);
            std::this_thread::sleep_for(std::chrono::seconds(3));
        }
        const double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
        link.stopAcquisition();
        const AcquisitionLink::Statistics s = link.statistics();
        cpu += s.readerCpuSeconds;
        seconds += elapsed;
        wakeUps += static_cast<double>(s.wakeUps);
        frames += static_cast<double>(s.framesDecoded);
        state.SetIterationTime(elapsed);
        const Check c = checkStore(control, control.storedCount());
        if (c.lost || c.duplicated || c.altered) state.SkipWithError("samples lost, doubled or altered");
    }
    state.counters["reader_cpu_pct"] = 100.0 * cpu / seconds;
    state.counters["reader_cpu_us_per_frame"] = 1e6 * cpu / frames;
    state.counters["wakeups_per_s"] = wakeUps / seconds;
    state.counters["frames_per_s"] = frames / seconds;
}
BENCHMARK(BM_ReaderCpuAtTheBoxRate)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vanta
