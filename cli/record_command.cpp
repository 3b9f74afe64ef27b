// vantacheck-cli record: a whole session on the sensor box without a window, through the
// same attempt workflow the measurement screen drives. Labs script sessions with it, and
// the station is tested with it against a serial line.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <iostream>
#include <memory>
#include <thread>

#include "cli/commands.h"
#include "cli/device_access.h"
#include "measure/attempt_session.h"
#include "reports/digital_report.h"
#include "storage/atomic_file.h"
#include "storage/session_journal.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

constexpr auto kTickPeriod = std::chrono::milliseconds(100);
// The tick takes whole hundreds of samples (what the box sends in 100 ms). The tick's
// last sample is processed again by the next tick, so where the ticks fall changes the
// stand-still mean and the angle a little; fixed boundaries make a recording depend on
// the samples alone, and the same seed give the same file.
constexpr int kTickSamples = 100;

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) { interrupted.store(true); }

struct RecordArgs {
    DeviceArgs device;
    long long attempts = 0;
    std::string out;
    float load = 5.0f;
    float radius = 25.0f;
    bool calibrate = false;
    std::string subject;
    double timeoutSeconds = 120.0;
    bool overwrite = false;
};

// A whole decimal number (point as separator) in [min, max]; false for anything else.
bool parseReal(const std::string& text, double min, double max, double& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(v) || v < min || v > max) return false;
    value = v;
    return true;
}

size_t characters(const std::string& utf8) {
    size_t n = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

bool parseRecordArgs(const Args& args, RecordArgs& out, std::string& error) {
    bool haveOut = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        const std::string value = hasValue ? args[i + 1] : std::string();
        double real = 0.0;
        if (a == "--simulate") {
            out.device.simulate = true;
            continue;
        }
        if (a == "--calibrate") {
            out.calibrate = true;
            continue;
        }
        if (a == "--overwrite") {
            out.overwrite = true;
            continue;
        }
        if (a == "--seed") {
            if (!hasValue || !parseInteger(value, 0, 4294967295LL, out.device.seed)) {
                error = "--seed needs a whole number from 0 to 4294967295";
                return false;
            }
        } else if (a == "--port") {
            if (!hasValue || value.empty()) {
                error = "--port needs the path of a serial port, for example /dev/ttyUSB0";
                return false;
            }
            out.device.port = value;
        } else if (a == "--attempts") {
            if (!hasValue || !parseInteger(value, 1, kMaxRepetitions, out.attempts)) {
                error = "--attempts needs a whole number from 1 to 100";
                return false;
            }
        } else if (a == "--out") {
            if (!hasValue || value.empty()) {
                error = "--out needs the test file to write";
                return false;
            }
            out.out = value;
            haveOut = true;
        } else if (a == "--load") {
            if (!hasValue || !parseReal(value, 0.0, 1000.0, real)) {
                error = "--load needs the barbell load in kg, 0 to 1000";
                return false;
            }
            out.load = static_cast<float>(real);
        } else if (a == "--radius") {
            if (!hasValue || !parseReal(value, 0.0, 1000.0, real)) {
                error = "--radius needs the lever radius in cm, 0 to 1000";
                return false;
            }
            out.radius = static_cast<float>(real);
        } else if (a == "--subject") {
            if (!hasValue || characters(value) > 66) {
                error = "--subject needs the subject's name, at most 66 characters";
                return false;
            }
            out.subject = value;
        } else if (a == "--timeout") {
            if (!hasValue || !parseReal(value, 0.1, 86400.0, real)) {
                error = "--timeout needs the seconds an attempt may take, 0.1 to 86400";
                return false;
            }
            out.timeoutSeconds = real;
        } else {
            error = "Unknown option " + a + " (see vantacheck-cli record --help)";
            return false;
        }
        ++i;
    }
    if (out.device.simulate == !out.device.port.empty()) {
        error = "record needs either --port PATH or --simulate";
        return false;
    }
    if (out.attempts == 0 || !haveOut) {
        error = "record needs --attempts N and --out FILE.kvq (see vantacheck-cli record --help)";
        return false;
    }
    return true;
}

const char* phaseText(int phase) {
    switch (phase) {
    case PhaseStandStill: return "stand still and level the bar";
    case PhaseReady: return "ready: rotate at least 40 degrees to one side, then through to the other";
    case PhaseStroke: return "stroke";
    case PhaseTail: return "stroke ended, recording 200 samples more";
    case PhaseStored: return "stored";
    default: return "idle";
    }
}

// Room for the head of a test and a first attempt: a disk without it is full already.
constexpr uint64_t kRoomNeededAtStart = 1 << 20;

// The --out file is checked, and held, before the first attempt: a session must never
// learn at its end that it cannot be saved. `file` stays open (its temporary file locked)
// until the save, so a second record into the same file is refused at once.
bool takeOutput(const RecordArgs& options, AtomicFile& file, std::string& error) {
    const std::string& out = options.out;
    struct stat st {};
    if (::lstat(out.c_str(), &st) == 0 && !options.overwrite) {
        error = out + " exists; record replaces a test only with --overwrite";
        return false;
    }
    if (::stat(out.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        error = out + ": " + std::string(kMsgFileSaveError) + "\n" +
                (S_ISDIR(st.st_mode) ? "it is a folder, not a file" : "it is not a regular file");
        return false;
    }
    if (!file.open(out) || !file.reserve(kRoomNeededAtStart)) {
        error = out + ": " + std::string(kMsgFileSaveError) + "\n" + std::strerror(file.error());
        return false;
    }
    if (file.anotherSaveRunning()) {
        error = out + " is being recorded by another session; choose another --out";
        return false;
    }
    return true;
}

// Where the attempts go when --out cannot take them at the end (the disk filled during the
// session, the folder went): a file of their own in the temporary folder. One place, so
// that the session journal can take this over.
bool keepUnsavedAttempts(TestRecord& test, const std::string& out, std::string& where, std::string& reason) {
    const char* tmp = std::getenv("TMPDIR");
    const std::string folder = tmp && *tmp ? tmp : "/tmp";
    std::string name = out.substr(out.rfind('/') == std::string::npos ? 0 : out.rfind('/') + 1);
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".kvq") == 0) name.resize(name.size() - 4);
    where = folder + "/" + name + ".unsaved-" + std::to_string(::getpid()) + "-" + std::to_string(std::time(nullptr)) + ".kvq";
    std::string message;
    if (writeTestFile(where, test, &message, &reason)) return true;
    reason = message + (reason.empty() ? "" : " (" + reason + ")");
    return false;
}

// A closed terminal or ssh session (SIGHUP) and a closed pipe behind standard error
// (SIGPIPE, as in "record ... 2>&1 | head") end the session as Ctrl+C does: the running
// attempt abandoned, the stored ones saved. Held up to the last message, so that a message
// into a closed pipe cannot kill the save; output that cannot be written is dropped.
class EndingSignals {
public:
    EndingSignals() {
        struct sigaction action = {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        for (size_t k = 0; k < std::size(kSignals); ++k) sigaction(kSignals[k], &action, &previous_[k]);
    }
    ~EndingSignals() {
        for (size_t k = 0; k < std::size(kSignals); ++k) sigaction(kSignals[k], &previous_[k], nullptr);
    }
    EndingSignals(const EndingSignals&) = delete;
    EndingSignals& operator=(const EndingSignals&) = delete;

private:
    static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
    struct sigaction previous_[std::size(kSignals)] = {};
};

int32_t now() { return static_cast<int32_t>(static_cast<int64_t>(std::time(nullptr)) & 0xFFFFFFFF); }

enum class Outcome { Done, Abandoned, TooLong, Lost };

// Runs the ticks of the attempt or calibration that `session` has started, every 100 ms,
// until it ends, Ctrl+C comes or `deadline` passes (then it is abandoned as BACK does).
// A stored attempt whose stream was doubtful leaves the warning in `warning`; `onStored`
// runs as soon as the stroke is stored, before anything is printed about it.
Outcome runTicks(AttemptSession& session, const std::string& label, std::chrono::steady_clock::time_point deadline,
                 std::string* warning = nullptr, const std::function<void()>& onStored = {}) {
    int shownPhase = -1;
    auto next = std::chrono::steady_clock::now();
    for (;;) {
        // One tick per whole hundred samples stored; when the store is full, the rest.
        for (;;) {
            const bool full = session.control().isFull();
            const int stored = session.control().storedCount();
            const bool chunk = stored - session.lastTickCount() >= kTickSamples;
            const TickReport r = session.tick(full ? -1 : chunk ? session.lastTickCount() + kTickSamples : session.lastTickCount(),
                                              std::chrono::steady_clock::now());
            if (warning) *warning = r.warning;
            if (onStored && (r.event == TickEvent::Stored || r.event == TickEvent::CalibrationDone)) onStored();
            if (r.frame.phaseNow != shownPhase && r.event != TickEvent::None) {
                shownPhase = r.frame.phaseNow;
                std::cerr << label << ": " << phaseText(shownPhase) << "\n";
            }
            switch (r.event) {
            case TickEvent::Stored:
            case TickEvent::CalibrationDone: return Outcome::Done;
            case TickEvent::TooLong: return Outcome::TooLong;
            case TickEvent::CommunicationLost: return Outcome::Lost;
            case TickEvent::None: return Outcome::Abandoned;
            case TickEvent::Running: break;
            }
            if (full || !chunk) break;
        }
        next += kTickPeriod;
        while (std::chrono::steady_clock::now() < next) {
            if (interrupted.load() || std::chrono::steady_clock::now() > deadline) {
                session.back();
                return Outcome::Abandoned;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

void printPeaks(const TestRecord& test, int r, const std::string& label) {
    const RepetitionResults& res = test.results[r];
    std::cerr << label << " stored: " << test.repetitions[r].sampleCount << " samples";
    for (int c = 0; c < kResultColumnCount; ++c) {
        if (c == static_cast<int>(ResultColumn::Position)) continue;  // its peak row is never shown
        std::cerr << ", " << kPeakRowLabels[static_cast<size_t>(c)] << " "
                  << formatReportValue(res.value[PeakAll][c]);
    }
    std::cerr << "\n";
}

int runRecord(const Args& args) {
    RecordArgs options;
    std::string error;
    if (!parseRecordArgs(args, options, error)) return fail(error);
    AtomicFile output;
    if (!takeOutput(options, output, error)) return fail(error);
    std::string whyNot;
    std::unique_ptr<BridgeDriver> driver = makeDriver(options.device, whyNot);
    if (!driver) return communicationError(whyNot);

    LinkOptions linkOptions;
    if (!options.device.port.empty()) {
        // The user named the port: read it whatever it is, even without modem lines.
        linkOptions.selection = DeviceSelection::FirstDevice;
        linkOptions.allowMissingModemLines = true;
    }
    AcquisitionLink link(*driver, linkOptions);
    auto test = std::make_unique<TestRecord>();
    test->subject.name = options.subject;
    AttemptSession session(*test, link);
    session.newTest();
    // Each stored attempt goes to a journal beside the test file at once, so a killed run
    // loses none of them (vantacheck-cli recover); it goes after the final save.
    const size_t slash = options.out.rfind('/');
    SessionJournal journal(slash == std::string::npos ? "." : slash == 0 ? "/" : options.out.substr(0, slash));
    auto journalled = [&](bool ok) {
        if (!ok && journal.takeWarning())
            std::cerr << "Warning: the attempts are not protected against a crash: " << journal.path() << ": "
                      << std::strerror(journal.error()) << "\n";
    };

    interrupted.store(false);
    const EndingSignals endingSignals;

    const auto timeout = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(options.timeoutSeconds));
    int status = 0;
    auto startFailed = [&]() {
        communicationError(advice(link.lastStatus(), options.device));
        status = 2;
    };
    bool warned = false;
    auto started = [&]() {
        if (warned || !link.modemLinesMissing()) return;
        warned = true;
        std::cerr << "Warning: " << options.device.port
                  << " has no modem lines (RTS and DTR cannot be raised); reading it all the same.\n";
    };

    if (options.calibrate) {
        session.prepareCalibration();
        if (session.startCalibration(now()) != StartResult::Started) {
            startFailed();
        } else {
            started();
            const Outcome o = runTicks(session, "calibration", std::chrono::steady_clock::now() + timeout, nullptr,
                                       [&] { journalled(journal.calibrated(*test)); });
            if (o == Outcome::Done) {
                const float* off = test->repetitions[0].channelOffset;
                std::cerr << "Calibration is done: offsets " << off[AccelX] << " " << off[AccelY] << " " << off[AccelZ]
                          << " (acceleration), " << off[RateY] << " (rate)\n";
            } else {
                status = 2;
                if (o == Outcome::Lost) communicationError(session.failureReason());
                else if (o == Outcome::TooLong) std::cerr << kMsgCalibrationTooLong << "\n";
                else std::cerr << "calibration abandoned\n";
            }
        }
    }

    for (int a = 0; status == 0 && a < options.attempts; ++a) {
        const std::string label = "attempt " + std::to_string(a + 1) + "/" + std::to_string(options.attempts);
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (session.startAttempt(options.load, options.radius, now()) != StartResult::Started) {
                startFailed();
                break;
            }
            started();
            std::string warning;
            const Outcome o = runTicks(session, label, deadline, &warning,
                                       [&] { journalled(journal.attemptStored(*test)); });
            if (o == Outcome::Done) {
                printPeaks(*test, test->repetitionCount - 1, label);
                // Kept all the same: the operator decides, as IGNORE on the screen.
                if (!warning.empty()) std::cerr << label << ": Warning: " << warning << "\n";
                break;
            }
            if (o == Outcome::TooLong && std::chrono::steady_clock::now() < deadline && !interrupted.load()) {
                std::cerr << label << ": " << kMsgAttemptTooLong << " Starting it again.\n";
                continue;
            }
            status = 2;
            if (o == Outcome::Lost) communicationError(session.failureReason());
            else if (o == Outcome::TooLong) std::cerr << label << ": " << kMsgAttemptTooLong << "\n";
            else std::cerr << label << (interrupted.load() ? ": interrupted, abandoned as BACK\n" : ": no stroke within the time-out, abandoned as BACK\n");
            break;
        }
    }
    session.exit();

    if (test->repetitionCount == 0) {
        journal.close(true);
        std::cerr << "Nothing recorded: " << options.out << " was not written.\n";
        return 2;
    }
    std::string message, reason;
    if (!writeTestFile(output, options.out, *test, &message, &reason)) {
        fail(options.out + ": " + message + (message == kMsgFileSaveError ? "\n" + reason : ""));
        if (journal.isOpen())
            std::cerr << "The attempts stay in " << journal.path() << " (vantacheck-cli recover).\n";
        journal.close(false);
        std::string where, why;
        const int n = test->repetitionCount;
        const std::string attempts = n == 1 ? "The attempt" : "The " + std::to_string(n) + " attempts";
        if (keepUnsavedAttempts(*test, options.out, where, why))
            std::cerr << attempts << (n == 1 ? " is" : " are") << " kept in " << where << "\n";
        else
            std::cerr << attempts << " could not be kept in " << where << " either: " << why << "\n";
        return 2;
    }
    journal.close(true);
    std::cerr << test->repetitionCount << (test->repetitionCount == 1 ? " attempt" : " attempts") << " saved to "
              << options.out << "\n";
    return status;
}

}  // namespace

const std::vector<Command>& recordCommands() {
    static const std::vector<Command> commands = {
        {"record", "record (--port PATH | --simulate) --attempts N --out FILE.kvq   a session on the sensor box",
         "Usage: vantacheck-cli record (--port PATH | --simulate [--seed S]) --attempts N --out FILE.kvq\n"
         "                             [--overwrite] [--load KG] [--radius CM] [--calibrate] [--subject NAME]\n"
         "                             [--timeout S]\n"
         "Records N attempts as the measurement screen does: for each, the subject stands still with\n"
         "the bar level, rotates at least 40 degrees to one side and strokes through to the other;\n"
         "the station cuts the stroke, analyses it and keeps it. Each phase change and each stored\n"
         "attempt's peak values go to standard error; the test is saved at the end (atomically).\n"
         "  --port PATH     the serial port of the box (a pseudo-terminal is read with a warning)\n"
         "  --simulate      the simulated sensor box; --seed S picks its subject (default 1)\n"
         "  --attempts N    1..100 attempts to store\n"
         "  --out FILE      the test file to write; checked before the first attempt, and held so\n"
         "                  that a second record into it is refused while this one runs\n"
         "  --overwrite     replace FILE when it exists (without it an existing file is refused)\n"
         "  --load KG       barbell load (default 5), --radius CM lever radius (default 25)\n"
         "  --calibrate     calibrate first: the bar held still and level for one second\n"
         "  --subject NAME  the subject's name in the file\n"
         "  --timeout S     seconds an attempt may take (default 120); an attempt whose stroke fills\n"
         "                  the one-minute store is started again within that time\n"
         "Ctrl+C, SIGTERM, SIGHUP (the terminal closed), SIGPIPE (the pipe behind standard error\n"
         "closed) or the time-out abandons the running attempt as BACK does; the stored attempts\n"
         "are still saved and the exit status is 2. When FILE cannot be written at the end, the\n"
         "attempts go to a file in the temporary folder ($TMPDIR or /tmp), which is named.\n"
         "Bytes that form no frame for 5 seconds end the session with the reason; an attempt\n"
         "whose samples did not come at 1000 a second (within 5 %), or paused for more than\n"
         "50 ms during the stroke, is kept with a warning. Exit status 0 when all N attempts\n"
         "were stored.\n"
         "The samples go to the detection in steps of exactly 100, so one recording always gives\n"
         "the same result (the simulated box with one seed gives the same file but its test time).\n",
         runRecord},
    };
    return commands;
}

}  // namespace vanta::cli
