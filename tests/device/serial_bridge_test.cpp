// The serial-port backend end to end on a pseudo-terminal pair: the test writes a box's
// byte stream into the master side, the link reads the slave side through Qt SerialPort.
#include <gtest/gtest.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QEventLoop>

#include <asm/ioctl.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "device/acquisition_link.h"
#include "device/serial_bridge_driver.h"
#include "link_test_support.h"

namespace vanta {
namespace {

using namespace std::chrono_literals;
using test::eventually;

class PseudoTerminal {
public:
    PseudoTerminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        char name[128] = {};
        if (::ptsname_r(master_, name, sizeof name) == 0) slave_ = name;
    }
    ~PseudoTerminal() { closeMaster(); }
    bool ok() const { return master_ >= 0 && !slave_.empty(); }
    const std::string& slave() const { return slave_; }
    int master() const { return master_; }
    void closeMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }
    // The line rate of the slave side as the kernel holds it.
    unsigned slaveRate() const {
        struct T2 {
            tcflag_t i, o, c, l;
            cc_t line, cc[19];
            speed_t ispeed, ospeed;
        } t2{};
        return ::ioctl(master_, _IOR('T', 0x2A, T2), &t2) == 0 ? t2.ospeed : 0;
    }

private:
    int master_ = -1;
    std::string slave_;
};

// Writes test frames seq, seq+1, ... into the master side, about 15 frames a millisecond,
// until stopped.
class BoxStream {
public:
    explicit BoxStream(int fd) : thread_([this, fd] { run(fd); }) {}
    ~BoxStream() { stop(); }
    void stop() {
        stop_.store(true);
        if (thread_.joinable()) thread_.join();
    }

private:
    void run(int fd) {
        int seq = 0;
        while (!stop_.load()) {
            const std::vector<uint8_t> burst = test::frames(seq, 15);
            seq += 15;
            size_t done = 0;
            while (done < burst.size()) {
                const ssize_t n = ::write(fd, burst.data() + done, burst.size() - done);
                if (n <= 0) return;
                done += static_cast<size_t>(n);
            }
            std::this_thread::sleep_for(1ms);
        }
    }
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

LinkOptions namedPort(bool allowMissingModemLines = true) {
    LinkOptions o;
    o.selection = DeviceSelection::FirstDevice;
    o.allowMissingModemLines = allowMissingModemLines;
    return o;
}

// Stored samples 0..count-1 are consecutive test frames: no frame lost, doubled or altered.
::testing::AssertionResult consecutive(const AcquisitionControl& control, int count) {
    const int first = control.store[AccelX][0];  // channel 0 carries the frame number
    for (int i = 0; i < count; ++i) {
        int16_t ch[6];
        test::channelsOf(first + i, ch);
        for (int c = 0; c < kChannelCount; ++c)
            if (control.store[c][i] != ch[c])
                return ::testing::AssertionFailure() << "sample " << i << " channel " << c << " is " << control.store[c][i]
                                                     << ", frame " << first + i << " has " << ch[c];
    }
    return ::testing::AssertionSuccess();
}

class SerialBridgeTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!pty.ok()) GTEST_SKIP() << "this machine offers no pseudo-terminal";
        rep = std::make_unique<RepetitionRecord>();
        control.prepare(*rep);
    }
    PseudoTerminal pty;
    std::unique_ptr<RepetitionRecord> rep;
    AcquisitionControl control;
};

TEST_F(SerialBridgeTest, StreamsThePortIntoTheStoreAt625000Baud) {
    AcquisitionLink link(makeSerialBridgeDriverForPort(pty.slave()), namedPort());
    ASSERT_TRUE(link.startAcquisition(control)) << linkFailureText(link.lastStatus());
    EXPECT_EQ(pty.slaveRate(), 625000u);
    EXPECT_TRUE(link.modemLinesMissing()) << "a pseudo-terminal has no modem lines";
    BoxStream box(pty.master());
    ASSERT_TRUE(eventually([&] { return control.storedCount() >= 3000; }));
    box.stop();
    link.stopAcquisition();
    EXPECT_TRUE(consecutive(control, control.storedCount()));
    EXPECT_FALSE(link.deviceLost());
}

TEST_F(SerialBridgeTest, APortWithoutModemLinesIsRefusedForTheStation) {
    AcquisitionLink strict(makeSerialBridgeDriverForPort(pty.slave()), namedPort(false));
    EXPECT_FALSE(strict.startAcquisition(control));
    EXPECT_EQ(strict.lastStatus().failure, LinkFailure::ConfigurationFailed);
    EXPECT_NE(strict.lastStatus().detail.find("no modem lines"), std::string::npos) << strict.lastStatus().detail;
    // The refused start closed the port again: it can be opened at once.
    AcquisitionLink link(makeSerialBridgeDriverForPort(pty.slave()), namedPort());
    EXPECT_TRUE(link.startAcquisition(control)) << linkFailureText(link.lastStatus());
}

TEST_F(SerialBridgeTest, TheUserInterfacesEventLoopTakesNoBytesFromTheReader) {
    // The station's user-interface thread runs an event loop while the reader reads; the
    // port was opened on it.
    int argc = 1;
    char name[] = "vanta_serial_bridge_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    AcquisitionLink link(makeSerialBridgeDriverForPort(pty.slave()), namedPort());
    ASSERT_TRUE(link.startAcquisition(control)) << linkFailureText(link.lastStatus());
    BoxStream box(pty.master());
    ASSERT_TRUE(eventually([&] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return control.storedCount() >= 3000;
    }));
    box.stop();
    link.stopAcquisition();
    EXPECT_TRUE(consecutive(control, control.storedCount()));
}

TEST_F(SerialBridgeTest, AVanishingPortEndsTheReaderAndStopStillCompletes) {
    LinkOptions options = namedPort();
    options.waitBoundMs = -1;  // the hang-up itself must end the wait
    AcquisitionLink link(makeSerialBridgeDriverForPort(pty.slave()), options);
    ASSERT_TRUE(link.startAcquisition(control)) << linkFailureText(link.lastStatus());
    {
        BoxStream box(pty.master());
        ASSERT_TRUE(eventually([&] { return control.storedCount() >= 100; }));
    }
    pty.closeMaster();
    ASSERT_TRUE(eventually([&] { return link.deviceLost(); }));
    EXPECT_EQ(link.lastStatus().failure, LinkFailure::DeviceLost);
    auto stopped = std::async(std::launch::async, [&] { link.stopAcquisition(); });
    EXPECT_EQ(stopped.wait_for(20s), std::future_status::ready);
    EXPECT_TRUE(consecutive(control, control.storedCount()));
}

TEST_F(SerialBridgeTest, StopWakesAReaderOnASilentPort) {
    LinkOptions options = namedPort();
    options.waitBoundMs = -1;
    AcquisitionLink link(makeSerialBridgeDriverForPort(pty.slave()), options);
    ASSERT_TRUE(link.startAcquisition(control)) << linkFailureText(link.lastStatus());
    auto stopped = std::async(std::launch::async, [&] { link.stopAcquisition(); });
    EXPECT_EQ(stopped.wait_for(20s), std::future_status::ready);
    EXPECT_FALSE(link.linkActive());
}

TEST_F(SerialBridgeTest, AMissingPortIsNotFound) {
    AcquisitionLink link(makeSerialBridgeDriverForPort("/dev/kavelvanta-does-not-exist"), namedPort());
    EXPECT_FALSE(link.startAcquisition(control));
    EXPECT_EQ(link.lastStatus().failure, LinkFailure::NotFound);
    EXPECT_NE(linkFailureText(link.lastStatus()).find("kavelvanta-does-not-exist"), std::string::npos);
}

}  // namespace
}  // namespace vanta
