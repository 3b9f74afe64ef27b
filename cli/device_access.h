// What the device commands share: which box to talk to, the driver for it, and the
// station's way of reporting that it cannot be reached.
#pragma once

#include <memory>
#include <string>

#include "device/acquisition_link.h"
#include "device/bridge_driver.h"

namespace vanta::cli {

// The device options: --port PATH, --simulate, --seed S (and monitor's --samples).
struct DeviceArgs {
    bool simulate = false;
    std::string port;
    long long samples = 1000;
    long long seed = 1;
};

// "Error in communication" and the reason on standard error; exit status 2.
int communicationError(const std::string& reason);

// The link's reason with what the user can do about it.
std::string advice(const LinkStatus& status, const DeviceArgs& args);

// The driver the options ask for, or nullptr with the reason.
std::unique_ptr<BridgeDriver> makeDriver(const DeviceArgs& args, std::string& whyNot);

}  // namespace vanta::cli
