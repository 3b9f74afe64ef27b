#include "cli/serial_and_pdf.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

namespace vanta::cli {

namespace {

char** commandLine = nullptr;

// The folder of the running program, from the kernel: argv[0] may be a bare name found on
// the PATH, or a symbolic link elsewhere.
bool ownFolder(std::string& folder, std::string& whyNot) {
    std::string path(4096, '\0');
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n <= 0 || static_cast<size_t>(n) >= path.size()) {
        whyNot = std::string("/proc/self/exe: ") + (n < 0 ? std::strerror(errno) : "path too long");
        return false;
    }
    path.resize(static_cast<size_t>(n));
    folder = path.substr(0, path.rfind('/') + 1);
    return true;
}

}  // namespace

void keepCommandLine(char** argv) { commandLine = argv; }

void continueInSerialAndPdf() {
    const std::string command = commandLine && commandLine[0] && commandLine[1] ? commandLine[1] : "this command";
    std::string folder, whyNot = "main did not keep its command line";
    if (commandLine && ownFolder(folder, whyNot)) {
        // Beside the tool in a build folder; an installed tool keeps it out of the PATH,
        // in /usr/lib/vantacheck beside /usr/bin.
        std::string program = folder + VANTA_SERIAL_AND_PDF;
        const std::string installed = folder + "../lib/vantacheck/" VANTA_SERIAL_AND_PDF;
        if (access(program.c_str(), X_OK) != 0 && access(installed.c_str(), X_OK) == 0) program = installed;
        // Nothing is printed before a command hands over; should that change, it must not
        // be lost with this process's buffers.
        std::cout.flush();
        std::fflush(nullptr);
        execv(program.c_str(), commandLine);
        whyNot = program + ": " + std::strerror(errno);
    }
    std::cerr << "vantacheck-cli " << command << " needs " VANTA_SERIAL_AND_PDF
                 " (the commands that need Qt: a serial port, the PDF report),\n"
                 "which cannot be started: "
              << whyNot << "\nInstall it in the same folder as vantacheck-cli (or in ../lib/vantacheck beside it)"
              << (command == "report" || command == "profile" || command == "history" ? "." : "; --simulate runs the simulated sensor box without it.") << "\n";
    std::exit(2);
}

int handOverToSerialAndPdf() { continueInSerialAndPdf(); }

}  // namespace vanta::cli
