// The dialog bars of the main frame, built from their templates: the report bar (138), the
// curve bar (140), the measurement bar (144), the calibration's BACK (145) and the
// history's load box (146). Positions
// are the templates' dialog units, turned into pixels with the bar font's average
// character size, as dialog layouts have always been. Every control reports to the command routing with its id.
//
// A bar fits the window it is shown in: where the window is narrower than the template at
// the font's size, the dialog units are narrowed to fit (to 60 % at the most), instead of
// the bar forcing the window wider. A button or label is never narrower than its text,
// a list never narrower than its longest entry where it says so.
#pragma once

#include <QWidget>

#include <functional>
#include <map>
#include <vector>

#include "station/command_router.h"

namespace vanta {

class DialogBar : public QWidget {
    Q_OBJECT
public:
    using Sink = std::function<void(int id, Notification)>;

    // nullptr for a template the station does not have.
    static DialogBar* create(int templateId, Sink sink, QWidget* parent = nullptr);

    int templateId() const { return templateId_; }
    // The control with that id, or nullptr.
    QWidget* control(int id) const;
    // A drop-down list's text as the station reads it: the selected entry's, or with no
    // selection (none chosen, or typed over) the typed text.
    QString listText(int id) const;
    // A label's text: a long one is cut with "…" at the room the label has (again when the
    // bar changes width), the whole text in its tooltip. The last label of a line reaches
    // to the bar's right edge.
    void setLabelText(int id, const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    DialogBar(int templateId, Sink sink, QWidget* parent);

    QRect dluRect(int x, int y, int w, int h) const;
    void setSizeDlu(int w, int h);
    void place(QWidget* w, int x, int y, int width, int height);
    void placeControls();
    void label(const char* text, int x, int y, int w, int h, int id = 0);
    void button(const char* text, int id, int x, int y, int w, int h);
    void dropList(int id, int x, int y, int w, bool editable, bool scrollBar = false);
    // The list is never narrower than its longest entry of `entries` needs.
    void fitListTo(int id, const std::vector<std::string>& entries);
    void editBox(int id, int x, int y, int w, int h);
    void groupFrame(const char* text, int x, int y, int w, int h);

    void buildReportBar();
    void buildCurveBar();
    void buildMeasurementBar();
    void buildCalibrationBar();
    void buildHistoryBar();
    void buildProfileBar();

    int templateId_;
    Sink sink_;
    double fontUnitX_ = 1.5;  // from the font: the template's own size
    double unitX_ = 1.5;      // as laid out now (narrowed in a narrow window)
    double unitY_ = 1.625;
    int widthDlu_ = 0;        // the template's width, or less where its controls end
    struct Placement {
        QWidget* widget;
        int x, y, width, height;  // dialog units
        int minWidthPx = 0;       // never narrower than this (a list's longest entry)
    };
    std::vector<Placement> placements_;
    std::map<int, QWidget*> controls_;
};

}  // namespace vanta
