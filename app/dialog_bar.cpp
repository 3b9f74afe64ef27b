#include "app/dialog_bar.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "station/bar_contents.h"
#include "station/command_ids.h"

namespace vanta {

namespace {
// A combo box shows one line; the rest of a template's height is its drop-down list.
constexpr int kComboLineDlu = 12;
}  // namespace

DialogBar::DialogBar(int templateId, Sink sink, QWidget* parent)
    : QWidget(parent), templateId_(templateId), sink_(std::move(sink)) {
    setObjectName(QStringLiteral("dialogBar%1").arg(templateId));
    // One dialog unit is a quarter of the font's average width of the 52 letters and an
    // eighth of its character height, the way dialog layouts have always been measured.
    const QFontMetricsF fm(font());
    unitX_ = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0 / 4.0;
    unitY_ = fm.height() / 8.0;
}

DialogBar* DialogBar::create(int templateId, Sink sink, QWidget* parent) {
    if (templateId != kReportBarTemplate && templateId != kCurveBarTemplate &&
        templateId != kMeasurementBarTemplate)
        return nullptr;
    auto* bar = new DialogBar(templateId, std::move(sink), parent);
    switch (templateId) {
        case kReportBarTemplate: bar->buildReportBar(); break;
        case kCurveBarTemplate: bar->buildCurveBar(); break;
        default: bar->buildMeasurementBar(); break;
    }
    // The bar is as wide as its controls reach (plus the left margin), so a wide template
    // does not force the window wider than the screen it shows.
    int right = 0;
    for (QWidget* child : bar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        right = qMax(right, child->geometry().right());
    bar->setFixedWidth(qMin(bar->width(), right + 1 + bar->dluRect(0, 0, 7, 0).width()));
    return bar;
}

QWidget* DialogBar::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QRect DialogBar::dluRect(int x, int y, int w, int h) const {
    return QRect(qRound(x * unitX_), qRound(y * unitY_), qRound(w * unitX_), qRound(h * unitY_));
}

void DialogBar::setSizeDlu(int w, int h) {
    const QRect r = dluRect(0, 0, w, h);
    setFixedSize(r.size());
}

void DialogBar::label(const char* text, int x, int y, int w, int h, int id) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    l->setGeometry(dluRect(x, y, w, h));
    if (id) {
        l->setObjectName(QStringLiteral("ctl%1").arg(id));
        controls_[id] = l;
    }
}

void DialogBar::button(const char* text, int id, int x, int y, int w, int h) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    b->setObjectName(QStringLiteral("ctl%1").arg(id));
    b->setGeometry(dluRect(x, y, w, h));
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, id] { sink_(id, Notification::Clicked); });
    controls_[id] = b;
}

void DialogBar::dropList(int id, int x, int y, int w, bool editable, bool scrollBar) {
    auto* c = new QComboBox(this);
    c->setObjectName(QStringLiteral("ctl%1").arg(id));
    c->setEditable(editable);
    if (editable) {
        c->setInsertPolicy(QComboBox::NoInsert);  // a typed value is read, never added
        c->lineEdit()->setMaxLength(kBarTextLimit);
    }
    if (scrollBar) c->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c->setGeometry(dluRect(x, y, w, kComboLineDlu));
    // Only the operator's choice is a notification; filling the list is silent.
    connect(c, &QComboBox::activated, this, [this, id](int) { sink_(id, Notification::SelectionChanged); });
    controls_[id] = c;
}

void DialogBar::editBox(int id, int x, int y, int w, int h) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QStringLiteral("ctl%1").arg(id));
    e->setMaxLength(kBarTextLimit);
    e->setGeometry(dluRect(x, y, w, h));
    controls_[id] = e;
}

void DialogBar::groupFrame(const char* text, int x, int y, int w, int h) {
    auto* g = new QGroupBox(QString::fromUtf8(text), this);
    g->setGeometry(dluRect(x, y, w, h));
}

// Report bar: the repetition box and "Export xml" (320 x 26 dialog units).
void DialogBar::buildReportBar() {
    setSizeDlu(320, 26);
    dropList(cmd::kReportRepetitionBox, 7, 7, 85, false, true);
    button("Export xml", cmd::kExportXml, 231, 7, 38, 14);
}

// Curve bar: both quantity boxes, the cursor buttons, the repetition list and "Zoom"
// (477 x 26 dialog units). The group frames go first so the buttons lie on top of them.
void DialogBar::buildCurveBar() {
    setSizeDlu(477, 26);
    label("Y1 parameter", 7, 1, 50, 9, cmd::kY1Label);
    dropList(cmd::kY1Box, 7, 11, 65, false);
    groupFrame("XL", 98, 1, 65, 23);
    button("<<", cmd::kCursorLeftLeft, 99, 8, 23, 14);
    button(">>", cmd::kCursorLeftRight, 136, 8, 23, 14);
    dropList(cmd::kRepetitionSelector, 188, 6, 62, false);
    button("Zoom", cmd::kZoom, 274, 7, 23, 14);
    groupFrame("XR", 333, 1, 66, 23);
    button("<<", cmd::kCursorRightLeft, 335, 8, 23, 14);
    button(">>", cmd::kCursorRightRight, 373, 8, 23, 14);
    label("Y2 parameter", 405, 1, 50, 9, cmd::kY2Label);
    dropList(cmd::kY2Box, 405, 11, 65, false);
}

// Measurement bar: load and radius, then the four buttons (572 x 29 dialog units).
void DialogBar::buildMeasurementBar() {
    setSizeDlu(572, 29);
    label("Set weight (kg):", 7, 10, 62, 9);
    dropList(cmd::kLoadList, 70, 8, 48, true);
    label("Radius (cm):", 128, 10, 48, 9);
    editBox(cmd::kRadiusBox, 178, 8, 40, 12);
    button("START", cmd::kStart, 240, 6, 56, 17);
    button("IGNORE", cmd::kIgnore, 306, 6, 56, 17);
    button("BACK", cmd::kBack, 372, 6, 56, 17);
    button("EXIT", cmd::kExit, 438, 6, 56, 17);
}

}  // namespace vanta
