// The dialog bars of the main frame, built from their templates: the report bar (138), the
// curve bar (140) and the measurement bar (144). Positions are the templates' dialog
// units, turned into pixels with the bar font's average character size, as dialog
// layouts have always been. Every control reports to the command routing with its id.
#pragma once

#include <QWidget>

#include <functional>
#include <map>

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

private:
    DialogBar(int templateId, Sink sink, QWidget* parent);

    QRect dluRect(int x, int y, int w, int h) const;
    void setSizeDlu(int w, int h);
    void label(const char* text, int x, int y, int w, int h, int id = 0);
    void button(const char* text, int id, int x, int y, int w, int h);
    void dropList(int id, int x, int y, int w, bool editable, bool scrollBar = false);
    void editBox(int id, int x, int y, int w, int h);
    void groupFrame(const char* text, int x, int y, int w, int h);

    void buildReportBar();
    void buildCurveBar();
    void buildMeasurementBar();

    int templateId_;
    Sink sink_;
    double unitX_ = 1.5;
    double unitY_ = 1.625;
    std::map<int, QWidget*> controls_;
};

}  // namespace vanta
