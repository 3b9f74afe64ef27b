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

// The words of record; --port and --simulate are checked against each other by the body.
void declareRecordWords(Command& command, RecordArgs& out) {
    command.text("--port", out.device.port, "PATH", "the serial port of the box (a pseudo-terminal is read with a warning)",
                 "--port needs the path of a serial port, for example /dev/ttyUSB0");
    command.flag("--simulate", out.device.simulate, "the simulated sensor box; --seed S picks its subject (default 1)");
    command.integer("--seed", out.device.seed, 0, 4294967295LL, "S", "the simulated subject (default 1)",
                    "--seed needs a whole number from 0 to 4294967295");
    command.integer("--attempts", out.attempts, 1, kMaxRepetitions, "N", "1..100 attempts to store",
                    "--attempts needs a whole number from 1 to 100")
        .required();
    command.text("--out", out.out, "FILE.kvq",
                 "the test file to write; checked before the first attempt, and held so\n"
                 "that a second record into it is refused while this one runs",
                 "--out needs the test file to write")
        .required();
    command.flag("--overwrite", out.overwrite, "replace FILE when it exists (without it an existing file is refused)");
    command.value("--load", "KG", "barbell load (default 5)", "--load needs the barbell load in kg, 0 to 1000",
                  [&out](const std::string& t) {
                      double real = 0.0;
                      if (!parseReal(t, 0.0, 1000.0, real)) return false;
                      out.load = static_cast<float>(real);
                      return true;
                  });
    command.value("--radius", "CM", "lever radius (default 25)", "--radius needs the lever radius in cm, 0 to 1000",
                  [&out](const std::string& t) {
                      double real = 0.0;
                      if (!parseReal(t, 0.0, 1000.0, real)) return false;
                      out.radius = static_cast<float>(real);
                      return true;
                  });
    command.flag("--calibrate", out.calibrate, "calibrate first: the bar held still and level for one second");
    command.value("--subject", "NAME", "the subject's name in the file",
                  "--subject needs the subject's name, at most 66 characters", [&out](const std::string& t) {
                      if (characters(t) > 66) return false;
                      out.subject = t;
                      return true;
                  });
    command.value("--timeout", "S",
                  "seconds an attempt may take (default 120); an attempt whose stroke fills\n"
                  "the one-minute store is started again within that time",
                  "--timeout needs the seconds an attempt may take, 0.1 to 86400", [&out](const std::string& t) {
                      return parseReal(t, 0.1, 86400.0, out.timeoutSeconds);
                  });
    command.incomplete("record needs --attempts N and --out FILE.kvq (see vantacheck-cli record --help)");
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
// session, the folder went): a file of their own in the temporary folder.
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

// One session while it runs: the test, the attempt workflow over the link, the journal
// beside the test file, and what the steps tell the operator on standard error.
class Recording {
public:
    Recording(const RecordArgs& options, AcquisitionLink& link)
        : options_(options), link_(link), test_(std::make_unique<TestRecord>()), session_(*test_, link),
          // Each stored attempt goes to a journal beside the test file at once, so a killed
          // run loses none of them (vantacheck-cli recover); it goes after the final save.
          journal_(folderOf(options.out)) {
        test_->subject.name = options.subject;
        session_.newTest();
        timeout_ = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(options.timeoutSeconds));
    }

    // One second of stillness for the offsets; 0, or 2 with the reason told.
    int calibrate();
    // The N attempts, each within the time-out; 0, or 2 once one could not be stored.
    int recordAttempts();
    // The final save into the file held since the start; `status` is what the steps before
    // ended with. A save that fails keeps the attempts in the journal and a file of their own.
    int save(AtomicFile& output, int status);

private:
    static std::string folderOf(const std::string& out) {
        const size_t slash = out.rfind('/');
        return slash == std::string::npos ? "." : slash == 0 ? "/" : out.substr(0, slash);
    }
    void journalled(bool ok) {
        if (!ok && journal_.takeWarning())
            std::cerr << "Warning: the attempts are not protected against a crash: " << journal_.path() << ": "
                      << std::strerror(journal_.error()) << "\n";
    }
    int startFailed() { return communicationError(advice(link_.lastStatus(), options_.device)); }
    void started() {
        if (warned_ || !link_.modemLinesMissing()) return;
        warned_ = true;
        std::cerr << "Warning: " << options_.device.port
                  << " has no modem lines (RTS and DTR cannot be raised); reading it all the same.\n";
    }
    // One attempt, started again while a stroke fills the store within the time-out.
    int recordAttempt(const std::string& label);

    const RecordArgs& options_;
    AcquisitionLink& link_;
    std::unique_ptr<TestRecord> test_;
    AttemptSession session_;
    SessionJournal journal_;
    std::chrono::steady_clock::duration timeout_{};
    bool warned_ = false;
};

int Recording::calibrate() {
    session_.prepareCalibration();
    if (session_.startCalibration(now()) != StartResult::Started) return startFailed();
    started();
    const Outcome o = runTicks(session_, "calibration", std::chrono::steady_clock::now() + timeout_, nullptr,
                               [&] { journalled(journal_.calibrated(*test_)); });
    if (o == Outcome::Done) {
        const float* off = test_->repetitions[0].channelOffset;
        std::cerr << "Calibration is done: offsets " << off[AccelX] << " " << off[AccelY] << " " << off[AccelZ]
                  << " (acceleration), " << off[RateY] << " (rate)\n";
        return 0;
    }
    if (o == Outcome::Lost) communicationError(session_.failureReason());
    else if (o == Outcome::TooLong) std::cerr << kMsgCalibrationTooLong << "\n";
    else std::cerr << "calibration abandoned\n";
    return 2;
}

int Recording::recordAttempt(const std::string& label) {
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    for (;;) {
        if (session_.startAttempt(options_.load, options_.radius, now()) != StartResult::Started) return startFailed();
        started();
        std::string warning;
        const Outcome o = runTicks(session_, label, deadline, &warning, [&] { journalled(journal_.attemptStored(*test_)); });
        if (o == Outcome::Done) {
            printPeaks(*test_, test_->repetitionCount - 1, label);
            // Kept all the same: the operator decides, as IGNORE on the screen.
            if (!warning.empty()) std::cerr << label << ": Warning: " << warning << "\n";
            return 0;
        }
        if (o == Outcome::TooLong && std::chrono::steady_clock::now() < deadline && !interrupted.load()) {
            std::cerr << label << ": " << kMsgAttemptTooLong << " Starting it again.\n";
            continue;
        }
        if (o == Outcome::Lost) communicationError(session_.failureReason());
        else if (o == Outcome::TooLong) std::cerr << label << ": " << kMsgAttemptTooLong << "\n";
        else std::cerr << label << (interrupted.load() ? ": interrupted, abandoned as BACK\n" : ": no stroke within the time-out, abandoned as BACK\n");
        return 2;
    }
}

int Recording::recordAttempts() {
    for (int a = 0; a < options_.attempts; ++a) {
        const std::string label = "attempt " + std::to_string(a + 1) + "/" + std::to_string(options_.attempts);
        if (const int status = recordAttempt(label); status != 0) return status;
    }
    return 0;
}

int Recording::save(AtomicFile& output, int status) {
    session_.exit();
    const TestRecord& test = *test_;
    if (test.repetitionCount == 0) {
        journal_.close(true);
        std::cerr << "Nothing recorded: " << options_.out << " was not written.\n";
        return 2;
    }
    std::string message, reason;
    if (!writeTestFile(output, options_.out, *test_, &message, &reason)) {
        fail(options_.out + ": " + message + (message == kMsgFileSaveError ? "\n" + reason : ""));
        if (journal_.isOpen())
            std::cerr << "The attempts stay in " << journal_.path() << " (vantacheck-cli recover).\n";
        journal_.close(false);
        std::string where, why;
        const int n = test.repetitionCount;
        const std::string attempts = n == 1 ? "The attempt" : "The " + std::to_string(n) + " attempts";
        if (keepUnsavedAttempts(*test_, options_.out, where, why))
            std::cerr << attempts << (n == 1 ? " is" : " are") << " kept in " << where << "\n";
        else
            std::cerr << attempts << " could not be kept in " << where << " either: " << why << "\n";
        return 2;
    }
    journal_.close(true);
    std::cerr << test.repetitionCount << (test.repetitionCount == 1 ? " attempt" : " attempts") << " saved to "
              << options_.out << "\n";
    return status;
}

int runRecord(const RecordArgs& options) {
    if (options.device.simulate == !options.device.port.empty()) return fail("record needs either --port PATH or --simulate");
    AtomicFile output;
    std::string error;
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
    Recording recording(options, link);

    interrupted.store(false);
    const EndingSignals endingSignals;
    int status = options.calibrate ? recording.calibrate() : 0;
    if (status == 0) status = recording.recordAttempts();
    return recording.save(output, status);
}

}  // namespace

void addRecordCommand(CommandLine& line) {
    auto options = std::make_shared<RecordArgs>();
    Command record = line.add(
        "record", "a session on the sensor box",
        "Records N attempts as the measurement screen does: for each, the subject stands still with\n"
        "the bar level, rotates at least 40 degrees to one side and strokes through to the other;\n"
        "the station cuts the stroke, analyses it and keeps it. Each phase change and each stored\n"
        "attempt's peak values go to standard error; the test is saved at the end (atomically).\n"
        "Either --port PATH or --simulate.\n"
        "Ctrl+C, SIGTERM, SIGHUP (the terminal closed), SIGPIPE (the pipe behind standard error\n"
        "closed) or the time-out abandons the running attempt as BACK does; the stored attempts\n"
        "are still saved and the exit status is 2. When FILE cannot be written at the end, the\n"
        "attempts go to a file in the temporary folder ($TMPDIR or /tmp), which is named.\n"
        "Bytes that form no frame for 5 seconds end the session with the reason; an attempt\n"
        "whose samples did not come at 1000 a second (within 5 %), or paused for more than\n"
        "50 ms during the stroke, is kept with a warning. Exit status 0 when all N attempts\n"
        "were stored.\n"
        "The samples go to the detection in steps of exactly 100, so one recording always gives\n"
        "the same result (the simulated box with one seed gives the same file but its test time).\n");
    declareRecordWords(record, *options);
    record.runs([options] { return runRecord(*options); });
}

}  // namespace vanta::cli
