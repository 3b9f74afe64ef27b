#include "app/subjects/lab_subject_pick_dialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "archive/lab_identity.h"

namespace vanta {

namespace {
QString sexText(int sex) {
    if (sex == 0) return QStringLiteral("female");
    if (sex == 1) return QStringLiteral("male");
    return QString();
}
}  // namespace

LabSubjectPickDialog::LabSubjectPickDialog(const std::string& name,
                                           const std::vector<archive::ArchivedSubject>& subjects, QWidget* parent)
    : QDialog(parent), subjects_(static_cast<int>(subjects.size())) {
    setWindowTitle(QStringLiteral("Subject in the lab's archive"));
    const QString text = QStringLiteral("The lab's archive knows %1 subjects named %2. Which one is this athlete?");
    auto* question = new QLabel(text.arg(subjects.size()).arg(QString::fromStdString(name)), this);
    question->setWordWrap(true);

    table_ = new QTableWidget(subjects_ + 1, 4, this);
    table_->setObjectName(QStringLiteral("labSubjects"));
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("Name"), QStringLiteral("Sex"), QStringLiteral("Height"), QStringLiteral("Id")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < subjects_; ++row) {
        const archive::ArchivedSubject& s = subjects[static_cast<size_t>(row)];
        table_->setItem(row, 0, new QTableWidgetItem(QString::fromStdString(s.name)));
        table_->setItem(row, 1, new QTableWidgetItem(sexText(s.sex)));
        table_->setItem(row, 2, new QTableWidgetItem(s.height > 0 ? QString::number(s.height) : QString()));
        table_->setItem(row, 3, new QTableWidgetItem(QString::fromStdString(archive::shortSubjectId(s.id))));
    }
    table_->setItem(subjects_, 0, new QTableWidgetItem(QStringLiteral("A new subject")));
    table_->setSpan(subjects_, 0, 1, 4);
    table_->resizeColumnsToContents();
    table_->selectRow(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(question);
    layout->addWidget(table_);
    layout->addWidget(buttons);
    resize(520, 260);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { accept(); });
}

int LabSubjectPickDialog::choice() const {
    const int row = table_->currentRow();
    return row >= 0 && row < subjects_ ? row : archive::kNewLabSubject;
}

std::optional<int> LabSubjectPickDialog::ask(const std::string& name,
                                             const std::vector<archive::ArchivedSubject>& subjects, QWidget* parent) {
    LabSubjectPickDialog dlg(name, subjects, parent);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.choice();
}

}  // namespace vanta
