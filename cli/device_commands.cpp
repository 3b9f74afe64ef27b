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

// The words probe and monitor share; monitor alone takes --port and --samples.
void declareDeviceWords(Command& command, DeviceArgs& out, bool monitor) {
    if (monitor)
        command.text("--port", out.port, "PATH",
                     "read this serial port instead of looking for the box by its description;\n"
                     "a port without modem lines (a pseudo-terminal) is read with a warning",
                     "--port needs the path of a serial port, for example /dev/ttyUSB0");
    command.flag("--simulate", out.simulate,
                 monitor ? "the simulated sensor box: one attempt of a plausible subject"
                         : "look at the simulated sensor box instead");
    command.integer("--seed", out.seed, 0, 4294967295LL, "S",
                    "the simulated subject (default 1); the same seed gives the same samples",
                    "--seed needs a whole number from 0 to 4294967295");
    if (monitor)
        command.integer("--samples", out.samples, 1, kMaxSamples, "N", "1..60000 samples (default 1000, one second)",
                        "--samples needs a whole number from 1 to 60000");
}

int runProbe(const DeviceArgs& options) {
    std::string whyNot;
    std::unique_ptr<BridgeDriver> driver = makeDriver(options, whyNot);
    if (!driver) return communicationError(whyNot);

    const int n = driver->deviceCount();
    std::string out = n == 0 ? "No serial bridge found.\n" : "Serial bridges:\n";
    int box = -1;
    for (int i = 0; i < n; ++i) {
        const std::string description = driver->description(i);
        const bool isBox = description == kDeviceDescription;
        if (isBox && box < 0) box = i;
        out += "  " + driver->location(i) + "  " +
               (description.empty() ? std::string("(no description)") : "\"" + description + "\"") +
               (isBox ? "  sensor box" : "") + "\n";
    }
    AcquisitionLink link(*driver);
    if (!link.probeDevice() || box < 0) {
        out += "No sensor box attached (it shows as a bridge described \"Kavelvanta\").\n";
        return writeStandardOutput(out) != 0 ? 2 : 1;
    }
    return writeStandardOutput(out + "Sensor box attached: " + driver->location(box) + "\n");
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

int runMonitor(const DeviceArgs& options) {
    if (options.simulate && !options.port.empty()) return fail("--port and --simulate exclude each other");
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

void addDeviceCommands(CommandLine& line) {
    auto probe = std::make_shared<DeviceArgs>();
    Command probeCommand = line.add(
        "probe", "list the serial bridges and look for the sensor box",
        "Lists the USB serial bridges the machine sees, with their descriptions, and says whether\n"
        "the sensor box (a bridge described \"Kavelvanta\") is attached. Exit status 0 when it\n"
        "is, 1 when it is not.\n");
    declareDeviceWords(probeCommand, *probe, false);
    probeCommand.runs([probe] { return runProbe(*probe); });

    auto monitor = std::make_shared<DeviceArgs>();
    Command monitorCommand = line.add(
        "monitor", "the box's samples as CSV",
        "Starts the link as START does on the station (the first complete frame is skipped) and\n"
        "prints the samples as they arrive: the header acc_x,acc_y,acc_z,rate_x,rate_y,rate_z,\n"
        "then one row of raw counts per sample (channels 0..5). Stops after N samples.\n"
        "Failures print \"Error in communication\" and the reason on standard error (exit status 2).\n");
    declareDeviceWords(monitorCommand, *monitor, true);
    monitorCommand.runs([monitor] { return runMonitor(*monitor); });
}

}  // namespace vanta::cli
