// Test doubles for the acquisition link: bridge devices with the descriptions, failures
// and byte streams a test chooses. Every call the link makes is logged per device, and a
// device that is closed while one of its calls is still running is noted.
//
// The test side (send, loseDevice, the wait helpers) may run on any thread; the link
// side runs on the link's threads as with a real driver.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/bridge_driver.h"

namespace vanta {

struct ScriptedPort {
    std::string description;
    std::string location;
    BridgeError openError = BridgeError::None;  // open fails with this error
    BridgeError baudError = BridgeError::None;  // setBaudRate fails with this error
    bool modemLines = true;                     // false: RTS and DTR are NotSupported
};

class ScriptedBridgeDriver final : public BridgeDriver {
public:
    ScriptedBridgeDriver() = default;
    explicit ScriptedBridgeDriver(std::vector<ScriptedPort> ports);
    ~ScriptedBridgeDriver() override;

    int addPort(ScriptedPort port);
    void setOpenError(int index, BridgeError error);

    // The device receives `bytes` as one burst and the reader's wait returns.
    void send(int index, const std::vector<uint8_t>& bytes);
    // The device vanishes: once its queue is empty the reader's wait reports it lost.
    void loseDevice(int index);
    // Waits until the reader has called waitForData on the device opened last (so it has
    // purged and will see what is sent from now on). False when the deadline passes.
    bool waitUntilReaderWaits(int index, std::chrono::milliseconds deadline);
    // Waits until the reader has read every byte sent so far. False when the deadline passes.
    bool waitUntilDrained(int index, std::chrono::milliseconds deadline);

    // The calls the link made on device i, in order: "open", "baud 625000", "format 8N1",
    // "purge", "usb 128 0", "rts", "dtr", "close" (waits, queue status and reads are not
    // logged; they are counted).
    std::vector<std::string> calls(int index) const;
    int openCount(int index) const;
    bool isOpen(int index) const;
    int waitCalls(int index) const;
    // A device was closed while a call of the reader on it had not returned.
    bool closedUnderPendingCall() const;
    // Runs as the driver is destroyed, with the driver as it is then: for a driver that
    // its link owns, the only moment a test can look at it last.
    void whenDestroyed(std::function<void(const ScriptedBridgeDriver&)> look) { whenDestroyed_ = std::move(look); }

    int deviceCount() override;
    std::string description(int index) override;
    std::string location(int index) override;
    std::unique_ptr<BridgeDevice> open(int index, BridgeResult& result) override;

private:
    friend class ScriptedDevice;
    struct Port {
        ScriptedPort setup;
        std::vector<std::string> calls;
        std::deque<uint8_t> queue;
        uint64_t sent = 0, taken = 0;
        int opens = 0;
        bool open = false;
        bool lost = false;
        bool woken = false;
        int waits = 0;
        int pending = 0;  // reader calls in progress
    };
    Port& port(int index);
    const Port& port(int index) const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Port>> ports_;
    bool closedUnderPendingCall_ = false;
    std::function<void(const ScriptedBridgeDriver&)> whenDestroyed_;
};

}  // namespace vanta
