#include "app/station_view.h"

#include <QDesktopServices>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QUrl>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>

#include "app/screens/report_table.h"
#include "canvas/qpainter_draw_context.h"
#include "station/command_ids.h"
#include "station/subject_commands.h"

namespace vanta {

StationView::StationView(Station& station, CommandRouter& router, BarHost& bars, FileCommands& files,
                         OperatorDialogs& dialogs, QWidget* parent)
    : QWidget(parent),
      station_(station),
      router_(router),
      dialogs_(dialogs),
      table_(new ReportTable(this)),
      // xdg-open on Linux: the spreadsheet program the desktop has for the file. Whether
      // one started is told to the operator by the export, so Qt's own warning about a
      // desktop without a launcher stays off standard error.
      opener_([](const std::string& path) {
          const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&,
                                                                      const QString&) {});
          const bool started = QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
          qInstallMessageHandler(previous);
          return started;
      }),
      screens_(station, bars, *this, dialogs, files, *table_,
               [this](const std::string& path) { return opener_ && opener_(path); }) {
    setObjectName(QStringLiteral("mainView"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);
    // The screens paint at fixed pixels: the header and readouts reach x 740, the curve
    // graph's right labels x 740 and its "TIME (ms)" title y 590. A smaller view would cut
    // them off, so the window grows to hold it whatever bar is docked above.
    setMinimumSize(750, 600);

    liveTimer_.setInterval(kTickPeriodMs);
    calibrationTimer_.setInterval(kTickPeriodMs);
    connect(&liveTimer_, &QTimer::timeout, this, [this] { router_.post(cmd::kLiveTick); });
    connect(&calibrationTimer_, &QTimer::timeout, this, [this] { router_.post(cmd::kCalibrationTick); });

    bindCommands();
}

StationView::~StationView() { router_.unbindAll(CommandOwner::View); }

void StationView::bindCommands() {
    // Every command the table gives the view goes to the screens, except printing, which
    // prints the screen on show with the platform's dialogs, and the choice of how subject
    // data are kept, which belongs to no screen.
    for (const CommandInfo& info : commandTable()) {
        if (info.owner != CommandOwner::View) continue;
        if (info.id == cmd::kFilePrint) {
            router_.bind(CommandOwner::View, info.id, [this](Notification) { printer_.print(screens_.printJob(), window()); });
        } else if (info.id == cmd::kFilePrintPreview) {
            router_.bind(CommandOwner::View, info.id, [this](Notification) { printer_.preview(screens_.printJob(), window()); });
        } else if (info.id == cmd::kSubjectInfoSetup) {
            router_.bind(CommandOwner::View, info.id,
                         [this](Notification) { runSubjectInfoSetup(station_, dialogs_); });
        } else {
            router_.bind(CommandOwner::View, info.id,
                         [this, id = info.id](Notification n) { screens_.command(id, n); });
        }
    }
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

void StationView::showGuidance(bool on) {
    guidanceOn_ = on;
    if (on) guidance_.reset(size());
    update();
}

void StationView::drawGuidance(const std::function<std::vector<Rect>(DrawContext&)>& draw) {
    if (!guidanceOn_) return;
    // The view was resized since: the picture starts white at the new size.
    if (guidance_.size() != size()) guidance_.reset(size());
    for (const Rect& r : guidance_.draw(draw)) {
        // One pixel around for the outlines' pens.
        const QRect area = QRect(QPoint(r.left, r.top), QPoint(r.right, r.bottom)).normalized().adjusted(-1, -1, 1, 1);
        QWidget::update(area);
    }
}

// The measurement screen's report of the stored attempt: the same table as the digital
// report's, in the large bold font the screen chose.
void StationView::showReportTable(const Rect& where, const RepetitionResults& results, int fontHeight,
                                  float columnWidthScale) {
    table_->clearTable();
    table_->setTableFont(fontHeight, 700);
    table_->fillDigitalReport(results, columnWidthScale);
    table_->fitFirstColumn();
    table_->placeTable(where);
}

void StationView::hideReportTable() {
    table_->clearTable();
    table_->placeTable(kHiddenTableRect);
}

bool StationView::reportTableShown() const { return table_->rowCount() > 0 && !table_->geometry().isEmpty(); }

void StationView::draw(DrawContext& dc) { screens_.draw(dc); }

void StationView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (guidanceOn_) guidance_.paint(painter);
    QPainterDrawContext dc(painter);
    draw(dc);
}

void StationView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (guidanceOn_) guidance_.reset(size());
    screens_.resized();
}

void StationView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape &&
        (liveTimer_.isActive() || calibrationTimer_.isActive())) {
        router_.execute(cmd::kBack);
        return;
    }
    // A screen longer than the view (the history of many tests) scrolls.
    switch (event->key()) {
        case Qt::Key_PageDown: screens_.scroll(1, true); return;
        case Qt::Key_PageUp: screens_.scroll(-1, true); return;
        case Qt::Key_Down: screens_.scroll(1, false); return;
        case Qt::Key_Up: screens_.scroll(-1, false); return;
        case Qt::Key_Home: screens_.scroll(-1000000, false); return;
        case Qt::Key_End: screens_.scroll(1000000, false); return;
        default: break;
    }
    QWidget::keyPressEvent(event);
}

// One notch of the wheel (120 eighths of a degree) is three lines.
void StationView::wheelEvent(QWheelEvent* event) {
    wheelEighths_ += event->angleDelta().y();
    const int lines = -wheelEighths_ / 40;
    wheelEighths_ += lines * 40;
    if (lines != 0) screens_.scroll(lines, false);
    event->accept();
}

void StationView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) {
        const QPoint at = event->position().toPoint();
        screens_.mousePress(Point{at.x(), at.y()},
                            event->button() == Qt::LeftButton ? MouseButton::Left : MouseButton::Right);
    }
    QWidget::mousePressEvent(event);
}

}  // namespace vanta
