// The station window's resident memory as it opens tests one after another, the way an
// operator does through File > Open: idle, then after each file named on the command line,
// with the peak reached while that file was opened.
//   QT_QPA_PLATFORM=offscreen build/bench/vanta_window_memory FULL.kvq FULL.kvq THREE.kvq
// Linux only: the figures are the kernel's VmRSS and VmHWM, the peak reset between opens.
#include <QAction>
#include <QApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

#include "station/command_ids.h"
#include "tests/app/station_fixture.h"

namespace {

long statusKiB(const std::string& key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(key.size()));
    return -1;
}

void report(const std::string& what) {
    QCoreApplication::processEvents();
    std::printf("%-40s resident %5ld MB   peak %5ld MB\n", what.c_str(), statusKiB("VmRSS:") / 1024,
                statusKiB("VmHWM:") / 1024);
    std::fflush(stdout);
    std::ofstream("/proc/self/clear_refs") << "5";  // the next peak counts from here
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vanta;
    using namespace vanta::testing;
    QApplication qt(argc, argv);
    QTemporaryDir home;
    redirectUserFolders(home);
    StationFixture f;
    f.writeSettings(0);  // Abbreviated: the subject register stays out of the way
    if (!f.start()) {
        std::fprintf(stderr, "the station did not start\n");
        return 2;
    }
    report("idle");
    for (int i = 1; i < argc; ++i) {
        f.dialogs.openAnswers.push_back(std::string(argv[i]));
        f.frame().action(cmd::kFileOpen)->trigger();
        if (!f.dialogs.messages.empty()) {
            std::fprintf(stderr, "%s: %s\n", argv[i], f.dialogs.messages.back().c_str());
            return 2;
        }
        report(std::string("after opening ") + argv[i]);
    }
    return 0;
}
