#include "app/subjects/subject_mode_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vanta {

SubjectModeDialog::SubjectModeDialog(uint8_t subjectLibraryMode, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Subject info setup"));

    auto* box = new QGroupBox(this);
    abbreviated_ = new QRadioButton(QStringLiteral("Abbreviated"), box);
    extended_ = new QRadioButton(QStringLiteral("Extended"), box);
    abbreviated_->setObjectName(QStringLiteral("abbreviated"));
    extended_->setObjectName(QStringLiteral("extended"));
    auto* group = new QButtonGroup(this);
    group->addButton(abbreviated_, 0);
    group->addButton(extended_, 1);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(abbreviated_);
    boxLayout->addWidget(extended_);
    abbreviated_->setChecked(subjectLibraryMode == 0);
    extended_->setChecked(subjectLibraryMode == 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SubjectModeDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SubjectModeDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(buttons);
}

uint8_t SubjectModeDialog::mode() const {
    // Only "Abbreviated" means the station's own dialog; anything else is the register.
    return abbreviated_->isChecked() ? 0 : 1;
}

bool SubjectModeDialog::edit(uint8_t& subjectLibraryMode, QWidget* parent) {
    SubjectModeDialog dlg(subjectLibraryMode, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    subjectLibraryMode = dlg.mode();
    return true;
}

}  // namespace vanta
