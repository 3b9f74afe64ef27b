#include "device/acquisition_link.h"

#include <time.h>

#include <algorithm>
#include <cstring>
#include <system_error>

namespace vanta {

namespace {

int64_t threadCpuNanos() {
    timespec ts{};
    if (clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts) != 0) return 0;
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

LinkFailure openFailure(BridgeError e) {
    switch (e) {
    case BridgeError::NotFound: return LinkFailure::NotFound;
    case BridgeError::PermissionDenied: return LinkFailure::PermissionDenied;
    case BridgeError::Busy: return LinkFailure::Busy;
    default: return LinkFailure::OpenFailed;
    }
}

}  // namespace

std::string framelessText(uint64_t bytes, int samples) {
    if (bytes > 0)
        return std::to_string(bytes) + " bytes arrived in 5 seconds (after " + std::to_string(samples) +
               " samples), but no frame of the sensor box among them; is the line at another baud rate than 625000, "
               "or another device on this port?";
    return "no frames from the sensor box for 5 seconds (after " + std::to_string(samples) +
           " samples); is the box switched on?";
}

std::string linkFailureText(const LinkStatus& status) {
    std::string text;
    switch (status.failure) {
    case LinkFailure::None: return "no failure";
    case LinkFailure::NotFound: text = "no sensor box found"; break;
    case LinkFailure::AlreadyActive: text = "the link is already running"; break;
    case LinkFailure::PermissionDenied: text = "permission denied on the port"; break;
    case LinkFailure::Busy: text = "the port is in use by another program"; break;
    case LinkFailure::OpenFailed: text = "the port could not be opened"; break;
    case LinkFailure::RateNotApplied: text = "the line rate of 625000 baud could not be set"; break;
    case LinkFailure::ConfigurationFailed: text = "the bridge could not be configured"; break;
    case LinkFailure::ThreadFailed: text = "the reader thread could not be started"; break;
    case LinkFailure::DeviceLost: text = "the port vanished while reading"; break;
    }
    if (!status.detail.empty()) text += " (" + status.detail + ")";
    return text;
}

AcquisitionLink::AcquisitionLink(BridgeDriver& driver, LinkOptions options)
    : driver_(driver), options_(options) {}

AcquisitionLink::AcquisitionLink(std::unique_ptr<BridgeDriver> driver, LinkOptions options)
    : ownedDriver_(std::move(driver)), driver_(*ownedDriver_), options_(options) {}

AcquisitionLink::~AcquisitionLink() { stopAcquisition(); }

bool AcquisitionLink::fail(LinkFailure failure, std::string detail) {
    status_ = {failure, std::move(detail)};
    return false;
}

LinkStatus AcquisitionLink::lastStatus() const {
    if (status_.failure == LinkFailure::None && deviceLost()) return {LinkFailure::DeviceLost, {}};
    return status_;
}

int AcquisitionLink::findDevice() {
    const int n = driver_.deviceCount();
    for (int i = 0; i < n; ++i)
        if (options_.selection == DeviceSelection::FirstDevice || driver_.description(i) == kDeviceDescription)
            return i;
    return -1;
}

bool AcquisitionLink::probeDevice() {
    devicePresent_ = findDevice() >= 0;
    return devicePresent_;
}

bool AcquisitionLink::startAcquisition(AcquisitionControl& control) {
    if (linkActive_) return fail(LinkFailure::AlreadyActive, {});
    status_ = {};

    control.count.store(0, std::memory_order_release);
    control.full.store(0, std::memory_order_release);
    control.skipFirst.store(1, std::memory_order_release);

    if (device_) return fail(LinkFailure::AlreadyActive, "a device is still open");
    // Only the matching device is opened: opening a serial port raises its modem lines
    // and sets its line, which would disturb whatever else is attached to the machine.
    const int index = findDevice();
    devicePresent_ = index >= 0;
    if (index < 0) return fail(LinkFailure::NotFound, {});

    BridgeResult r;
    std::unique_ptr<BridgeDevice> device = driver_.open(index, r);
    if (!device) return fail(openFailure(r.error), r.detail);

    // The order matters to the box: line settings first, then an empty receive queue, and
    // RTS before DTR. The station never writes to the box.
    r = device->setBaudRate(kBridgeBaudRate);
    if (!r) return fail(r.error == BridgeError::RateNotApplied ? LinkFailure::RateNotApplied : LinkFailure::ConfigurationFailed, r.detail);
    if (!(r = device->setDataCharacteristics(8, StopBits::One, Parity::None)))
        return fail(LinkFailure::ConfigurationFailed, "data format: " + r.detail);
    if (!(r = device->purge())) return fail(LinkFailure::ConfigurationFailed, "purge: " + r.detail);
    if (!(r = device->setUsbParameters(kUsbInTransferSize, 0)))
        return fail(LinkFailure::ConfigurationFailed, "USB parameters: " + r.detail);
    modemLinesMissing_ = false;
    for (BridgeResult (BridgeDevice::*raise)() : {&BridgeDevice::setRts, &BridgeDevice::setDtr}) {
        r = (device.get()->*raise)();
        if (r) continue;
        if (r.error == BridgeError::NotSupported && options_.allowMissingModemLines) {
            modemLinesMissing_ = true;
            continue;
        }
        return fail(LinkFailure::ConfigurationFailed, "modem lines: " + r.detail);
    }

    sink_.attach(&control);
    control_ = &control;
    timing_ = StreamTiming{};
    assembler_.reset();
    stopRequested_.store(false, std::memory_order_release);
    deviceLost_.store(false, std::memory_order_release);
    bytesRead_.store(0, std::memory_order_relaxed);
    wakeUps_.store(0, std::memory_order_relaxed);
    framesDecoded_.store(0, std::memory_order_relaxed);
    readerCpuNanos_.store(0, std::memory_order_relaxed);
    device_ = std::move(device);
    try {
        reader_ = std::thread(&AcquisitionLink::readerLoop, this);
    } catch (const std::system_error& e) {
        device_.reset();
        sink_.attach(nullptr);
        return fail(LinkFailure::ThreadFailed, e.what());
    }
    linkActive_ = true;
    return true;
}

void AcquisitionLink::stopAcquisition() {
    if (!linkActive_) return;
    if (reader_.joinable()) {
        stopRequested_.store(true, std::memory_order_release);
        device_->wake();
        // The reader tests the request after every wait, and the wake-up ends the wait it
        // may be in; only then is the device closed, never under a pending read.
        reader_.join();
    }
    device_.reset();
    sink_.attach(nullptr);
    linkActive_ = false;
}

void AcquisitionLink::onSample(const int16_t (&channels)[6]) {
    ++framesLocal_;
    sink_.onSample(channels);
}

AcquisitionLink::Statistics AcquisitionLink::statistics() const {
    Statistics s;
    s.bytesRead = bytesRead_.load(std::memory_order_relaxed);
    s.framesDecoded = framesDecoded_.load(std::memory_order_relaxed);
    s.wakeUps = wakeUps_.load(std::memory_order_relaxed);
    s.readerCpuSeconds = static_cast<double>(readerCpuNanos_.load(std::memory_order_relaxed)) * 1e-9;
    return s;
}

void AcquisitionLink::readerLoop() {
    BridgeDevice& device = *device_;
    unsigned char buffer[kReadChunkBytes];
    uint64_t bytes = 0, wakeUps = 0;
    framesLocal_ = 0;

    device.purge();
    using Clock = std::chrono::steady_clock;
    timing_.started = Clock::now();
    timing_.lastStored = timing_.started;
    Clock::time_point lastData = timing_.started;
    bool lost = false;
    while (!lost && !stopRequested_.load(std::memory_order_acquire)) {
        const WaitResult w = device.waitForData(options_.waitBoundMs);
        if (w == WaitResult::Lost) {
            lost = true;
            break;
        }
        if (w != WaitResult::DataReady) continue;  // woken or bound passed: test the stop request
        ++wakeUps;
        // One clock reading per wake-up, not per byte: a pause of the line shows as a late
        // wake-up, noted with the sample count where the stream went on.
        const Clock::time_point arrived = Clock::now();
        if (arrived - lastData > StreamTiming::kGapNoted) {
            StreamTiming::Gap& gap = timing_.gaps[static_cast<size_t>(timing_.gapCount % StreamTiming::kGapsKept)];
            gap.resumedAt = control_->count.load(std::memory_order_relaxed);
            gap.length = arrived - lastData;
            ++timing_.gapCount;
        }
        lastData = arrived;
        // Drain the whole queue on every wake-up: at 15000 bytes a second a reader that
        // took one chunk per wake-up would fall behind.
        int queued = device.bytesWaiting();
        if (queued < 0) {
            lost = true;
            break;
        }
        while (queued > 0) {
            const int n = std::min(queued, kReadChunkBytes);
            queued -= n;
            const int got = device.read(buffer, n);
            if (got < 0) {
                lost = true;
                break;
            }
            assembler_.feed(buffer, static_cast<size_t>(got));
            bytes += static_cast<uint64_t>(got);
        }
        const int stored = control_->count.load(std::memory_order_relaxed);
        if (stored != timing_.stored) {
            timing_.stored = stored;
            timing_.lastStored = arrived;
        }
        bytesRead_.store(bytes, std::memory_order_relaxed);
        framesDecoded_.store(framesLocal_, std::memory_order_relaxed);
        wakeUps_.store(wakeUps, std::memory_order_relaxed);
        readerCpuNanos_.store(threadCpuNanos(), std::memory_order_relaxed);
    }
    bytesRead_.store(bytes, std::memory_order_relaxed);
    framesDecoded_.store(framesLocal_, std::memory_order_relaxed);
    readerCpuNanos_.store(threadCpuNanos(), std::memory_order_relaxed);
    if (lost) deviceLost_.store(true, std::memory_order_release);
}

}  // namespace vanta
