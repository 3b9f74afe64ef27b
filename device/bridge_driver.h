// The USB serial bridge as the acquisition link sees it: exactly the operations the link
// uses, and nothing else. Behind it: the serial-port backend for a real sensor box, the
// simulated sensor box, and the scripted doubles of the tests.
//
// Threads: enumeration, open, the line settings and closing (destroying the device) are
// called from one thread, the one that starts and stops the link. purge, waitForData,
// bytesWaiting and read are called from the reader thread once it runs. wake() may be
// called from any thread at any time while the device is open.
#pragma once

#include <memory>
#include <string>

namespace vanta {

enum class BridgeError {
    None,
    NotFound,          // no such device or port (unplugged, wrong path)
    PermissionDenied,  // the user may not open the port (dialout group, udev rule)
    Busy,              // another program holds the port
    OpenFailed,        // any other reason the device could not be opened
    RateNotApplied,    // the driver did not really set the asked line rate
    NotSupported,      // the device has no such setting (e.g. modem lines of a pseudo-terminal)
    IoError,           // a setting failed for another reason
};

// Outcome of an operation of the bridge: true when done; otherwise the error and, for the
// operator, what the driver said.
struct BridgeResult {
    BridgeError error = BridgeError::None;
    std::string detail;

    explicit operator bool() const { return error == BridgeError::None; }
    static BridgeResult ok() { return {}; }
    static BridgeResult fail(BridgeError e, std::string why) { return {e, std::move(why)}; }
};

enum class StopBits { One, Two };
enum class Parity { None, Odd, Even };

enum class WaitResult {
    DataReady,  // bytes are waiting in the receive queue
    Woken,      // wake() was called (the stop request); consumed by this wait
    TimedOut,   // the time-out passed without data
    Lost,       // the device is gone (unplugged, port closed under us)
};

// One opened bridge device. Destroying it closes the device; the link destroys it only
// after its reader thread has exited, so no call is pending then.
class BridgeDevice {
public:
    virtual ~BridgeDevice() = default;

    virtual BridgeResult setBaudRate(int baud) = 0;
    virtual BridgeResult setDataCharacteristics(int dataBits, StopBits stopBits, Parity parity) = 0;
    // Discards what is buffered in both directions.
    virtual BridgeResult purge() = 0;
    // USB transfer sizes in bytes; 0 leaves a direction at the driver's default.
    virtual BridgeResult setUsbParameters(int inTransferSize, int outTransferSize) = 0;
    virtual BridgeResult setRts() = 0;  // raise RTS
    virtual BridgeResult setDtr() = 0;  // raise DTR

    // Blocks until received bytes are waiting, wake() is called, the device is lost or
    // timeoutMs passes (a negative time-out waits without limit). A wake() that comes
    // while nobody waits is kept for the next wait, like an auto-reset event.
    virtual WaitResult waitForData(int timeoutMs) = 0;
    virtual void wake() = 0;
    // Bytes in the receive queue; -1 when the device is lost.
    virtual int bytesWaiting() = 0;
    // Reads up to maxBytes; returns the number read (possibly fewer, possibly 0) or -1
    // when the device is lost.
    virtual int read(unsigned char* buffer, int maxBytes) = 0;
};

class BridgeDriver {
public:
    virtual ~BridgeDriver() = default;

    // Enumerates the attached bridge devices now; indices below the count stay valid until
    // the next call.
    virtual int deviceCount() = 0;
    // The USB description (product string) of device i, as the bridge reports it.
    virtual std::string description(int index) = 0;
    // Where device i is attached (a port path such as /dev/ttyUSB0); for listings only.
    virtual std::string location(int index) = 0;
    // Opens device i; on failure returns nullptr and says why in `result`.
    virtual std::unique_ptr<BridgeDevice> open(int index, BridgeResult& result) = 0;
};

}  // namespace vanta
