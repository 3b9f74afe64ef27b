// The main view: it shows the screen that ViewMode names, paints it through a drawing
// context, passes on mouse presses, and binds the commands the view owns to the screens.
// The screens themselves (station/screens) know no widgets.
#pragma once

#include <QTimer>
#include <QWidget>

#include "app/report_printer.h"
#include "reports/spreadsheet_export.h"
#include "app/screens/guidance_picture.h"
#include "station/bar_host.h"
#include "station/command_router.h"
#include "station/file_commands.h"
#include "station/operator_dialogs.h"
#include "station/screens/station_screens.h"
#include "station/station.h"
#include "station/view_host.h"

namespace vanta {

class ReportTable;

class StationView : public QWidget, public ViewHost {
    Q_OBJECT
public:
    StationView(Station& station, CommandRouter& router, BarHost& bars, FileCommands& files, OperatorDialogs& dialogs,
                QWidget* parent = nullptr);
    ~StationView() override;

    StationScreens& screens() { return screens_; }
    // Print and Print Preview print the screen on show; Print Setup uses the same printer.
    ReportPrinter& reportPrinter() { return printer_; }
    // The report table: a child of the view for the view's whole life.
    ReportTable& reportTable() const { return *table_; }
    // What opens an exported file: the desktop's program for it unless a test replaces it.
    void setFileOpener(FileOpener opener) { opener_ = std::move(opener); }
    // Hands a file to the desktop as the export does (the user guide goes to the browser).
    bool openWithDesktop(const std::string& path) const { return opener_ && opener_(path); }

    // The timers of the measurement (id 3) and calibration (id 5) screens. A tick only posts
    // its command (32791 or 154) through the router; the command does the work.
    void startTickTimer(int timerId) override;
    void stopTickTimer(int timerId) override;
    bool tickTimerActive(int timerId) const override;
    using QWidget::repaint;
    using QWidget::update;
    void repaint() override { QWidget::repaint(); }
    void update() override { QWidget::update(); }

    Rect clientRect() const override { return Rect{0, 0, width(), height()}; }
    void takeFocus() override { setFocus(Qt::OtherFocusReason); }
    void showGuidance(bool on) override;
    void drawGuidance(const std::function<std::vector<Rect>(DrawContext&)>& draw) override;
    void showReportTable(const Rect& where, const RepetitionResults& results, int fontHeight,
                         float columnWidthScale) override;
    void hideReportTable() override;
    // What the guidance ticks have drawn so far (for the tests and screenshots).
    const GuidancePicture& guidancePicture() const { return guidance_; }
    // The report table has rows and a place on the view.
    bool reportTableShown() const;

    // The screen on show drawn on any drawing context: the view's painting and the tests
    // use it.
    void draw(DrawContext& dc);

protected:
    void paintEvent(QPaintEvent* event) override;
    // A new size: the guidance picture starts white at it (the next tick draws the
    // guidance at the new layout) and the screen on show places its parts anew.
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    // Esc abandons a running attempt or calibration, as BACK does.
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void bindCommands();

    Station& station_;
    CommandRouter& router_;
    OperatorDialogs& dialogs_;
    ReportTable* table_;  // owned by the view as its child widget
    FileOpener opener_;
    StationScreens screens_;
    ReportPrinter printer_;
    QTimer liveTimer_;
    QTimer calibrationTimer_;
    GuidancePicture guidance_;
    bool guidanceOn_ = false;
    int wheelEighths_ = 0;  // the wheel's turn not yet scrolled as a whole line
};

}  // namespace vanta
