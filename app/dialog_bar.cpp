#include "app/dialog_bar.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>

#include "station/bar_contents.h"
#include "station/command_ids.h"

namespace vanta {

namespace {
// A combo box shows one line; the rest of a template's height is its drop-down list.
constexpr int kComboLineDlu = 12;
// Set on an editable list while the operator's typing stands in place of a selection.
constexpr const char* kTypedProperty = "vantaTyped";
// A label's whole text, where it may be shown cut short.
constexpr const char* kWholeTextProperty = "vantaWholeText";

bool sameLine(const QRect& a, const QRect& b) { return a.top() < b.bottom() && b.top() < a.bottom(); }

// "Subject: Ana Kovač" where it fits; else what follows the ": ", the name itself, as
// much of it as fits ("Ana Kov…"): the name is what the operator looks for.
QString fittedText(const QString& whole, const QFontMetrics& fm, int width) {
    if (fm.horizontalAdvance(whole) <= width) return whole;
    const qsizetype colon = whole.indexOf(QStringLiteral(": "));
    const QString shown = colon > 0 ? whole.mid(colon + 2) : whole;
    return fm.elidedText(shown, Qt::ElideRight, width);
}
}  // namespace

DialogBar::DialogBar(int templateId, Sink sink, QWidget* parent)
    : QWidget(parent), templateId_(templateId), sink_(std::move(sink)) {
    setObjectName(QStringLiteral("dialogBar%1").arg(templateId));
    // One dialog unit is a quarter of the font's average width of the 52 letters and an
    // eighth of its character height, the way dialog layouts have always been measured.
    const QFontMetricsF fm(font());
    fontUnitX_ = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0 / 4.0;
    unitX_ = fontUnitX_;
    unitY_ = fm.height() / 8.0;
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

DialogBar* DialogBar::create(int templateId, Sink sink, QWidget* parent) {
    if (templateId != kReportBarTemplate && templateId != kCurveBarTemplate &&
        templateId != kMeasurementBarTemplate && templateId != kCalibrationBarTemplate &&
        templateId != kHistoryBarTemplate && templateId != kProfileBarTemplate)
        return nullptr;
    auto* bar = new DialogBar(templateId, std::move(sink), parent);
    switch (templateId) {
        case kReportBarTemplate: bar->buildReportBar(); break;
        case kCurveBarTemplate: bar->buildCurveBar(); break;
        case kCalibrationBarTemplate: bar->buildCalibrationBar(); break;
        case kHistoryBarTemplate: bar->buildHistoryBar(); break;
        case kProfileBarTemplate: bar->buildProfileBar(); break;
        default: bar->buildMeasurementBar(); break;
    }
    // The bar reaches as far as its controls (plus the left margin), not to the template's
    // right edge.
    int right = 0;
    for (const Placement& p : bar->placements_) right = qMax(right, p.x + p.width);
    bar->widthDlu_ = qMin(bar->widthDlu_, right + 7);
    bar->placeControls();
    return bar;
}

QWidget* DialogBar::control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QString DialogBar::listText(int id) const {
    auto* box = qobject_cast<QComboBox*>(control(id));
    if (!box) return {};
    const int selected = box->property(kTypedProperty).toBool() ? -1 : box->currentIndex();
    return selected >= 0 ? box->itemText(selected) : box->currentText();
}

QRect DialogBar::dluRect(int x, int y, int w, int h) const {
    return QRect(qRound(x * unitX_), qRound(y * unitY_), qRound(w * unitX_), qRound(h * unitY_));
}

void DialogBar::setSizeDlu(int w, int h) {
    widthDlu_ = w;
    setFixedHeight(dluRect(0, 0, w, h).height());
}

QSize DialogBar::sizeHint() const {
    // A list widened to its longest entry may reach past the template's right edge.
    double right = widthDlu_ * fontUnitX_;
    for (const Placement& p : placements_)
        if (p.minWidthPx > 0) right = qMax(right, (p.x + 7) * fontUnitX_ + p.minWidthPx);
    return QSize(qRound(right), height());
}

QSize DialogBar::minimumSizeHint() const { return QSize(qRound(widthDlu_ * fontUnitX_ * 0.6), height()); }

void DialogBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    placeControls();
}

void DialogBar::place(QWidget* w, int x, int y, int width, int height) {
    placements_.push_back(Placement{w, x, y, width, height});
}

void DialogBar::placeControls() {
    unitX_ = widthDlu_ > 0 ? qMin(fontUnitX_, width() / static_cast<double>(widthDlu_)) : fontUnitX_;
    unitX_ = qMax(unitX_, fontUnitX_ * 0.6);
    // A bar narrower than its template brings its controls closer together, but a control
    // never starts inside the one before it on its line, nor inside a label's text ("Set
    // weight (kg" with the list over its end): it moves right as far as it must, and the
    // ones after it only where they would then be covered in turn. A group's frame is
    // drawn around its buttons and takes no room of its own.
    const int gap = qRound(2 * fontUnitX_);
    QRect before;  // what the next control on the line must not start inside
    bool beforeLabel = false;
    std::vector<QRect> placed(placements_.size());
    for (size_t i = 0; i < placements_.size(); ++i) {
        const Placement& p = placements_[i];
        QRect r = dluRect(p.x, p.y, p.width, p.height);
        auto* l = qobject_cast<QLabel*>(p.widget);
        const bool frame = !l && qobject_cast<QFrame*>(p.widget);
        // A label's control follows it closely; the next label stands apart from a control.
        const int room = beforeLabel ? gap : qRound(5 * fontUnitX_);
        if (!frame && !before.isNull() && sameLine(r, before) && r.left() > before.left() &&
            r.left() < before.right() + room)
            r.moveLeft(before.right() + room);
        r.setWidth(qMax(r.width(), p.minWidthPx));
        // A list widened to its longest entry at the bar's right end stays inside the bar.
        if (p.minWidthPx > 0 && r.right() >= width()) r.moveRight(width() - 1);
        // A button keeps room for its text and a margin on either side.
        if (auto* b = qobject_cast<QPushButton*>(p.widget))
            r.setWidth(qMax(r.width(), b->fontMetrics().horizontalAdvance(b->text()) + 2 * qRound(4 * fontUnitX_)));
        // So does a label ("Y1 parameter", not "Y1 parame"). A label that may be cut
        // short takes the room up to the next control on its line, or to the bar's end.
        if (l && l->property(kWholeTextProperty).isValid()) {
            int right = width() - gap;
            for (size_t k = i + 1; k < placements_.size(); ++k) {
                const QRect next = dluRect(placements_[k].x, placements_[k].y, placements_[k].width,
                                           placements_[k].height);
                if (sameLine(next, r) && next.left() > r.left()) right = qMin(right, next.left() - gap);
            }
            r.setRight(qMax(r.left() + 40, right));
            l->setText(fittedText(l->property(kWholeTextProperty).toString(), l->fontMetrics(), r.width()));
        } else if (l) {
            r.setWidth(qMax(r.width(), l->fontMetrics().horizontalAdvance(l->text()) + 1));
        }
        if (l) before = QRect(r.left(), r.top(), l->fontMetrics().horizontalAdvance(l->text()), r.height());
        else if (!frame) before = r;
        if (!frame) beforeLabel = l != nullptr;
        p.widget->setGeometry(r);
    }
}

void DialogBar::setLabelText(int id, const QString& text) {
    auto* l = qobject_cast<QLabel*>(control(id));
    if (!l) return;
    l->setProperty(kWholeTextProperty, text);
    l->setToolTip(text);
    placeControls();
}

void DialogBar::label(const char* text, int x, int y, int w, int h, int id) {
    auto* l = new QLabel(QString::fromUtf8(text), this);
    place(l, x, y, w, h);
    if (id) {
        l->setObjectName(QStringLiteral("ctl%1").arg(id));
        controls_[id] = l;
    }
}

void DialogBar::button(const char* text, int id, int x, int y, int w, int h) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    b->setObjectName(QStringLiteral("ctl%1").arg(id));
    place(b, x, y, w, h);
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
        // Typing leaves no entry selected, as in every drop-down list with an edit field;
        // choosing an entry (or filling the list) selects one again.
        connect(c->lineEdit(), &QLineEdit::textEdited, c, [c] { c->setProperty(kTypedProperty, true); });
        connect(c, &QComboBox::currentIndexChanged, c, [c] { c->setProperty(kTypedProperty, false); });
        connect(c, &QComboBox::activated, c, [c] { c->setProperty(kTypedProperty, false); });
    }
    if (scrollBar) c->view()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    place(c, x, y, w, kComboLineDlu);
    // Only the operator's choice is a notification; filling the list is silent.
    connect(c, &QComboBox::activated, this, [this, id](int) { sink_(id, Notification::SelectionChanged); });
    controls_[id] = c;
}

void DialogBar::fitListTo(int id, const std::vector<std::string>& entries) {
    auto* box = qobject_cast<QComboBox*>(control(id));
    if (!box) return;
    int widest = 0;
    for (const std::string& e : entries)
        widest = qMax(widest, box->fontMetrics().horizontalAdvance(QString::fromStdString(e)));
    QStyleOptionComboBox option;
    option.initFrom(box);
    const int width =
        box->style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest, box->fontMetrics().height()), box).width();
    for (Placement& p : placements_)
        if (p.widget == box) p.minWidthPx = width;
}

void DialogBar::editBox(int id, int x, int y, int w, int h) {
    auto* e = new QLineEdit(this);
    e->setObjectName(QStringLiteral("ctl%1").arg(id));
    e->setMaxLength(kBarTextLimit);
    place(e, x, y, w, h);
    controls_[id] = e;
}

void DialogBar::groupFrame(const char* text, int x, int y, int w, int h) {
    // The title stands above the frame, not on its line, and the frame is whole below it:
    // a group box's title would take the room of the buttons it frames.
    constexpr int kTitleDlu = 8;
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("group%1").arg(QString::fromUtf8(text)));
    frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
    place(frame, x, y + kTitleDlu, w, h - kTitleDlu);
    auto* title = new QLabel(QString::fromUtf8(text), this);
    title->setObjectName(QStringLiteral("groupTitle%1").arg(QString::fromUtf8(text)));
    place(title, x + 2, y, w - 2, kTitleDlu);
}

// Report bar: the repetition box and "Export xml" (320 x 26 dialog units).
void DialogBar::buildReportBar() {
    setSizeDlu(320, 26);
    // The box is 12 units high, the button 14: one unit down centres the box on the button.
    dropList(cmd::kReportRepetitionBox, 7, 8, 85, false, true);
    button("Export xml", cmd::kExportXml, 231, 7, 38, 14);
}

// Curve bar: both quantity boxes, the cursor buttons, the repetition list and "Zoom"
// (477 x 26 dialog units in the template). The bar is 4 units taller than the template
// and the buttons and lists lie on one line 3 to 5 units lower, so the XL and XR frames
// hold their buttons whole with their titles above them. The group frames go first so
// the buttons lie on top of them.
void DialogBar::buildCurveBar() {
    setSizeDlu(477, 30);
    label("Y1 parameter", 7, 1, 50, 9, cmd::kY1Label);
    dropList(cmd::kY1Box, 7, 12, 65, false);
    fitListTo(cmd::kY1Box, curveQuantityTitles());
    groupFrame("XL", 96, 1, 69, 28);
    button("<<", cmd::kCursorLeftLeft, 99, 11, 23, 14);
    button(">>", cmd::kCursorLeftRight, 139, 11, 23, 14);
    dropList(cmd::kRepetitionSelector, 188, 12, 62, false);
    button("Zoom", cmd::kZoom, 274, 11, 23, 14);
    groupFrame("XR", 332, 1, 68, 28);
    button("<<", cmd::kCursorRightLeft, 335, 11, 23, 14);
    button(">>", cmd::kCursorRightRight, 374, 11, 23, 14);
    // Held down, a cursor button goes on stepping, as a scroll bar's arrow does.
    for (int id : {cmd::kCursorLeftLeft, cmd::kCursorLeftRight, cmd::kCursorRightLeft, cmd::kCursorRightRight})
        if (auto* b = qobject_cast<QPushButton*>(controls_[id])) b->setAutoRepeat(true);
    label("Y2 parameter", 405, 1, 50, 9, cmd::kY2Label);
    dropList(cmd::kY2Box, 405, 12, 65, false);
    fitListTo(cmd::kY2Box, curveQuantityTitles());
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
    // Who is measured, so no attempt goes into another subject's test unnoticed.
    label("", 500, 10, 70, 9, cmd::kSubjectLabel);
}

// Calibration bar: BACK where a running attempt shows it, and nothing to type (the
// calibration takes no load or radius).
void DialogBar::buildCalibrationBar() {
    setSizeDlu(572, 29);
    button("BACK", cmd::kBack, 372, 6, 56, 17);
}

// History bar: the load box, on the measurement bar's line (160 x 29 dialog units).
void DialogBar::buildHistoryBar() {
    setSizeDlu(160, 29);
    label("Load (kg):", 7, 10, 40, 9);
    dropList(cmd::kHistoryLoadBox, 50, 8, 60, false);
}

// Profile bar: the box of the tests the profile takes, on the measurement bar's line
// (200 x 29 dialog units).
void DialogBar::buildProfileBar() {
    setSizeDlu(200, 29);
    label("Tests:", 7, 10, 30, 9);
    dropList(cmd::kProfileTestsBox, 40, 8, 110, false);
}

}  // namespace vanta
