#include "app/screens/axes_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "graphs/graph_layout.h"

namespace vanta {

namespace {

inline constexpr const char* kMsgEnterInteger = "Please enter an integer.";

// The MAX and STEP boxes take only the digits 0 to 9 as typed input, as the station's
// number boxes always have; a pasted text is read (and refused if need be) on OK. The MIN
// boxes take any character, so that a minus sign can be typed.
class DigitsOnlyLineEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (refuses(event->text())) {
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
    void inputMethodEvent(QInputMethodEvent* event) override {
        if (refuses(event->commitString())) {
            event->accept();
            return;
        }
        QLineEdit::inputMethodEvent(event);
    }

private:
    static bool refuses(const QString& typed) {
        for (QChar c : typed)
            if (c.isPrint() && !(c >= u'0' && c <= u'9')) return true;
        return false;
    }
};

}  // namespace

AxesDialog::AxesDialog(const GraphSettings& settings, QWidget* parent) : QDialog(parent), settings_(settings) {
    setWindowTitle(QStringLiteral("Y-axes settings & Graph options"));

    auto* grid = new QGridLayout;
    const char* heads[3] = {"MIN", "MAX", "STEP"};
    for (int c = 0; c < 3; ++c) grid->addWidget(new QLabel(QString::fromLatin1(heads[c]), this), 0, c + 1, Qt::AlignHCenter);

    const AxesFieldTexts texts = axesFieldTexts(settings_);
    for (int q = 0; q < kGraphQuantities; ++q) {
        const std::string_view title = quantityTitles[static_cast<size_t>(q)];
        grid->addWidget(new QLabel(QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())), this), q + 1, 0);
        for (int c = 0; c < 3; ++c) {
            QLineEdit* edit = c == 0 ? new QLineEdit(this) : new DigitsOnlyLineEdit(this);
            edit->setObjectName(QString::number(kAxesFieldIds[q][c]));
            edit->setAlignment(Qt::AlignCenter);
            edit->setText(QString::fromStdString(texts[static_cast<size_t>(3 * q + c)]));
            grid->addWidget(edit, q + 1, c + 1);
            fields_[static_cast<size_t>(3 * q + c)] = edit;
        }
    }

    auto* autoscale = new QGroupBox(QStringLiteral("Autoscale"), this);
    on_ = new QRadioButton(QStringLiteral("On"), autoscale);
    off_ = new QRadioButton(QStringLiteral("Off"), autoscale);
    on_->setObjectName(QString::number(kAutoscaleOnId));
    off_->setObjectName(QString::number(kAutoscaleOffId));
    auto* group = new QButtonGroup(this);
    group->addButton(on_, 0);
    group->addButton(off_, 1);
    auto* radios = new QVBoxLayout(autoscale);
    radios->addWidget(on_);
    radios->addWidget(off_);
    // 0 is "On", 1 "Off"; any other value from a settings file leaves both unchosen, and OK
    // then stores Off, the one that draws the entered axes.
    on_->setChecked(settings_.autoscale == 0);
    off_->setChecked(settings_.autoscale == 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &AxesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &AxesDialog::reject);

    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(autoscale);
    bottom->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(bottom);
    layout->addWidget(buttons);
}

QLineEdit* AxesDialog::field(int id) const {
    for (int k = 0; k < kAxesFieldCount; ++k)
        if (kAxesFieldIds[k / 3][k % 3] == id) return fields_[static_cast<size_t>(k)];
    return nullptr;
}

void AxesDialog::accept() {
    AxesFieldTexts texts;
    for (int k = 0; k < kAxesFieldCount; ++k) texts[static_cast<size_t>(k)] = fields_[static_cast<size_t>(k)]->text().toStdString();
    const AxesFormResult read = readAxesForm(texts, on_->isChecked() ? 0 : 1, settings_);
    if (!read.accepted) {
        // The focus alone may sit in a field the operator did not look at: the field's
        // row and column name it.
        static constexpr const char* kHeads[3] = {"MIN", "MAX", "STEP"};
        const std::string_view row = quantityTitles[static_cast<size_t>(read.refusedField / 3)];
        const QString label = QString::fromUtf8(row.data(), static_cast<qsizetype>(row.size())) +
                              QStringLiteral(", ") + QString::fromLatin1(kHeads[read.refusedField % 3]);
        tellOperator(messageHook_, this, QString::fromLatin1(kMsgEnterInteger), label);
        QLineEdit* refused = fields_[static_cast<size_t>(read.refusedField)];
        refused->setFocus(Qt::OtherFocusReason);
        refused->selectAll();
        return;
    }
    settings_ = read.settings;
    QDialog::accept();
}

bool AxesDialog::edit(GraphSettings& settings, QWidget* parent, MessageHook hook) {
    AxesDialog dlg(settings, parent);
    dlg.setMessageHook(std::move(hook));
    if (dlg.exec() != QDialog::Accepted) return false;
    settings = dlg.settings();
    return true;
}

}  // namespace vanta
