#include "measure/attempt_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/analysis.h"

namespace vanta {

std::string streamWarning(const StreamTiming& timing, int strokeStart, int strokeEnd) {
    std::string warning;
    const double seconds = std::chrono::duration<double>(timing.lastStored - timing.started).count();
    const double rate = seconds > 0 ? timing.stored / seconds : 0.0;
    char text[200];
    if (timing.stored > 0 && std::abs(rate - kNominalSampleRate) > kSampleRateTolerance * kNominalSampleRate) {
        std::snprintf(text, sizeof text, "The sensor box sent %.0f samples a second in this attempt instead of 1000.",
                      rate);
        warning = text;
    }
    // The latest gaps are kept, and the stroke lies just before the tail: a pause that
    // ends inside the stroke cut it in two.
    std::chrono::steady_clock::duration longest{};
    const int kept = std::min(timing.gapCount, StreamTiming::kGapsKept);
    for (int k = 0; k < kept; ++k) {
        const StreamTiming::Gap& gap = timing.gaps[static_cast<size_t>(k)];
        if (gap.resumedAt > strokeStart && gap.resumedAt <= strokeEnd && gap.length > kLongestStrokePause)
            longest = std::max(longest, gap.length);
    }
    if (longest.count() > 0) {
        std::snprintf(text, sizeof text, "The sensor box sent nothing for %lld ms during the stroke.",
                      static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(longest).count()));
        warning += (warning.empty() ? "" : " ") + std::string(text);
    }
    if (!warning.empty()) warning += " The numbers of this attempt may be wrong; IGNORE drops it.";
    return warning;
}

AttemptSession::AttemptSession(TestRecord& test, AcquisitionLink& link) : test_(test), link_(link) {}

AttemptSession::~AttemptSession() { stop(); }

void AttemptSession::stop() {
    // Nothing more is stored from here on, then the reader goes; only after that may the
    // samples be moved or the store be handed to another repetition.
    control_.markFull();
    link_.stopAcquisition();
    activity_ = Activity::Idle;
}

void AttemptSession::newTest() {
    if (running()) stop();
    test_.repetitionCount = 0;
    current_ = 0;
    detection_.reset();
}

StartResult AttemptSession::startAcquisition(RepetitionRecord& rep, int32_t now) {
    control_.prepare(rep);
    detection_.reset();
    if (!link_.startAcquisition(control_)) {
        failureReason_ = linkFailureText(link_.lastStatus());
        return StartResult::CommunicationError;
    }
    test_.testTime = now;
    timed_ = false;
    rep.sampleCount = 0;
    detection_.livePhase = PhaseStandStill;
    return StartResult::Started;
}

StartResult AttemptSession::startAttempt(float loadMass, float radius, int32_t now) {
    if (running()) return StartResult::CommunicationError;  // the screens never allow it
    if (test_.repetitionCount >= kMaxRepetitions) return StartResult::MaxAttempts;
    current_ = test_.repetitionCount;
    RepetitionRecord& rep = test_.repetitions[current_];
    rep.loadMass = loadMass;
    rep.radius = radius;
    const StartResult r = startAcquisition(rep, now);
    if (r == StartResult::Started) activity_ = Activity::Attempt;
    return r;
}

void AttemptSession::back() {
    if (running()) stop();
}

bool AttemptSession::ignore() {
    if (running()) return false;  // IGNORE is hidden while an attempt runs
    if (test_.repetitionCount > 0) --test_.repetitionCount;
    if (current_ > 0) --current_;
    if (test_.repetitionCount == 0) {
        test_.saved = 1;
        return true;
    }
    return false;
}

void AttemptSession::exit() {
    if (running()) stop();
    detection_.livePhase = PhaseNone;
}

StartResult AttemptSession::prepareCalibration() {
    if (running()) stop();
    detection_.reset();
    if (test_.repetitionCount >= kMaxRepetitions) return StartResult::MaxAttempts;
    current_ = 0;
    test_.repetitionCount = 0;
    return StartResult::Started;
}

StartResult AttemptSession::startCalibration(int32_t now) {
    if (running()) return StartResult::CommunicationError;
    current_ = 0;
    const StartResult r = startAcquisition(test_.repetitions[0], now);
    if (r == StartResult::Started) activity_ = Activity::Calibration;
    return r;
}

GuidanceFrame AttemptSession::frameOf(const TickSummary& s) const {
    GuidanceFrame f;
    f.phaseBefore = s.phaseBefore;
    f.stillCountBefore = s.stillCountBefore;
    f.phaseNow = detection_.livePhase;
    f.sampleCount = s.count;
    for (int k = 0; k < 3; ++k) f.unit[k] = detection_.unit[k];
    f.angle = detection_.livePhase == PhaseStored ? detection_.endAngle : detection_.angle;
    f.startAngle = detection_.startAngle;
    f.peakAngle = detection_.peakAngle;
    f.direction = test_.repetitions[current_].direction;
    return f;
}

TickReport AttemptSession::tick(int upTo) { return tickAt(upTo, nullptr); }

TickReport AttemptSession::tick(int upTo, std::chrono::steady_clock::time_point now) { return tickAt(upTo, &now); }

TickReport AttemptSession::tickAt(int upTo, const std::chrono::steady_clock::time_point* now) {
    TickReport report;
    if (!running()) return report;
    RepetitionRecord& rep = test_.repetitions[current_];

    // `full` before `count`: once the store is seen full, the count read after it is final.
    const bool full = control_.isFull();
    const int stored = control_.storedCount();
    int count = stored;
    bool last = full;
    if (upTo >= 0 && upTo < stored) {
        count = upTo;
        last = false;
    }
    if (!last && link_.deviceLost()) {
        failureReason_ = linkFailureText(link_.lastStatus());
        stop();
        report.event = TickEvent::CommunicationLost;
        report.reason = failureReason_;
        report.frame = frameOf(TickSummary{detection_.livePhase, detection_.stillCount, count});
        return report;
    }

    if (!last && now) {
        const AcquisitionLink::Statistics figures = link_.statistics();
        if (!timed_ || figures.framesDecoded != framesAtLastFrame_) {
            timed_ = true;
            lastFrameAt_ = *now;
            framesAtLastFrame_ = figures.framesDecoded;
            bytesAtLastFrame_ = figures.bytesRead;
        } else if (*now - lastFrameAt_ >= kFramelessLimit) {
            failureReason_ = framelessText(figures.bytesRead - bytesAtLastFrame_, stored);
            stop();
            report.event = TickEvent::CommunicationLost;
            report.reason = failureReason_;
            report.frame = frameOf(TickSummary{detection_.livePhase, detection_.stillCount, count});
            return report;
        }
    }

    const TickMode mode = activity_ == Activity::Calibration ? TickMode::Calibration : TickMode::Attempt;
    const TickSummary s = processTick(detection_, rep, control_, count, mode);
    report.event = TickEvent::Running;

    if (mode == TickMode::Calibration) {
        if (s.calibrationComplete) {
            stop();
            report.event = TickEvent::CalibrationDone;
        } else if (last) {
            // A minute without a still second: the store is full and nothing changed.
            stop();
            report.event = TickEvent::TooLong;
        }
    } else if (last) {
        const LiveDetection& d = detection_;
        if (d.stage() == kStageEnded && strokeWindowRecorded(d.startIndex, d.endIndex, count)) {
            test_.saved = 0;
            stop();
            cutStrokeWindow(rep, d.startIndex, d.endIndex);
            detection_.livePhase = PhaseStored;
            analyseRepetition(test_, current_);
            test_.repetitionCount += 1;
            report.event = TickEvent::Stored;
            report.repetition = current_;
            // stop() has joined the reader: its timing may be read now.
            if (timed_) report.warning = streamWarning(link_.streamTiming(), d.startIndex, d.endIndex);
        } else {
            // The store filled before the stroke (and its 100 samples after the end) was
            // recorded: there is no window to keep.
            stop();
            report.event = TickEvent::TooLong;
        }
    }
    report.frame = frameOf(s);
    return report;
}

}  // namespace vanta
