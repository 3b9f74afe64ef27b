// The attempt workflow without a window: one object that owns the AcquisitionControl of
// the running attempt or calibration, starts and stops the acquisition link, runs the
// live tick and stores each finished stroke as the next repetition. The measurement and
// calibration screens drive it from their buttons and timers; vantacheck-cli record
// drives it from a plain loop. It never reads a clock: the caller passes the time.
//
// Faults it settles so that the screens need not:
//   - the store fills before the stroke has ended: the attempt ends as BACK does and
//     nothing of it is stored (TickEvent::TooLong);
//   - the box fails or is unplugged: the link is stopped, the stored attempts stay, the
//     tick reports CommunicationLost with the link's reason;
//   - a calibration can be abandoned; the offsets change only when its second of
//     stillness is complete;
//   - a tick after BACK, EXIT, a stored attempt or a finished calibration does nothing;
//   - with the clock given to the tick: a stream that forms no frame for five seconds ends
//     the attempt as a lost box does, with the reason; a stored attempt whose samples did
//     not come at the box's rate, or paused during the stroke, is kept with a warning.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/records.h"
#include "device/acquisition_control.h"
#include "device/acquisition_link.h"
#include "measure/guidance_screen.h"
#include "measure/live_detection.h"

namespace vanta {

inline constexpr std::string_view kMsgAttemptTooLong =
    "The attempt was too long: the stroke did not end within one minute. It was not stored.";
inline constexpr std::string_view kMsgCalibrationTooLong =
    "The bar was not still for one second within one minute. Calibration was not done.";

enum class TickEvent {
    None,               // nothing running: the tick did nothing
    Running,            // samples processed, the attempt or calibration goes on
    Stored,             // the stroke is stored as repetition `repetition` and analysed
    TooLong,            // the store filled first: abandoned as BACK, nothing stored
    CommunicationLost,  // the box failed: abandoned, `reason` says why
    CalibrationDone,    // the offsets of repetition 0 are set
};

struct TickReport {
    TickEvent event = TickEvent::None;
    GuidanceFrame frame;
    int repetition = -1;  // Stored: the repetition's index
    std::string reason;   // CommunicationLost: the link's reason
    std::string warning;  // Stored, timed ticks only: why the attempt's numbers are doubtful
};

// The sample rate a box must keep for its attempt to count as sound (it sends one sample
// every 0.996 ms), and the pause during the stroke that splices it.
inline constexpr double kNominalSampleRate = 1000.0;
inline constexpr double kSampleRateTolerance = 0.05;
inline constexpr auto kLongestStrokePause = std::chrono::milliseconds(50);

// Why the stream of an attempt makes its numbers doubtful, from the reader's timing and the
// stroke's samples [strokeStart, strokeEnd] before the cut; empty when the stream was sound.
std::string streamWarning(const StreamTiming& timing, int strokeStart, int strokeEnd);

enum class StartResult {
    Started,
    MaxAttempts,         // 100 repetitions are stored
    CommunicationError,  // the link did not start; failureReason() says why
};

class AttemptSession {
public:
    enum class Activity { Idle, Attempt, Calibration };

    AttemptSession(TestRecord& test, AcquisitionLink& link);
    ~AttemptSession();
    AttemptSession(const AttemptSession&) = delete;
    AttemptSession& operator=(const AttemptSession&) = delete;

    // Perform: a new test with no repetition; nothing is running afterwards.
    void newTest();
    // START: records the next repetition with this load and radius. `now` is the test
    // time (seconds since 1970) the test takes on a successful start.
    StartResult startAttempt(float loadMass, float radius, int32_t now);
    // BACK: abandons the running attempt or calibration; nothing is stored.
    void back();
    // IGNORE: drops the last stored repetition. True when none is left (the test then
    // counts as saved and there is nothing to report).
    bool ignore();
    // EXIT: leaves the measurement screen; a running attempt is abandoned first.
    void exit();

    // Calibration, first step: refuses (MaxAttempts) when 100 repetitions are stored;
    // otherwise starts a new test whose repetition 0 receives the calibration.
    StartResult prepareCalibration();
    // Calibration, second step, after the operator's yes.
    StartResult startCalibration(int32_t now);

    // One tick over what the reader has stored. With `upTo` >= 0 the tick looks at no
    // more than that many samples, so a caller can put the tick boundaries where it wants
    // them (record does, to make a recording reproducible); the store's end is acted on
    // only once every stored sample has been processed.
    TickReport tick(int upTo = -1);
    // The same with the caller's clock (the window's and record's): a stream without frames
    // for kFramelessLimit is given up as CommunicationLost, and a stored attempt carries
    // the stream's warning. A caller without a clock (a test) gets neither.
    TickReport tick(int upTo, std::chrono::steady_clock::time_point now);

    Activity activity() const { return activity_; }
    bool running() const { return activity_ != Activity::Idle; }
    int currentAttempt() const { return current_; }
    int livePhase() const { return detection_.livePhase; }
    const LiveDetection& detection() const { return detection_; }
    const AcquisitionControl& control() const { return control_; }
    // Samples the previous tick processed up to (its count).
    int lastTickCount() const { return detection_.lastCount; }
    // Why the last start failed, or the communication was lost.
    const std::string& failureReason() const { return failureReason_; }

private:
    StartResult startAcquisition(RepetitionRecord& rep, int32_t now);
    void stop();
    GuidanceFrame frameOf(const TickSummary& s) const;
    TickReport tickAt(int upTo, const std::chrono::steady_clock::time_point* now);

    TestRecord& test_;
    AcquisitionLink& link_;
    AcquisitionControl control_;
    LiveDetection detection_;
    Activity activity_ = Activity::Idle;
    int current_ = 0;
    std::string failureReason_;
    // The last time a tick saw a new frame, and the link's figures then (timed ticks).
    bool timed_ = false;
    std::chrono::steady_clock::time_point lastFrameAt_{};
    uint64_t framesAtLastFrame_ = 0;
    uint64_t bytesAtLastFrame_ = 0;
};

}  // namespace vanta
