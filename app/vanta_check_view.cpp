#include "app/vanta_check_view.h"

#include <QPaintEvent>
#include <QPainter>

#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "app/main_frame.h"
#include "station/subject_commands.h"
#include "canvas/qpainter_draw_context.h"
#include "reports/page_header.h"

namespace vanta {

CVanta_checkView::CVanta_checkView(Station& station, CommandRouter& router, CMainFrame& frame,
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
    connect(&liveTimer_, &QTimer::timeout, this, [this] { router_.post(cmd::LiveTick); });
    connect(&calibrationTimer_, &QTimer::timeout, this, [this] { router_.post(cmd::CalibrationTick); });

    bindCommands();
}

CVanta_checkView::~CVanta_checkView() { router_.unbindAll(CommandOwner::View); }

void CVanta_checkView::bindCommands() {
    auto bindPlain = [this](int id, void (CVanta_checkView::*fn)()) {
        router_.bind(CommandOwner::View, id, [this, fn](Notification) { (this->*fn)(); });
    };
    // Commands whose screens come with later work: they are routed and enabled by their
    // rules now and do nothing yet (printing, export, cursors, zoom, the live and
    // calibration ticks). Each is marked where it is bound.
    auto later = [this](int id) { router_.bind(CommandOwner::View, id, [](Notification) {}); };

    bindPlain(cmd::Perform, &CVanta_checkView::onPerform);
    bindPlain(cmd::Start, &CVanta_checkView::onStart);
    bindPlain(cmd::Back, &CVanta_checkView::onBack);
    bindPlain(cmd::Exit, &CVanta_checkView::onExitMeasurement);
    bindPlain(cmd::Calibration, &CVanta_checkView::onCalibration);
    bindPlain(cmd::DigitalReport, &CVanta_checkView::onDigitalReport);
    bindPlain(cmd::CurveGraph, &CVanta_checkView::onCurveGraph);
    bindPlain(cmd::ReportRepetitionBox, &CVanta_checkView::onSelectRepetition);
    bindPlain(cmd::ResetToIdle, &CVanta_checkView::resetToIdle);
    router_.bind(CommandOwner::View, cmd::SubjectInfoSetup,
                 [this](Notification) { runSubjectInfoSetup(station_, dialogs_); });

    // 1075 is IGNORE on the measurement bar (a click) and the repetition list of the curve
    // bar (a selection change): the notification tells them apart.
    router_.bind(CommandOwner::View, cmd::Ignore, [this](Notification n) {
        if (n == Notification::Clicked)
            onIgnore();
        else
            onCurveRepetition();
    });
    router_.bind(CommandOwner::View, cmd::Y1Box, [this](Notification) { onQuantityBox(cmd::Y1Box); });
    router_.bind(CommandOwner::View, cmd::Y2Box, [this](Notification) { onQuantityBox(cmd::Y2Box); });

    later(cmd::FilePrint);         // printed reports and preview: later work
    later(cmd::FilePrintPreview);  // printed reports and preview: later work
    later(cmd::ExportXml);         // spreadsheet export: later work
    later(cmd::Zoom);              // cursors and zoom: later work
    later(cmd::CursorLeftLeft);
    later(cmd::CursorLeftRight);
    later(cmd::CursorRightLeft);
    later(cmd::CursorRightRight);
    later(cmd::LiveTick);         // live tick processing: later work (measurement screen)
    later(cmd::CalibrationTick);  // calibration tick: later work (measurement screen)
}

void CVanta_checkView::startTickTimer(int timerId) {
    if (timerId == kLiveTimerId) liveTimer_.start();
    if (timerId == kCalibrationTimerId) calibrationTimer_.start();
}

void CVanta_checkView::stopTickTimer(int timerId) {
    if (timerId == kLiveTimerId) liveTimer_.stop();
    if (timerId == kCalibrationTimerId) calibrationTimer_.stop();
}

bool CVanta_checkView::tickTimerActive(int timerId) const {
    if (timerId == kLiveTimerId) return liveTimer_.isActive();
    if (timerId == kCalibrationTimerId) return calibrationTimer_.isActive();
    return false;
}

void CVanta_checkView::resetToIdle() {
    station_.viewMode = kViewIdle;
    station_.currentRepetition = 0;
    frame_.hideBar();
    // Integration point (digital report table): clear the report table and give it the
    // empty rectangle once the table control exists.
    repaint();
}

void CVanta_checkView::askToSaveFirst() {
    if (station_.test.saved == 0 && dialogs_.askYesNo(kMsgDataNotSaved)) frame_.saveTest();
}

// Exercise > "Perform": a new test on the measurement screen.
void CVanta_checkView::onPerform() {
    resetToIdle();
    askToSaveFirst();
    station_.test.repetitionCount = 0;
    livePhase_ = 0;
    station_.viewMode = kViewMeasurement;
    showMeasurementBar();
    frame_.showBarControl(cmd::Back, false);
    frame_.showBarControl(cmd::Ignore, false);
    station_.resultsAvailable = 0;
    station_.lastFilePath.clear();
    // Integration point (curve graph): the result view's default graph selection and
    // cursors are set here once the graph screen exists.
    update();
}

// The measurement bar from the last load and radius; START, IGNORE and EXIT shown.
void CVanta_checkView::showMeasurementBar() {
    frame_.showBar(kMeasurementBarTemplate);
    const ListContents loads = loadListContents(station_.settings.currentLoad);
    frame_.fillBarList(cmd::LoadList, loads.entries, loads.selected);
    frame_.setBarText(cmd::RadiusBox, barNumberText(station_.settings.currentRadius));
    frame_.showBarControl(cmd::Start, true);
    frame_.showBarControl(cmd::Ignore, true);
    frame_.showBarControl(cmd::Exit, true);
    frame_.showBarControl(cmd::Back, false);
    frame_.showBarControl(cmd::LoadList, true);
}

// START: the load and radius of the attempt are taken from the bar.
void CVanta_checkView::onStart() {
    TestRecord& test = station_.test;
    if (test.repetitionCount >= kMaxRepetitions) {
        dialogs_.message(kMsgMaxAttempts);
        return;
    }
    station_.currentRepetition = test.repetitionCount;
    const float load = frame_.readBarNumber(cmd::LoadList);
    const float radius = frame_.readBarNumber(cmd::RadiusBox);
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
void CVanta_checkView::onIgnore() {
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
void CVanta_checkView::onBack() {
    // Integration point (attempt workflow with the device link): mark the store full,
    // stop timer 3 and the acquisition before the bar is rebuilt.
    stopTickTimer(kLiveTimerId);
    showMeasurementBar();
    update();
}

// EXIT: the recorded test may be reported; back to the idle screen.
void CVanta_checkView::onExitMeasurement() {
    station_.resultsAvailable = 1;
    resetToIdle();
}

// Setup > "Calibration": the calibration screen.
void CVanta_checkView::onCalibration() {
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
void CVanta_checkView::onDigitalReport() {
    if (station_.viewMode == kViewDigitalReport) return;
    frame_.showBar(kReportBarTemplate);
    const ListContents reps = reportRepetitionContents(station_.test.repetitionCount);
    frame_.fillBarList(cmd::ReportRepetitionBox, reps.entries, reps.selected);
    station_.selectedRepetition = 0;
    station_.viewMode = kViewDigitalReport;
    // Integration point (digital report table): fill the table with repetition 0 and
    // place it at 10, 50, 730 x 220.
    repaint();
}

void CVanta_checkView::onSelectRepetition() {
    station_.selectedRepetition = frame_.barSelection(cmd::ReportRepetitionBox);
    // Integration point (digital report table): clear it, then refill it on the report
    // screen.
    if (station_.viewMode != kViewDigitalReport) dialogs_.message(kMsgInternalErrorInterval);
    repaint();
}

// Report > "Curve graph": the curve bar with repetitions and both quantity boxes.
void CVanta_checkView::onCurveGraph() {
    if (station_.viewMode == kViewCurveGraph) return;
    station_.currentRepetition = 0;
    // Integration point (curve graph): window and cursors from the stroke range of
    // repetition 0.
    frame_.showBar(kCurveBarTemplate);
    const ListContents reps = curveRepetitionContents(station_.test.repetitionCount);
    frame_.fillBarList(cmd::RepetitionSelector, reps.entries, reps.selected);
    const GraphSettings& g = station_.settings.graph;
    frame_.fillBarList(cmd::Y1Box, curveQuantityTitles(), g.graphY1Quantity);
    frame_.fillBarList(cmd::Y2Box, curveQuantityTitles(), g.graphY2Quantity);
    station_.viewMode = kViewCurveGraph;
    update();
}

void CVanta_checkView::onCurveRepetition() {
    const int chosen = frame_.barSelection(cmd::RepetitionSelector);
    if (chosen < 0) return;
    station_.currentRepetition = chosen;
    update();
}

void CVanta_checkView::onQuantityBox(int id) {
    const int chosen = frame_.barSelection(id);
    if (chosen < 0) return;
    // The choice is kept in the settings and so survives a restart.
    if (id == cmd::Y1Box)
        station_.settings.graph.graphY1Quantity = chosen;
    else
        station_.settings.graph.graphY2Quantity = chosen;
    update();
}

void CVanta_checkView::draw(DrawContext& dc) const {
    // The header names the test whenever one may be reported, on every screen; it shows
    // the view's current repetition, whatever another screen has chosen.
    if (station_.resultsAvailable == 1)
        drawPageHeader(dc, kHeaderLeft, kHeaderTop, kHeaderRight, kHeaderBottom, station_.test,
                       station_.currentRepetition);
    // Integration points: the readouts and the curve graph (ViewMode 1) and the live
    // guidance screen (ViewMode 3) draw here once they exist.
}

void CVanta_checkView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    QPainterDrawContext dc(painter);
    draw(dc);
}

}  // namespace vanta
