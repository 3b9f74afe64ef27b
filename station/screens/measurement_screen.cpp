#include "station/screens/measurement_screen.h"

#include "station/bar_contents.h"
#include "station/command_ids.h"

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
        case cmd::kBack: back(); return true;
        case cmd::kExit: exit(); return true;
        case cmd::kLiveTick: return true;
        default: return false;
    }
}

// Exercise > "Perform": a new test on the measurement screen.
void MeasurementScreen::perform() {
    Station& s = context_.station;
    context_.resetToIdle();
    context_.files.offerToSave();
    s.test.repetitionCount = 0;
    s.livePhase = 0;
    s.viewMode = kViewMeasurement;
    showMeasurementBar();
    context_.bars.showBarControl(cmd::kBack, false);
    context_.bars.showBarControl(cmd::kIgnore, false);
    s.resultsAvailable = 0;
    s.lastFilePath.clear();
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
}

// START: the load and radius of the attempt are taken from the bar.
void MeasurementScreen::start() {
    Station& s = context_.station;
    TestRecord& test = s.test;
    if (test.repetitionCount >= kMaxRepetitions) {
        context_.dialogs.message(kMsgMaxAttempts);
        return;
    }
    s.currentRepetition = test.repetitionCount;
    const float load = context_.bars.readBarNumber(cmd::kLoadList);
    const float radius = context_.bars.readBarNumber(cmd::kRadiusBox);
    s.settings.currentLoad = load;
    s.settings.currentRadius = radius;
    RepetitionRecord& rep = test.repetitions[static_cast<size_t>(s.currentRepetition)];
    rep.loadMass = load;
    rep.radius = radius;
}

// IGNORE: the last stored attempt is dropped.
void MeasurementScreen::ignore() {
    Station& s = context_.station;
    TestRecord& test = s.test;
    if (test.repetitionCount > 0) --test.repetitionCount;
    if (s.currentRepetition > 0) --s.currentRepetition;
    if (test.repetitionCount == 0) {
        s.resultsAvailable = 0;
        test.saved = 1;
    }
    context_.view.update();
}

// BACK: the running attempt is abandoned; the bar returns to START, IGNORE and EXIT.
void MeasurementScreen::back() {
    context_.view.stopTickTimer(kLiveTimerId);
    showMeasurementBar();
    context_.view.update();
}

// EXIT: the recorded test may be reported; back to the idle screen.
void MeasurementScreen::exit() {
    context_.station.resultsAvailable = 1;
    context_.resetToIdle();
}

}  // namespace vanta
