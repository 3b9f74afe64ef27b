#include "app/station_view.h"

#include <QPaintEvent>
#include <QPainter>

#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "app/main_window.h"
#include "station/subject_commands.h"
#include "canvas/qpainter_draw_context.h"
#include "reports/page_header.h"

namespace vanta {

StationView::StationView(Station& station, CommandRouter& router, MainWindow& frame,
                                   OperatorDialogs& dialogs, QWidget* parent)
    : QWidget(parent), station_(station), router_(router), frame_(frame), dialogs_(dialogs) {
    setObjectName(QStringLiteral("mainView"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);

    liveTimer_.setInterval(kTickPeriodMs);
    calibrationTimer_.setInterval(kTickPeriodMs);
    connect(&liveTimer_, &QTimer::timeout, this, [this] { router_.post(cmd::kLiveTick); });
    connect(&calibrationTimer_, &QTimer::timeout, this, [this] { router_.post(cmd::kCalibrationTick); });

    bindCommands();
}

StationView::~StationView() { router_.unbindAll(CommandOwner::View); }

void StationView::bindCommands() {
    auto bindPlain = [this](int id, void (StationView::*fn)()) {
        router_.bind(CommandOwner::View, id, [this, fn](Notification) { (this->*fn)(); });
    };
    // Commands whose screens come with later work: they are routed and enabled by their
    // rules now and do nothing yet (printing, export, cursors, zoom, the live and
    // calibration ticks). Each is marked where it is bound.
    auto later = [this](int id) { router_.bind(CommandOwner::View, id, [](Notification) {}); };

    bindPlain(cmd::kPerform, &StationView::onPerform);
    bindPlain(cmd::kStart, &StationView::onStart);
    bindPlain(cmd::kBack, &StationView::onBack);
    bindPlain(cmd::kExit, &StationView::onExitMeasurement);
    bindPlain(cmd::kCalibration, &StationView::onCalibration);
    bindPlain(cmd::kDigitalReport, &StationView::onDigitalReport);
    bindPlain(cmd::kCurveGraph, &StationView::onCurveGraph);
    bindPlain(cmd::kReportRepetitionBox, &StationView::onSelectRepetition);
    bindPlain(cmd::kResetToIdle, &StationView::resetToIdle);
    router_.bind(CommandOwner::View, cmd::kSubjectInfoSetup,
                 [this](Notification) { runSubjectInfoSetup(station_, dialogs_); });

    // 1075 is IGNORE on the measurement bar (a click) and the repetition list of the curve
    // bar (a selection change): the notification tells them apart.
    router_.bind(CommandOwner::View, cmd::kIgnore, [this](Notification n) {
        if (n == Notification::Clicked)
            onIgnore();
        else
            onCurveRepetition();
    });
    router_.bind(CommandOwner::View, cmd::kY1Box, [this](Notification) { onQuantityBox(cmd::kY1Box); });
    router_.bind(CommandOwner::View, cmd::kY2Box, [this](Notification) { onQuantityBox(cmd::kY2Box); });

    later(cmd::kFilePrint);         // printed reports and preview: later work
    later(cmd::kFilePrintPreview);  // printed reports and preview: later work
    later(cmd::kExportXml);         // spreadsheet export: later work
    later(cmd::kZoom);              // cursors and zoom: later work
    later(cmd::kCursorLeftLeft);
    later(cmd::kCursorLeftRight);
    later(cmd::kCursorRightLeft);
    later(cmd::kCursorRightRight);
    later(cmd::kLiveTick);         // live tick processing: later work (measurement screen)
    later(cmd::kCalibrationTick);  // calibration tick: later work (measurement screen)
}

void StationView::startTickTimer(int timerId) {
    if (timerId == kLiveTimerId) liveTimer_.start();
    if (timerId == kCalibrationTimerId) calibrationTimer_.start();
}

void StationView::stopTickTimer(int timerId) {
    if (timerId == kLiveTimerId) liveTimer_.stop();
    if (timerId == kCalibrationTimerId) calibrationTimer_.stop();
}

bool StationView::tickTimerActive(int timerId) const {
    if (timerId == kLiveTimerId) return liveTimer_.isActive();
    if (timerId == kCalibrationTimerId) return calibrationTimer_.isActive();
    return false;
}

void StationView::resetToIdle() {
    station_.viewMode = kViewIdle;
    station_.currentRepetition = 0;
    frame_.hideBar();
    // Integration point (digital report table): clear the report table and give it the
    // empty rectangle once the table control exists.
    repaint();
}

void StationView::askToSaveFirst() {
    if (station_.test.saved == 0 && dialogs_.askYesNo(kMsgDataNotSaved)) frame_.saveTest();
}

// Exercise > "Perform": a new test on the measurement screen.
void StationView::onPerform() {
    resetToIdle();
    askToSaveFirst();
    station_.test.repetitionCount = 0;
    livePhase_ = 0;
    station_.viewMode = kViewMeasurement;
    showMeasurementBar();
    frame_.showBarControl(cmd::kBack, false);
    frame_.showBarControl(cmd::kIgnore, false);
    station_.resultsAvailable = 0;
    station_.lastFilePath.clear();
    // Integration point (curve graph): the result view's default graph selection and
    // cursors are set here once the graph screen exists.
    update();
}

// The measurement bar from the last load and radius; START, IGNORE and EXIT shown.
void StationView::showMeasurementBar() {
    frame_.showBar(kMeasurementBarTemplate);
    const ListContents loads = loadListContents(station_.settings.currentLoad);
    frame_.fillBarList(cmd::kLoadList, loads.entries, loads.selected);
    frame_.setBarText(cmd::kRadiusBox, barNumberText(station_.settings.currentRadius));
    frame_.showBarControl(cmd::kStart, true);
    frame_.showBarControl(cmd::kIgnore, true);
    frame_.showBarControl(cmd::kExit, true);
    frame_.showBarControl(cmd::kBack, false);
    frame_.showBarControl(cmd::kLoadList, true);
}

// START: the load and radius of the attempt are taken from the bar.
void StationView::onStart() {
    TestRecord& test = station_.test;
    if (test.repetitionCount >= kMaxRepetitions) {
        dialogs_.message(kMsgMaxAttempts);
        return;
    }
    station_.currentRepetition = test.repetitionCount;
    const float load = frame_.readBarNumber(cmd::kLoadList);
    const float radius = frame_.readBarNumber(cmd::kRadiusBox);
    station_.settings.currentLoad = load;
    station_.settings.currentRadius = radius;
    RepetitionRecord& rep = test.repetitions[static_cast<size_t>(station_.currentRepetition)];
    rep.loadMass = load;
    rep.radius = radius;
    // Integration point (attempt workflow with the device link): start the acquisition on
    // this repetition and timer 3, take the test time, switch the bar to BACK. Until the
    // measurement screen is built the attempt does not start.
}

// IGNORE: the last stored attempt is dropped.
void StationView::onIgnore() {
    TestRecord& test = station_.test;
    if (test.repetitionCount > 0) --test.repetitionCount;
    if (station_.currentRepetition > 0) --station_.currentRepetition;
    if (test.repetitionCount == 0) {
        station_.resultsAvailable = 0;
        test.saved = 1;
    }
    update();
}

// BACK: the running attempt is abandoned; the bar returns to START, IGNORE and EXIT.
void StationView::onBack() {
    // Integration point (attempt workflow with the device link): mark the store full,
    // stop timer 3 and the acquisition before the bar is rebuilt.
    stopTickTimer(kLiveTimerId);
    showMeasurementBar();
    update();
}

// EXIT: the recorded test may be reported; back to the idle screen.
void StationView::onExitMeasurement() {
    station_.resultsAvailable = 1;
    resetToIdle();
}

// Setup > "Calibration": the calibration screen.
void StationView::onCalibration() {
    resetToIdle();
    askToSaveFirst();
    livePhase_ = 0;
    station_.viewMode = kViewCalibration;
    frame_.hideBar();
    station_.resultsAvailable = 0;
    if (station_.test.repetitionCount >= kMaxRepetitions) {
        dialogs_.message(kMsgMaxAttempts);
        return;
    }
    station_.currentRepetition = 0;
    station_.test.repetitionCount = 0;
    if (!dialogs_.askYesNo(kMsgStandStill)) {
        station_.viewMode = kViewIdle;
        return;
    }
    // Integration point (calibration with the device link): start the acquisition on
    // repetition 0 with timer 5. Until then the calibration screen stays empty.
    update();
}

// Report > "Digital": the report bar with one entry per repetition.
void StationView::onDigitalReport() {
    if (station_.viewMode == kViewDigitalReport) return;
    frame_.showBar(kReportBarTemplate);
    const ListContents reps = reportRepetitionContents(station_.test.repetitionCount);
    frame_.fillBarList(cmd::kReportRepetitionBox, reps.entries, reps.selected);
    station_.selectedRepetition = 0;
    station_.viewMode = kViewDigitalReport;
    // Integration point (digital report table): fill the table with repetition 0 and
    // place it at 10, 50, 730 x 220.
    repaint();
}

void StationView::onSelectRepetition() {
    station_.selectedRepetition = frame_.barSelection(cmd::kReportRepetitionBox);
    // Integration point (digital report table): clear it, then refill it on the report
    // screen.
    if (station_.viewMode != kViewDigitalReport) dialogs_.message(kMsgInternalErrorInterval);
    repaint();
}

// Report > "Curve graph": the curve bar with repetitions and both quantity boxes.
void StationView::onCurveGraph() {
    if (station_.viewMode == kViewCurveGraph) return;
    station_.currentRepetition = 0;
    // Integration point (curve graph): window and cursors from the stroke range of
    // repetition 0.
    frame_.showBar(kCurveBarTemplate);
    const ListContents reps = curveRepetitionContents(station_.test.repetitionCount);
    frame_.fillBarList(cmd::kRepetitionSelector, reps.entries, reps.selected);
    const GraphSettings& g = station_.settings.graph;
    frame_.fillBarList(cmd::kY1Box, curveQuantityTitles(), g.graphY1Quantity);
    frame_.fillBarList(cmd::kY2Box, curveQuantityTitles(), g.graphY2Quantity);
    station_.viewMode = kViewCurveGraph;
    update();
}

void StationView::onCurveRepetition() {
    const int chosen = frame_.barSelection(cmd::kRepetitionSelector);
    if (chosen < 0) return;
    station_.currentRepetition = chosen;
    update();
}

void StationView::onQuantityBox(int id) {
    const int chosen = frame_.barSelection(id);
    if (chosen < 0) return;
    // The choice is kept in the settings and so survives a restart.
    if (id == cmd::kY1Box)
        station_.settings.graph.graphY1Quantity = chosen;
    else
        station_.settings.graph.graphY2Quantity = chosen;
    update();
}

void StationView::draw(DrawContext& dc) const {
    // The header names the test whenever one may be reported, on every screen; it shows
    // the view's current repetition, whatever another screen has chosen.
    if (station_.resultsAvailable == 1)
        drawPageHeader(dc, kHeaderLeft, kHeaderTop, kHeaderRight, kHeaderBottom, station_.test,
                       station_.currentRepetition);
    // Integration points: the readouts and the curve graph (ViewMode 1) and the live
    // guidance screen (ViewMode 3) draw here once they exist.
}

void StationView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    QPainterDrawContext dc(painter);
    draw(dc);
}

}  // namespace vanta
