// The main view: one screen at a time, chosen by ViewMode (idle, measurement, calibration,
// curve graph, digital report). It handles the screen commands, the dialog-bar controls
// and the timer commands, and paints the screen on show.
#pragma once

#include <QTimer>
#include <QWidget>

#include "station/command_router.h"
#include "station/operator_dialogs.h"
#include "station/station.h"
#include "canvas/draw_context.h"

namespace vanta {

class MainWindow;

// The view's rectangle for the page header (pixels of the client area).
inline constexpr int kHeaderLeft = 10, kHeaderTop = 5, kHeaderRight = 740, kHeaderBottom = 30;

class StationView : public QWidget {
    Q_OBJECT
public:
    StationView(Station& station, CommandRouter& router, MainWindow& frame, OperatorDialogs& dialogs,
                     QWidget* parent = nullptr);
    ~StationView() override;

    // Command 32822 and the last step of EXIT: idle screen, no bar, repetition 0.
    void resetToIdle();

    // The timers of the measurement (id 3) and calibration (id 5) screens. A tick only posts
    // its command (32791 or 154) through the router; the command does the work.
    void startTickTimer(int timerId);
    void stopTickTimer(int timerId);
    bool tickTimerActive(int timerId) const;

    int livePhase() const { return livePhase_; }

    // The view's draw operation on any drawing context: the screen's painting and the
    // tests use it.
    void draw(DrawContext& dc) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void bindCommands();
    void askToSaveFirst();

    void onPerform();
    void onStart();
    void onIgnore();
    void onBack();
    void onExitMeasurement();
    void onCalibration();
    void onDigitalReport();
    void onSelectRepetition();
    void onCurveGraph();
    void onCurveRepetition();
    void onQuantityBox(int id);
    void showMeasurementBar();

    Station& station_;
    CommandRouter& router_;
    MainWindow& frame_;
    OperatorDialogs& dialogs_;
    QTimer liveTimer_;
    QTimer calibrationTimer_;
    int livePhase_ = 0;
};

}  // namespace vanta
