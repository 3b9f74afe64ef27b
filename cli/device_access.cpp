#include "cli/device_access.h"

#include <iostream>

#include "device/simulated_sensor_box.h"
#ifdef VANTA_HAVE_SERIAL_BACKEND
#include "device/serial_bridge_driver.h"
#elif defined(VANTA_SERIAL_AND_PDF)
#include "cli/serial_and_pdf.h"
#endif

namespace vanta::cli {

int communicationError(const std::string& reason) {
    std::cerr << "Error in communication\n" << reason << "\n";
    return 2;
}

std::string advice(const LinkStatus& status, const DeviceArgs& args) {
    const std::string reason = linkFailureText(status);
    switch (status.failure) {
    case LinkFailure::NotFound:
        if (!args.port.empty()) return reason;
        return reason + ": no serial bridge described \"Kavelvanta\" is attached.\n"
                        "Check the USB cable; vantacheck-cli probe lists the bridges the machine sees.";
    case LinkFailure::PermissionDenied:
        return reason + ".\n"
                        "Add your user to the dialout group (sudo usermod -aG dialout $USER, then log out and in\n"
                        "again) and install the station's udev rule, which gives the sensor box to that group:\n"
                        "  sudo cp packaging/99-kavelvanta.rules /etc/udev/rules.d/\n"
                        "  sudo udevadm control --reload && sudo udevadm trigger\n"
                        "See docs/connecting-the-sensor-box.md.";
    case LinkFailure::Busy: return reason + ".\nClose the other program (a running station, a terminal program) and try again.";
    case LinkFailure::RateNotApplied:
        return reason + ".\nThe bridge or its kernel driver cannot run the line at 625000 baud, and at any other rate the\n"
                        "box's frames arrive as garbage.";
    default: return reason;
    }
}

std::unique_ptr<BridgeDriver> makeDriver(const DeviceArgs& args, std::string& whyNot) {
    if (args.simulate) {
        SimulationOptions o;
        o.seed = static_cast<uint64_t>(args.seed);
        return std::make_unique<SimulatedSensorBox>(o);
    }
#ifdef VANTA_HAVE_SERIAL_BACKEND
    (void)whyNot;
    if (!args.port.empty()) return makeSerialBridgeDriverForPort(args.port);
    return makeSerialBridgeDriver();
#elif defined(VANTA_SERIAL_AND_PDF)
    // A real port needs Qt's serial port: the command runs again, from its first word, in
    // the program that has it. Nothing has been printed or opened yet.
    (void)whyNot;
    continueInSerialAndPdf();
#else
    whyNot = "the serial backend is not built into this vantacheck-cli (it was built without Qt);\n"
             "use --simulate for the simulated sensor box";
    return nullptr;
#endif
}

}  // namespace vanta::cli
