// The acquisition link: finds the sensor box on the USB serial bridge, configures the
// bridge, and runs one reader thread that turns the byte stream into samples stored into
// the repetition being recorded (through the AcquisitionControl).
//
// One link object per station, owned by whoever owns the test; it holds the driver, the
// open device, the reader thread and the link state. All member functions but the
// statistics are for the thread that starts and stops the link.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "device/acquisition_control.h"
#include "device/bridge_driver.h"
#include "device/frame_assembler.h"

namespace vanta {

// USB description of the sensor box: matched exactly, case-sensitive.
inline constexpr char kDeviceDescription[] = "Kavelvanta";
inline constexpr int kBridgeBaudRate = 625000;
inline constexpr int kUsbInTransferSize = 128;
inline constexpr int kReadChunkBytes = 1024;

enum class DeviceSelection {
    ByDescription,  // the first device described kDeviceDescription (the station)
    FirstDevice,    // the first device whatever its description (a port the user named)
};

struct LinkOptions {
    DeviceSelection selection = DeviceSelection::ByDescription;
    // A port without modem lines (a pseudo-terminal) is read all the same; the link then
    // reports modemLinesMissing(). Off for the station: a box that never sees DTR raised
    // may never send.
    bool allowMissingModemLines = false;
    // Longest single wait of the reader. The stop request wakes the reader at once; the
    // bound only matters for a driver whose wake-up were lost. Negative: no bound.
    int waitBoundMs = 200;
};

enum class LinkFailure {
    None,
    NotFound,               // no sensor box (no device, or none with the description)
    AlreadyActive,          // start while the link runs
    PermissionDenied,       // the port may not be opened by this user
    Busy,                   // another program holds the port
    OpenFailed,             // the device could not be opened for another reason
    RateNotApplied,         // 625000 baud could not be set
    ConfigurationFailed,    // data format, purge, USB parameters or modem lines failed
    ThreadFailed,           // the reader thread could not be started
    DeviceLost,             // the device vanished while the reader was reading
};

struct LinkStatus {
    LinkFailure failure = LinkFailure::None;
    std::string detail;  // what the driver said, if anything
};

// One line for the operator or the log: what went wrong, with the driver's detail.
std::string linkFailureText(const LinkStatus& status);

// How long a running link may go without a frame before the station gives up on it: the
// box sends a thousand a second, so five seconds of none is no hiccup.
inline constexpr std::chrono::seconds kFramelessLimit{5};
// Why no frame came for kFramelessLimit: bytes without frames mean another line rate or
// another device on the port; no bytes at all, a box that is off. `samples` is how many
// had come before.
std::string framelessText(uint64_t bytes, int samples);

// When the bytes of one start arrived, as the reader saw them: what the live tick cannot
// see, because it looks only every 100 ms. Longer pauses are kept with the sample count at
// which the stream resumed, the latest kGapsKept of them.
struct StreamTiming {
    static constexpr int kGapsKept = 32;
    static constexpr auto kGapNoted = std::chrono::milliseconds(50);
    struct Gap {
        int resumedAt = 0;  // samples stored when bytes came again
        std::chrono::steady_clock::duration length{};
    };
    std::chrono::steady_clock::time_point started{};    // the reader began to listen
    std::chrono::steady_clock::time_point lastStored{};  // the read that stored the last sample
    int stored = 0;                                       // samples stored by then
    std::array<Gap, kGapsKept> gaps{};
    int gapCount = 0;  // all gaps seen; the latest min(gapCount, kGapsKept) are in `gaps`
};

class AcquisitionLink final : private SampleSink {
public:
    explicit AcquisitionLink(BridgeDriver& driver, LinkOptions options = {});
    // The link owns its driver (the simulated sensor box of --simulate, for example).
    explicit AcquisitionLink(std::unique_ptr<BridgeDriver> driver, LinkOptions options = {});
    ~AcquisitionLink() override;
    AcquisitionLink(const AcquisitionLink&) = delete;
    AcquisitionLink& operator=(const AcquisitionLink&) = delete;

    // Looks for the sensor box; sets devicePresent(). Opens nothing.
    bool probeDevice();
    // Resets `control` (count 0, full 0, skipFirst 1; the caller has prepared phaseMode,
    // limit and store), finds, opens and configures the box, starts the reader. False on
    // any failure, with lastStatus() saying why; the link is then idle and startable.
    bool startAcquisition(AcquisitionControl& control);
    // Stops the reader (waking it), waits for it to exit, then closes the device. Does
    // nothing when the link is not active; safe to call repeatedly.
    void stopAcquisition();

    bool devicePresent() const { return devicePresent_; }
    bool linkActive() const { return linkActive_; }
    // Why the last start failed, or DeviceLost once the reader has found the device gone
    // (the link stays active until stopAcquisition).
    LinkStatus lastStatus() const;
    // The reader found the device gone and stopped reading. Any thread.
    bool deviceLost() const { return deviceLost_.load(std::memory_order_acquire); }
    // The running link could not raise RTS/DTR (allowed by LinkOptions).
    bool modemLinesMissing() const { return modemLinesMissing_; }
    BridgeDriver& driver() { return driver_; }

    // Reader figures since the last start, readable from any thread while it runs.
    struct Statistics {
        uint64_t bytesRead = 0;
        uint64_t framesDecoded = 0;
        uint64_t wakeUps = 0;      // waits that returned with data
        double readerCpuSeconds = 0;  // CPU time the reader thread has used
    };
    Statistics statistics() const;
    // The timing of the last start's stream. Only once stopAcquisition has returned: the
    // reader writes it without a lock.
    const StreamTiming& streamTiming() const { return timing_; }

private:
    void readerLoop();
    // The frame assembler's sink: counts the frame, then stores it (reader thread).
    void onSample(const int16_t (&channels)[6]) override;
    bool fail(LinkFailure failure, std::string detail);
    // The index of the device the link uses (the first described kDeviceDescription, or
    // the first of all), -1 when there is none.
    int findDevice();

    std::unique_ptr<BridgeDriver> ownedDriver_;
    BridgeDriver& driver_;
    LinkOptions options_;

    std::unique_ptr<BridgeDevice> device_;
    std::thread reader_;
    bool devicePresent_ = false;
    bool linkActive_ = false;
    bool modemLinesMissing_ = false;
    LinkStatus status_;

    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> deviceLost_{false};

    // Reader thread only (between start and the join in stop).
    AcquisitionSink sink_;
    FrameAssembler assembler_{*this};
    uint64_t framesLocal_ = 0;
    AcquisitionControl* control_ = nullptr;
    StreamTiming timing_;
    // Published by the reader once per read, not per byte.
    std::atomic<uint64_t> bytesRead_{0};
    std::atomic<uint64_t> wakeUps_{0};
    std::atomic<uint64_t> framesDecoded_{0};
    std::atomic<int64_t> readerCpuNanos_{0};
};

}  // namespace vanta
