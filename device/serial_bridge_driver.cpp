// The serial-port backend of the bridge: the only file of the station that talks to
// Qt SerialPort (QtCore and QtSerialPort only).
//
// Threads. A QSerialPort belongs to the thread that creates it, and it reads its port by
// itself through a socket notifier whenever that thread runs an event loop, as the
// station's user-interface thread does. So the work is split by thread:
//  - on the thread that starts and stops the link: QSerialPortInfo finds the ports, and a
//    QSerialPort opens the port, sets the line (rate, data format) and the modem lines,
//    and closes it. Its read notifier is switched off right after opening, so the port's
//    bytes are never taken by Qt on that thread.
//  - on the reader thread: only the port's file descriptor, which stays valid from open
//    to close: poll() on it and on an eventfd that wake() signals (the stop request),
//    FIONREAD for the queue, read() for the bytes, tcflush() for the purge. No QObject is
//    touched there. The link closes the device only after the reader has exited.
#include "device/serial_bridge_driver.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QList>
#include <QtCore/QSocketNotifier>
#include <QtCore/QString>
#include <QtSerialPort/QSerialPort>
#include <QtSerialPort/QSerialPortInfo>

#include <asm/ioctl.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>

namespace vanta {

namespace {

// The kernel's termios2 (asm/termbits.h cannot be included next to termios.h): it carries
// the line rate as a number, which is how a rate like 625000 is set and read back.
struct KernelTermios2 {
    tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed, c_ospeed;
};
constexpr unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);
constexpr tcflag_t kBaudMask = 0010017;  // CBAUD
constexpr tcflag_t kBaudOther = 0010000;  // BOTHER: the rate is in c_ispeed/c_ospeed

// A UART pair tolerates a few per cent; the bridge's own divisor lands within one.
constexpr double kRateTolerance = 0.02;

std::string text(const QString& s) { return s.toStdString(); }

// The rate the driver really runs the line at, or 0 when it cannot say.
double appliedRate(int fd) {
    KernelTermios2 t2{};
    if (::ioctl(fd, kGetTermios2, &t2) != 0) return 0.0;
    if ((t2.c_cflag & kBaudMask) == kBaudOther) return std::min(t2.c_ispeed, t2.c_ospeed);
    // Older drivers take a custom rate as 38400 baud with a divisor of their base rate.
    serial_struct ss{};
    if ((t2.c_cflag & kBaudMask) == B38400 && ::ioctl(fd, TIOCGSERIAL, &ss) == 0 &&
        (ss.flags & ASYNC_SPD_MASK) == ASYNC_SPD_CUST && ss.custom_divisor > 0)
        return static_cast<double>(ss.baud_base) / ss.custom_divisor;
    const speed_t code = t2.c_cflag & kBaudMask;
    switch (code) {
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B500000: return 500000;
    case B576000: return 576000;
    case B921600: return 921600;
    case B1000000: return 1000000;
    default: return 0.0;
    }
}

class SerialBridgeDevice final : public BridgeDevice {
public:
    SerialBridgeDevice(std::unique_ptr<QSerialPort> port, int fd, int wakeFd, std::string path)
        : port_(std::move(port)), fd_(fd), wakeFd_(wakeFd), path_(std::move(path)) {}
    ~SerialBridgeDevice() override {
        port_->close();
        ::close(wakeFd_);
    }

    BridgeResult setBaudRate(int baud) override {
        if (!port_->setBaudRate(baud))
            return BridgeResult::fail(BridgeError::RateNotApplied, path_ + ": " + text(port_->errorString()));
        // A driver may take the call and still run the line at another rate (or fall back
        // to 9600): the box's frames would then arrive as garbage. Read the rate back.
        const double applied = appliedRate(fd_);
        if (applied <= 0.0)
            return BridgeResult::fail(BridgeError::RateNotApplied, path_ + ": the driver does not say which rate it runs");
        if (std::abs(applied - baud) > kRateTolerance * baud)
            return BridgeResult::fail(BridgeError::RateNotApplied,
                                      path_ + " runs at " + std::to_string(std::lround(applied)) + " baud, not " + std::to_string(baud));
        return {};
    }
    BridgeResult setDataCharacteristics(int dataBits, StopBits stopBits, Parity parity) override {
        const QSerialPort::DataBits bits = dataBits == 7 ? QSerialPort::Data7 : dataBits == 6 ? QSerialPort::Data6
                                         : dataBits == 5 ? QSerialPort::Data5 : QSerialPort::Data8;
        const QSerialPort::Parity p = parity == Parity::Odd ? QSerialPort::OddParity
                                    : parity == Parity::Even ? QSerialPort::EvenParity : QSerialPort::NoParity;
        const bool ok = port_->setDataBits(bits) && port_->setParity(p) &&
                        port_->setStopBits(stopBits == StopBits::Two ? QSerialPort::TwoStop : QSerialPort::OneStop) &&
                        port_->setFlowControl(QSerialPort::NoFlowControl);
        if (!ok) return BridgeResult::fail(BridgeError::IoError, path_ + ": " + text(port_->errorString()));
        return {};
    }
    // Also called by the reader thread: the descriptor, not the QSerialPort.
    BridgeResult purge() override {
        if (::tcflush(fd_, TCIOFLUSH) != 0) return BridgeResult::fail(BridgeError::IoError, path_ + ": " + std::strerror(errno));
        return {};
    }
    // The USB transfer size belongs to the vendor's own driver; the kernel's USB-serial
    // driver sizes its transfers itself and offers no such setting, so there is nothing to do.
    BridgeResult setUsbParameters(int, int) override { return {}; }
    BridgeResult setRts() override { return modemLine(port_->setRequestToSend(true), "RTS"); }
    BridgeResult setDtr() override { return modemLine(port_->setDataTerminalReady(true), "DTR"); }

    WaitResult waitForData(int timeoutMs) override {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
        for (;;) {
            pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
            int wait = -1;
            if (timeoutMs >= 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
                wait = static_cast<int>(std::max<long long>(0, left));
            }
            const int rc = ::poll(fds, 2, wait);
            if (rc < 0) {
                if (errno == EINTR) continue;
                return WaitResult::Lost;
            }
            if (rc == 0) return WaitResult::TimedOut;
            if (fds[1].revents & POLLIN) {
                uint64_t count = 0;
                [[maybe_unused]] const ssize_t n = ::read(wakeFd_, &count, sizeof count);  // resets the event
                return WaitResult::Woken;
            }
            // Hang-up or error: the bridge was unplugged or the port's other side closed.
            // What is still queued is read first; an unplugged port no longer answers the
            // queue status at all.
            if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) return bytesWaiting() > 0 ? WaitResult::DataReady : WaitResult::Lost;
            if (fds[0].revents & POLLIN) return WaitResult::DataReady;
        }
    }
    void wake() override {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
    }
    int bytesWaiting() override {
        int n = 0;
        if (::ioctl(fd_, FIONREAD, &n) != 0) return -1;
        return n;
    }
    int read(unsigned char* buffer, int maxBytes) override {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, static_cast<size_t>(std::max(0, maxBytes)));
            // 0 is no data (the line reads with VMIN 0); a lost port shows in poll().
            if (n >= 0) return static_cast<int>(n);
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return 0;
            return -1;
        }
    }

private:
    BridgeResult modemLine(bool done, const char* line) {
        if (done) return {};
        // A pseudo-terminal or a bridge without modem lines refuses the modem ioctls.
        int status = 0;
        if (::ioctl(fd_, TIOCMGET, &status) != 0 && (errno == ENOTTY || errno == EINVAL))
            return BridgeResult::fail(BridgeError::NotSupported, path_ + " has no modem lines");
        return BridgeResult::fail(BridgeError::IoError, path_ + ": " + line + ": " + text(port_->errorString()));
    }

    std::unique_ptr<QSerialPort> port_;
    int fd_;
    int wakeFd_;
    std::string path_;
};

class SerialBridgeDriver final : public BridgeDriver {
public:
    explicit SerialBridgeDriver(std::optional<std::string> path) : fixedPath_(std::move(path)) {
        // A QSerialPort wants the event dispatcher of a Qt application on its thread (Qt
        // warns on every open without one). A tool that has none gets one for as long as
        // the driver lives; nothing runs its event loop.
        if (!QCoreApplication::instance()) app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    }

    int deviceCount() override {
        ports_.clear();
        if (fixedPath_) {
            ports_.push_back(QSerialPortInfo(QString::fromStdString(*fixedPath_)));
            return 1;
        }
        // Only USB bridges: the built-in serial ports of the machine are no sensor box.
        for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
            if (info.hasVendorIdentifier()) ports_.push_back(info);
        std::sort(ports_.begin(), ports_.end(),
                  [](const QSerialPortInfo& a, const QSerialPortInfo& b) { return a.systemLocation() < b.systemLocation(); });
        return static_cast<int>(ports_.size());
    }
    // QSerialPortInfo's description is the USB product string the bridge reports.
    std::string description(int index) override { return valid(index) ? text(ports_[index].description()) : std::string(); }
    std::string location(int index) override {
        if (!valid(index)) return {};
        return fixedPath_ ? *fixedPath_ : text(ports_[index].systemLocation());
    }

    std::unique_ptr<BridgeDevice> open(int index, BridgeResult& result) override {
        if (!valid(index)) {
            result = BridgeResult::fail(BridgeError::NotFound, "no such bridge");
            return nullptr;
        }
        const std::string path = location(index);
        auto port = std::make_unique<QSerialPort>();
        port->setPortName(QString::fromStdString(path));
        // The station never writes to the box.
        if (!port->open(QIODevice::ReadOnly)) {
            result = openFailure(*port, path);
            return nullptr;
        }
        for (QSocketNotifier* notifier : port->findChildren<QSocketNotifier*>())
            if (notifier->type() == QSocketNotifier::Read) notifier->setEnabled(false);
        const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (wakeFd < 0) {
            result = BridgeResult::fail(BridgeError::OpenFailed, std::string("eventfd: ") + std::strerror(errno));
            port->close();
            return nullptr;
        }
        const int fd = static_cast<int>(port->handle());
        result = {};
        return std::make_unique<SerialBridgeDevice>(std::move(port), fd, wakeFd, path);
    }

private:
    bool valid(int index) const { return index >= 0 && index < static_cast<int>(ports_.size()); }

    static BridgeResult openFailure(const QSerialPort& port, const std::string& path) {
        const std::string why = path + ": " + text(port.errorString());
        switch (port.error()) {
        case QSerialPort::DeviceNotFoundError: return BridgeResult::fail(BridgeError::NotFound, why);
        case QSerialPort::PermissionError:
            // Qt says "permission" both for a port the user may not open and for one that
            // another program holds (its lock file, exclusive mode).
            if (::access(path.c_str(), R_OK) != 0 && errno == EACCES) return BridgeResult::fail(BridgeError::PermissionDenied, why);
            return BridgeResult::fail(BridgeError::Busy, why);
        default: return BridgeResult::fail(BridgeError::OpenFailed, why);
        }
    }

    int argc_ = 1;
    char name_[11] = "vantacheck";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
    std::optional<std::string> fixedPath_;
    QList<QSerialPortInfo> ports_;
};

}  // namespace

std::unique_ptr<BridgeDriver> makeSerialBridgeDriver() { return std::make_unique<SerialBridgeDriver>(std::nullopt); }

std::unique_ptr<BridgeDriver> makeSerialBridgeDriverForPort(const std::string& path) {
    return std::make_unique<SerialBridgeDriver>(path);
}

}  // namespace vanta
