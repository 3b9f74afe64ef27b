// The commands for checking a sensor box in the lab: probe and monitor.
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "cli/commands.h"
#include "cli/device_access.h"
#include "device/acquisition_link.h"

namespace vanta::cli {

namespace {

// Without a new sample for this long, monitor gives up on a silent box.
// Parses the options common to probe and monitor; false with a message on a bad one.
bool parseDeviceArgs(const Args& args, bool monitor, DeviceArgs& out, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--simulate") {
            out.simulate = true;
        } else if (a == "--seed") {
            if (!hasValue || !parseInteger(args[i + 1], 0, 4294967295LL, out.seed)) {
                error = "--seed needs a whole number from 0 to 4294967295";
                return false;
            }
            ++i;
        } else if (monitor && a == "--port") {
            if (!hasValue || args[i + 1].empty()) {
                error = "--port needs the path of a serial port, for example /dev/ttyUSB0";
                return false;
            }
            out.port = args[++i];
        } else if (monitor && a == "--samples") {
            if (!hasValue || !parseInteger(args[i + 1], 1, kMaxSamples, out.samples)) {
                error = "--samples needs a whole number from 1 to 60000";
                return false;
            }
            ++i;
        } else {
            error = "Unknown option " + a + (monitor ? " (see vantacheck-cli monitor --help)" : " (see vantacheck-cli probe --help)");
            return false;
        }
    }
    if (out.simulate && !out.port.empty()) {
        error = "--port and --simulate exclude each other";
        return false;
    }
    return true;
}

int runProbe(const Args& args) {
    DeviceArgs options;
    std::string error;
    if (!parseDeviceArgs(args, false, options, error)) return fail(error);
    std::string whyNot;
    std::unique_ptr<BridgeDriver> driver = makeDriver(options, whyNot);
    if (!driver) return communicationError(whyNot);

    const int n = driver->deviceCount();
    if (n == 0) std::cout << "No serial bridge found.\n";
    else std::cout << "Serial bridges:\n";
    int box = -1;
    for (int i = 0; i < n; ++i) {
        const std::string description = driver->description(i);
        const bool isBox = description == kDeviceDescription;
        if (isBox && box < 0) box = i;
        std::cout << "  " << driver->location(i) << "  "
                  << (description.empty() ? std::string("(no description)") : "\"" + description + "\"")
                  << (isBox ? "  sensor box" : "") << "\n";
    }
    AcquisitionLink link(*driver);
    if (!link.probeDevice() || box < 0) {
        std::cout << "No sensor box attached (it shows as a bridge described \"Kavelvanta\").\n";
        return 1;
    }
    std::cout << "Sensor box attached: " << driver->location(box) << "\n";
    return 0;
}

// The rows from..to-1 on standard output: 0, or 2 with the reason when they cannot go out.
int printRows(const AcquisitionControl& control, int from, int to) {
    std::string rows;
    char line[96];
    for (int i = from; i < to; ++i) {
        const int len = std::snprintf(line, sizeof line, "%d,%d,%d,%d,%d,%d\n", control.store[0][i], control.store[1][i],
                                      control.store[2][i], control.store[3][i], control.store[4][i], control.store[5][i]);
        rows.append(line, static_cast<size_t>(len));
    }
    return writeStandardOutput(rows);
}

int runMonitor(const Args& args) {
    DeviceArgs options;
    std::string error;
    if (!parseDeviceArgs(args, true, options, error)) return fail(error);
    std::string whyNot;
    std::unique_ptr<BridgeDriver> driver = makeDriver(options, whyNot);
    if (!driver) return communicationError(whyNot);

    LinkOptions linkOptions;
    if (!options.port.empty()) {
        // The user named the port: read it whatever it is, even without modem lines.
        linkOptions.selection = DeviceSelection::FirstDevice;
        linkOptions.allowMissingModemLines = true;
    }
    AcquisitionLink link(*driver, linkOptions);
    auto rep = std::make_unique<RepetitionRecord>();
    AcquisitionControl control;
    control.prepare(*rep);
    // Store exactly the samples asked for, through the station's own sink.
    const int wanted = static_cast<int>(options.samples);
    control.switchToTail(wanted);
    if (!link.startAcquisition(control)) return communicationError(advice(link.lastStatus(), options));
    if (link.modemLinesMissing())
        std::cerr << "Warning: " << options.port << " has no modem lines (RTS and DTR cannot be raised); reading it all the same.\n";

    if (writeStandardOutput("acc_x,acc_y,acc_z,rate_x,rate_y,rate_z\n") != 0) {
        link.stopAcquisition();
        return 2;
    }
    int printed = 0;
    auto lastNews = std::chrono::steady_clock::now();
    uint64_t bytesAtNews = 0;
    for (;;) {
        // The count first, then only the samples below it: the reader writes above it.
        const int stored = control.storedCount();
        if (stored > printed) {
            if (printRows(control, printed, stored) != 0) {
                link.stopAcquisition();
                return 2;
            }
            printed = stored;
            lastNews = std::chrono::steady_clock::now();
            bytesAtNews = link.statistics().bytesRead;
        }
        if (printed >= wanted) break;
        if (link.deviceLost()) {
            const LinkStatus status = link.lastStatus();
            link.stopAcquisition();
            (void)printRows(control, printed, control.storedCount());  // the lost link is the error told
            return communicationError(linkFailureText(status) + " after " + std::to_string(control.storedCount()) + " samples");
        }
        if (std::chrono::steady_clock::now() - lastNews > kFramelessLimit) {
            // Bytes without frames are not a silent box: the line runs at another rate than
            // the box's, or something else is on the port.
            const uint64_t bytes = link.statistics().bytesRead - bytesAtNews;
            link.stopAcquisition();
            return communicationError(framelessText(bytes, printed));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    link.stopAcquisition();
    return 0;
}

}  // namespace

const std::vector<Command>& deviceCommands() {
    static const std::vector<Command> commands = {
        {"probe", "probe [--simulate]   list the serial bridges and look for the sensor box",
         "Usage: vantacheck-cli probe [--simulate [--seed S]]\n"
         "Lists the USB serial bridges the machine sees, with their descriptions, and says whether\n"
         "the sensor box (a bridge described \"Kavelvanta\") is attached. Exit status 0 when it\n"
         "is, 1 when it is not. --simulate looks at the simulated sensor box instead.\n",
         runProbe},
        {"monitor", "monitor [--port PATH | --simulate] [--samples N]   the box's samples as CSV",
         "Usage: vantacheck-cli monitor [--port PATH | --simulate [--seed S]] [--samples N]\n"
         "Starts the link as START does on the station (the first complete frame is skipped) and\n"
         "prints the samples as they arrive: the header acc_x,acc_y,acc_z,rate_x,rate_y,rate_z,\n"
         "then one row of raw counts per sample (channels 0..5). Stops after N samples.\n"
         "  --port PATH   read this serial port instead of looking for the box by its description;\n"
         "                a port without modem lines (a pseudo-terminal) is read with a warning\n"
         "  --simulate    the simulated sensor box: one attempt of a plausible subject\n"
         "  --seed S      the simulated subject (default 1); the same seed gives the same samples\n"
         "  --samples N   1..60000 samples (default 1000, one second)\n"
         "Failures print \"Error in communication\" and the reason on standard error (exit status 2).\n",
         runMonitor},
    };
    return commands;
}

}  // namespace vanta::cli
