#include "tests/support/scripted_bridge_driver.h"

#include <algorithm>
#include <stdexcept>

namespace vanta {

namespace {

const char* parityName(Parity p) {
    switch (p) {
    case Parity::None: return "N";
    case Parity::Odd: return "O";
    case Parity::Even: return "E";
    }
    return "?";
}

}  // namespace

class ScriptedDevice final : public BridgeDevice {
public:
    ScriptedDevice(ScriptedBridgeDriver& driver, int index) : driver_(driver), index_(index) {}
    ~ScriptedDevice() override {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        ScriptedBridgeDriver::Port& p = driver_.port(index_);
        if (p.pending != 0) driver_.closedUnderPendingCall_ = true;
        p.open = false;
        p.calls.push_back("close");
        driver_.changed_.notify_all();
    }

    BridgeResult setBaudRate(int baud) override {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        ScriptedBridgeDriver::Port& p = driver_.port(index_);
        p.calls.push_back("baud " + std::to_string(baud));
        if (p.setup.baudError != BridgeError::None) return BridgeResult::fail(p.setup.baudError, "scripted baud failure");
        return {};
    }
    BridgeResult setDataCharacteristics(int dataBits, StopBits stopBits, Parity parity) override {
        log("format " + std::to_string(dataBits) + parityName(parity) + (stopBits == StopBits::One ? "1" : "2"));
        return {};
    }
    BridgeResult purge() override {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        ScriptedBridgeDriver::Port& p = driver_.port(index_);
        p.calls.push_back("purge");
        p.taken += p.queue.size();
        p.queue.clear();
        driver_.changed_.notify_all();
        return {};
    }
    BridgeResult setUsbParameters(int in, int out) override {
        log("usb " + std::to_string(in) + " " + std::to_string(out));
        return {};
    }
    BridgeResult setRts() override { return modemLine("rts"); }
    BridgeResult setDtr() override { return modemLine("dtr"); }

    WaitResult waitForData(int timeoutMs) override {
        std::unique_lock<std::mutex> lock(driver_.mutex_);
        ScriptedBridgeDriver::Port& p = driver_.port(index_);
        ++p.pending;
        ++p.waits;
        driver_.changed_.notify_all();
        auto ready = [&] { return p.woken || !p.queue.empty() || p.lost; };
        if (timeoutMs < 0) driver_.changed_.wait(lock, ready);
        else driver_.changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        WaitResult r = WaitResult::TimedOut;
        if (p.woken) {
            p.woken = false;
            r = WaitResult::Woken;
        } else if (!p.queue.empty()) {
            r = WaitResult::DataReady;
        } else if (p.lost) {
            r = WaitResult::Lost;
        }
        --p.pending;
        return r;
    }
    void wake() override {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        driver_.port(index_).woken = true;
        driver_.changed_.notify_all();
    }
    int bytesWaiting() override {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        ScriptedBridgeDriver::Port& p = driver_.port(index_);
        if (p.queue.empty() && p.lost) return -1;
        return static_cast<int>(p.queue.size());
    }
    int read(unsigned char* buffer, int maxBytes) override {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        ScriptedBridgeDriver::Port& p = driver_.port(index_);
        if (p.queue.empty() && p.lost) return -1;
        const int n = std::min(maxBytes, static_cast<int>(p.queue.size()));
        std::copy_n(p.queue.begin(), n, buffer);
        p.queue.erase(p.queue.begin(), p.queue.begin() + n);
        p.taken += static_cast<uint64_t>(n);
        driver_.changed_.notify_all();
        return n;
    }

private:
    void log(std::string call) {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        driver_.port(index_).calls.push_back(std::move(call));
    }
    BridgeResult modemLine(const char* name) {
        std::lock_guard<std::mutex> lock(driver_.mutex_);
        ScriptedBridgeDriver::Port& p = driver_.port(index_);
        p.calls.push_back(name);
        if (!p.setup.modemLines) return BridgeResult::fail(BridgeError::NotSupported, "no modem lines");
        return {};
    }

    ScriptedBridgeDriver& driver_;
    int index_;
};

ScriptedBridgeDriver::ScriptedBridgeDriver(std::vector<ScriptedPort> ports) {
    for (ScriptedPort& p : ports) addPort(std::move(p));
}

ScriptedBridgeDriver::~ScriptedBridgeDriver() {
    if (whenDestroyed_) whenDestroyed_(*this);
}

ScriptedBridgeDriver::Port& ScriptedBridgeDriver::port(int index) {
    if (index < 0 || index >= static_cast<int>(ports_.size())) throw std::out_of_range("no such scripted port");
    return *ports_[static_cast<size_t>(index)];
}

const ScriptedBridgeDriver::Port& ScriptedBridgeDriver::port(int index) const {
    if (index < 0 || index >= static_cast<int>(ports_.size())) throw std::out_of_range("no such scripted port");
    return *ports_[static_cast<size_t>(index)];
}

int ScriptedBridgeDriver::addPort(ScriptedPort setup) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto p = std::make_unique<Port>();
    p->setup = std::move(setup);
    ports_.push_back(std::move(p));
    return static_cast<int>(ports_.size()) - 1;
}

void ScriptedBridgeDriver::setOpenError(int index, BridgeError error) {
    std::lock_guard<std::mutex> lock(mutex_);
    port(index).setup.openError = error;
}

void ScriptedBridgeDriver::send(int index, const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    Port& p = port(index);
    p.queue.insert(p.queue.end(), bytes.begin(), bytes.end());
    p.sent += bytes.size();
    changed_.notify_all();
}

void ScriptedBridgeDriver::loseDevice(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    port(index).lost = true;
    changed_.notify_all();
}

bool ScriptedBridgeDriver::waitUntilReaderWaits(int index, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    Port& p = port(index);
    return changed_.wait_for(lock, deadline, [&] { return p.waits > 0; });
}

bool ScriptedBridgeDriver::waitUntilDrained(int index, std::chrono::milliseconds deadline) {
    std::unique_lock<std::mutex> lock(mutex_);
    Port& p = port(index);
    // Bytes taken from the queue are fed to the assembler only after the read returns:
    // drained means all taken and the reader back in its next wait.
    return changed_.wait_for(lock, deadline, [&] { return p.queue.empty() && p.taken == p.sent && p.pending > 0; });
}

std::vector<std::string> ScriptedBridgeDriver::calls(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return port(index).calls;
}

int ScriptedBridgeDriver::openCount(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return port(index).opens;
}

bool ScriptedBridgeDriver::isOpen(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return port(index).open;
}

int ScriptedBridgeDriver::waitCalls(int index) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return port(index).waits;
}

bool ScriptedBridgeDriver::closedUnderPendingCall() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closedUnderPendingCall_;
}

int ScriptedBridgeDriver::deviceCount() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(ports_.size());
}

std::string ScriptedBridgeDriver::description(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return port(index).setup.description;
}

std::string ScriptedBridgeDriver::location(int index) {
    std::lock_guard<std::mutex> lock(mutex_);
    return port(index).setup.location;
}

std::unique_ptr<BridgeDevice> ScriptedBridgeDriver::open(int index, BridgeResult& result) {
    std::lock_guard<std::mutex> lock(mutex_);
    Port& p = port(index);
    p.calls.push_back("open");
    if (p.setup.openError != BridgeError::None) {
        result = BridgeResult::fail(p.setup.openError, "scripted open failure");
        return nullptr;
    }
    if (p.open) {
        result = BridgeResult::fail(BridgeError::Busy, "already open");
        return nullptr;
    }
    ++p.opens;
    p.open = true;
    p.lost = false;
    p.woken = false;
    p.waits = 0;
    result = {};
    return std::make_unique<ScriptedDevice>(*this, index);
}

}  // namespace vanta
