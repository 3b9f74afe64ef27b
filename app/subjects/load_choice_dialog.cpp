#include "app/subjects/load_choice_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vanta {

LoadChoiceDialog::LoadChoiceDialog(const QString& currentSubjectName, bool hasCurrentSubject, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Open test"));
    auto* label = new QLabel(hasCurrentSubject ? QStringLiteral("Current subject: %1").arg(currentSubjectName)
                                               : QStringLiteral("No subject is chosen."),
                             this);
    label->setObjectName(QStringLiteral("subject"));

    auto* subjectTests = new QPushButton(QStringLiteral("Tests of the current subject"), this);
    subjectTests->setObjectName(QStringLiteral("subjectTests"));
    subjectTests->setEnabled(hasCurrentSubject);
    subjectTests->setDefault(hasCurrentSubject);
    auto* allData = new QPushButton(QStringLiteral("All test files"), this);
    allData->setObjectName(QStringLiteral("allData"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));

    connect(subjectTests, &QPushButton::clicked, this, [this] { done(kLoadChoiceSubjectTests); });
    connect(allData, &QPushButton::clicked, this, [this] { done(kLoadChoiceAllData); });
    connect(buttons, &QDialogButtonBox::rejected, this, &LoadChoiceDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(subjectTests);
    layout->addWidget(allData);
    layout->addWidget(buttons);
}

}  // namespace vanta
