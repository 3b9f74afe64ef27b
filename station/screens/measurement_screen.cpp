#include "station/screens/measurement_screen.h"

#include <cmath>

#include "profile/profile.h"
#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "station/screens/idle_screen.h"
#include "station/session_recovery.h"

namespace vanta {

bool MeasurementScreen::command(int id, Notification notification) {
    switch (id) {
        case cmd::kPerform: perform(); return true;
        case cmd::kStart: start(); return true;
        // 1075 is IGNORE only as a click; a selection change is the curve bar's list.
        case cmd::kIgnore:
            if (notification != Notification::Clicked) return false;
            ignore();
            return true;
        // BACK (and Esc) on the calibration screen is the calibration screen's.
        case cmd::kBack:
            if (context_.station.viewMode != kViewMeasurement) return false;
            back();
            return true;
        case cmd::kExit: exit(); return true;
        case cmd::kLiveTick: liveTick(); return true;
        default: return false;
    }
}

// Exercise > "Perform": a new test on the measurement screen.
void MeasurementScreen::perform() {
    Station& s = context_.station;
    notice_.clear();
    context_.resetToIdle();
    // Cancel (or Esc) keeps the test, its attempts and its journal as they were.
    if (!mayLeaveTest(context_.files.askToSave())) return;
    context_.files.takeCurrentSubjectForNewTest();
    if (context_.attempts) context_.attempts->newTest();
    s.test.repetitionCount = 0;
    s.livePhase = 0;
    s.viewMode = kViewMeasurement;
    showMeasurementBar();
    context_.bars.showBarControl(cmd::kBack, false);
    context_.bars.showBarControl(cmd::kIgnore, false);
    s.resultsAvailable = 0;
    s.lastFilePath.clear();
    if (context_.resultGraph) showDefaultGraph(*context_.resultGraph, s.test);
    context_.view.update();
}

// The measurement bar from the last load and radius; START, IGNORE and EXIT shown.
void MeasurementScreen::showMeasurementBar() {
    BarHost& bars = context_.bars;
    const StationSettings& settings = context_.station.settings;
    bars.showBar(kMeasurementBarTemplate);
    const ListContents loads = loadListContents(settings.currentLoad);
    bars.fillBarList(cmd::kLoadList, loads.entries, loads.selected);
    bars.setBarText(cmd::kRadiusBox, barNumberText(settings.currentRadius));
    bars.showBarControl(cmd::kStart, true);
    bars.showBarControl(cmd::kIgnore, true);
    bars.showBarControl(cmd::kExit, true);
    bars.showBarControl(cmd::kBack, false);
    bars.showBarControl(cmd::kLoadList, true);
    bars.setBarText(cmd::kSubjectLabel, currentSubjectText(context_.station.test));
}

// START: the load and radius of the attempt are taken from the bar, the link is started
// and the live tick follows the attempt.
void MeasurementScreen::start() {
    Station& s = context_.station;
    TestRecord& test = s.test;
    if (test.repetitionCount >= kMaxRepetitions) {
        context_.dialogs.message(kMsgMaxAttempts);
        return;
    }
    const float load = context_.bars.readBarNumber(cmd::kLoadList);
    const float radius = context_.bars.readBarNumber(cmd::kRadiusBox);
    // A load or radius of 0 (no digits), below 0 or beyond a float would make the
    // attempt's force, power and torque worthless: the operator is asked for the value
    // before anything is recorded.
    if (!(std::isfinite(load) && load > 0.0f)) {
        context_.dialogs.message(kMsgEnterLoad);
        return;
    }
    if (!(std::isfinite(radius) && radius > 0.0f)) {
        context_.dialogs.message(kMsgEnterRadius);
        return;
    }
    s.currentRepetition = test.repetitionCount;
    s.settings.currentLoad = load;
    s.settings.currentRadius = radius;
    RepetitionRecord& rep = test.repetitions[static_cast<size_t>(s.currentRepetition)];
    rep.loadMass = load;
    rep.radius = radius;

    s.viewMode = kViewMeasurement;
    BarHost& bars = context_.bars;
    bars.showBarControl(cmd::kStart, false);
    bars.showBarControl(cmd::kIgnore, false);
    bars.showBarControl(cmd::kExit, false);
    bars.showBarControl(cmd::kBack, true);
    bars.showBarControl(cmd::kLoadList, false);
    context_.view.hideReportTable();

    AttemptSession* attempts = context_.attempts;
    const StartResult started =
        attempts ? attempts->startAttempt(load, radius, context_.now()) : StartResult::CommunicationError;
    if (started != StartResult::Started) {
        context_.dialogs.message(kMsgErrorInCommunication,
                                 attempts ? attempts->failureReason() : std::string("no acquisition link"));
        bars.hideBar();
        s.viewMode = kViewIdle;
        return;
    }
    context_.view.startTickTimer(kLiveTimerId);
    s.livePhase = attempts->livePhase();
    guidance_.reset();
    context_.view.showGuidance(true);
    context_.view.takeFocus();
}

// The live tick: the samples stored since the last tick, the guidance drawn over what
// the screen shows, and what the tick's outcome asks for.
void MeasurementScreen::liveTick() {
    AttemptSession* attempts = context_.attempts;
    // A tick posted before BACK, EXIT or the stored attempt stopped the timer finds nothing
    // running and does nothing.
    if (!attempts || attempts->activity() != AttemptSession::Activity::Attempt) return;
    const TickReport report = context_.liveClock ? attempts->tick(-1, context_.liveClock()) : attempts->tick();
    Station& s = context_.station;
    s.livePhase = attempts->livePhase();
    const GuidanceLayout layout = guidanceLayout(context_.view.clientRect());
    context_.view.drawGuidance([&](DrawContext& dc) { return guidance_.drawTick(dc, layout, report.frame); });

    switch (report.event) {
        case TickEvent::Running: return;
        case TickEvent::Stored:
            context_.view.stopTickTimer(kLiveTimerId);
            // On disk before the operator sees it stored.
            if (!s.journal.attemptStored(s.test)) tellJournalFailure(s, context_.dialogs);
            // The stored attempt is painted from its own state (table and dial): what the
            // ticks drew for the subject ("MOVE BARBEL ...", the ready lines) goes.
            context_.view.showGuidance(false);
            showMeasurementBar();
            showStoredAttempt();
            notice_ = storedText(s);
            context_.view.update();
            // The attempt stays: the operator decides whether IGNORE drops it.
            if (!report.warning.empty()) context_.dialogs.message(report.warning);
            return;
        case TickEvent::TooLong:
            context_.view.stopTickTimer(kLiveTimerId);
            context_.dialogs.message(kMsgAttemptTooLong);
            back();
            return;
        case TickEvent::CommunicationLost:
            context_.view.stopTickTimer(kLiveTimerId);
            context_.dialogs.message(kMsgErrorInCommunication, report.reason);
            back();
            return;
        default:
            context_.view.stopTickTimer(kLiveTimerId);
            return;
    }
}

// Phase 5: the report table of the last stored attempt in the large font.
void MeasurementScreen::showStoredAttempt() {
    const TestRecord& test = context_.station.test;
    if (test.repetitionCount <= 0) return;
    const GuidanceLayout layout = guidanceLayout(context_.view.clientRect());
    context_.station.columnWidthScale = layout.columnWidthScale;
    context_.view.showReportTable(layout.resultList, test.results[static_cast<size_t>(test.repetitionCount - 1)],
                                  layout.largeFont, layout.columnWidthScale);
}

// The table belongs where the layout of the view's new size puts it, in that size's font.
void MeasurementScreen::resized() {
    const Station& s = context_.station;
    if (s.viewMode == kViewMeasurement && s.livePhase == PhaseStored) showStoredAttempt();
}

// "Attempt 2 stored: right" - the number the repetition boxes will show, and the side.
std::string MeasurementScreen::storedText(const Station& s) {
    const int n = s.test.repetitionCount;
    if (n <= 0) return {};
    const std::optional<Side> side =
        sideOfDirection(s.test.repetitions[static_cast<size_t>(n - 1)].direction, s.settings.sidesSwapped != 0);
    return "Attempt " + std::to_string(n) + " stored: " + (side ? sideName(*side) : "no side");
}

void MeasurementScreen::draw(DrawContext& dc) {
    const Station& s = context_.station;
    // What the last IGNORE or stored attempt did, and for whom, along the view's foot,
    // below the guidance and the table.
    if (s.livePhase == PhaseNone || s.livePhase == PhaseStored) {
        const Rect client = context_.view.clientRect();
        dc.save();
        dc.selectFont(Font{"Arial", 14, 700});
        dc.setTextColor(kBlack);
        const std::string line = currentSubjectText(s.test) + (notice_.empty() ? "" : "    " + notice_);
        dc.textElided(Rect{10, client.bottom - 26, client.right - 10, client.bottom - 6}, line, TextAlign::Left);
        dc.restore();
    }
    const AttemptSession* attempts = context_.attempts;
    if (s.livePhase != PhaseStored || !attempts || s.test.repetitionCount <= 0) return;
    const LiveDetection& d = attempts->detection();
    const GuidanceLayout layout = guidanceLayout(context_.view.clientRect());
    const int direction = s.test.repetitions[static_cast<size_t>(s.test.repetitionCount - 1)].direction;
    GuidanceScreen::drawStrokeDial(dc, layout, d.startAngle, d.endAngle, d.peakAngle, direction);
}

// IGNORE: the last stored attempt is dropped, and with it what the screen showed of it.
void MeasurementScreen::ignore() {
    Station& s = context_.station;
    TestRecord& test = s.test;
    if (test.repetitionCount > 0) {
        --test.repetitionCount;
        // The attempts count from 1 as the operator saw them stored.
        notice_ = "Attempt " + std::to_string(test.repetitionCount + 1) + " removed \u2013 " +
                  std::to_string(test.repetitionCount) + " stored";
    }
    if (s.currentRepetition > 0) --s.currentRepetition;
    if (test.repetitionCount == 0) {
        s.resultsAvailable = 0;
        test.saved = 1;
    }
    if (!s.journal.attemptIgnored(test)) tellJournalFailure(s, context_.dialogs);
    s.livePhase = 0;
    // Nothing left to remove: IGNORE goes until an attempt is stored.
    if (test.repetitionCount == 0) context_.bars.showBarControl(cmd::kIgnore, false);
    context_.view.hideReportTable();
    context_.view.showGuidance(false);
    context_.view.update();
}

// BACK: the running attempt is abandoned; the bar returns to START and EXIT, and to IGNORE
// when a stored repetition is there for it to remove. The abandoned attempt's guidance
// goes with it: a subject who still saw the ready lines or the green disc would perform a
// stroke that nobody records.
void MeasurementScreen::back() {
    if (context_.attempts) context_.attempts->back();
    context_.view.stopTickTimer(kLiveTimerId);
    context_.station.livePhase = PhaseNone;
    context_.view.showGuidance(false);
    showMeasurementBar();
    if (context_.station.test.repetitionCount == 0) context_.bars.showBarControl(cmd::kIgnore, false);
    context_.view.update();
}

// EXIT: the recorded test may be reported; back to the idle screen. A test without an
// attempt has nothing to report: Digital and Curve graph stay off and no header names a
// test that was never taken.
void MeasurementScreen::exit() {
    if (context_.attempts) context_.attempts->exit();
    context_.view.stopTickTimer(kLiveTimerId);
    context_.station.resultsAvailable = context_.station.test.repetitionCount > 0 ? 1 : 0;
    context_.resetToIdle();
}

void MeasurementScreen::leave() {
    // Nothing may keep recording behind another screen.
    if (context_.attempts && context_.attempts->activity() == AttemptSession::Activity::Attempt)
        context_.attempts->back();
    context_.view.stopTickTimer(kLiveTimerId);
    context_.station.livePhase = 0;
    context_.view.hideReportTable();
    context_.view.showGuidance(false);
}

}  // namespace vanta
