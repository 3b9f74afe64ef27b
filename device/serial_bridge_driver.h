// The real sensor box: the kernel's USB-serial driver shows its bridge as a serial port,
// and Qt SerialPort finds and configures it. Built only with Qt; this header itself is
// plain C++ so that callers need no Qt headers.
#pragma once

#include <memory>
#include <string>

#include "device/bridge_driver.h"

namespace vanta {

// Every USB serial port of the machine, described by its USB product string.
std::unique_ptr<BridgeDriver> makeSerialBridgeDriver();

// Only the port at `path` (for example /dev/ttyUSB0, or a pseudo-terminal), whatever it
// is; it counts as attached even when it does not exist, so that opening it says why.
std::unique_ptr<BridgeDriver> makeSerialBridgeDriverForPort(const std::string& path);

}  // namespace vanta
