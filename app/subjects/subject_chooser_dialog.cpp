#include "app/subjects/subject_chooser_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/subjects/subject_dialog.h"

namespace vanta {

namespace {
enum Column { ColName, ColSex, ColAge, ColWeight, ColHeight, ColComment1, ColumnCount };

QString sexText(int32_t sex) {
    if (sex == 0) return QStringLiteral("female");
    if (sex == 1) return QStringLiteral("male");
    return QString();
}
}  // namespace

SubjectChooserDialog::SubjectChooserDialog(SubjectRegister& subjects, int64_t preselectId, QWidget* parent)
    : QDialog(parent), subjects_(subjects) {
    setWindowTitle(QStringLiteral("Subject register"));

    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("search"));
    search_->setPlaceholderText(QStringLiteral("Search by name"));
    search_->setClearButtonEnabled(true);

    search_->installEventFilter(this);
    noMatch_ = new QLabel(QStringLiteral("no subject matches"), this);
    noMatch_->setObjectName(QStringLiteral("noMatch"));
    noMatch_->hide();

    table_ = new QTableWidget(0, ColumnCount, this);
    table_->setObjectName(QStringLiteral("subjects"));
    table_->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Sex"), QStringLiteral("Age"),
                                       QStringLiteral("Weight"), QStringLiteral("Height"), QStringLiteral("Comment 1")});
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    // Each column as wide as what it holds: the name wide enough for a long name on one
    // line, the numbers narrow, the comment takes what is left.
    QHeaderView* header = table_->horizontalHeader();
    header->setStretchLastSection(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    const QFontMetrics fm = table_->fontMetrics();
    const int letters = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    header->resizeSection(ColName, letters * 32 / 52 + 16);  // 32 letters of average width
    header->resizeSection(ColSex, fm.horizontalAdvance(QStringLiteral("female")) + 24);
    for (int c : {ColAge, ColWeight, ColHeight})
        header->resizeSection(c, fm.horizontalAdvance(table_->horizontalHeaderItem(c)->text()) + 24);
    table_->setWordWrap(false);

    auto* add = new QPushButton(QStringLiteral("Add..."), this);
    add->setObjectName(QStringLiteral("add"));
    edit_ = new QPushButton(QStringLiteral("Edit..."), this);
    edit_->setObjectName(QStringLiteral("edit"));
    auto* buttons = new QDialogButtonBox(this);
    choose_ = buttons->addButton(QStringLiteral("Choose"), QDialogButtonBox::AcceptRole);
    choose_->setObjectName(QStringLiteral("choose"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    choose_->setDefault(true);

    auto* side = new QHBoxLayout;
    side->addWidget(add);
    side->addWidget(edit_);
    side->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(noMatch_);
    layout->addWidget(table_);
    layout->addLayout(side);
    layout->addWidget(buttons);
    resize(760, 440);

    connect(search_, &QLineEdit::textChanged, this, &SubjectChooserDialog::refresh);
    connect(add, &QPushButton::clicked, this, &SubjectChooserDialog::addSubject);
    connect(edit_, &QPushButton::clicked, this, &SubjectChooserDialog::editSubject);
    connect(buttons, &QDialogButtonBox::accepted, this, &SubjectChooserDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SubjectChooserDialog::reject);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &SubjectChooserDialog::updateButtons);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { accept(); });

    fill(preselectId);
    search_->setFocus(Qt::OtherFocusReason);
}

int64_t SubjectChooserDialog::selectedId() const {
    const QList<QTableWidgetItem*> items = table_->selectedItems();
    if (items.isEmpty()) return 0;
    const QTableWidgetItem* first = table_->item(items.first()->row(), ColName);
    return first ? first->data(Qt::UserRole).toLongLong() : 0;
}

void SubjectChooserDialog::refresh() { fill(selectedId()); }

void SubjectChooserDialog::fill(int64_t selectId) {
    std::vector<RegisteredSubject> found;
    if (!subjects_.search(search_->text().trimmed().toStdString(), found))
        tellOperator(messageHook_, this, QString::fromStdString(subjects_.lastMessage()));

    table_->setRowCount(0);
    table_->setRowCount(static_cast<int>(found.size()));
    int selectRow = -1;
    for (int row = 0; row < static_cast<int>(found.size()); ++row) {
        const RegisteredSubject& s = found[static_cast<size_t>(row)];
        auto* name = new QTableWidgetItem(QString::fromStdString(s.info.name));
        name->setData(Qt::UserRole, static_cast<qlonglong>(s.id));
        table_->setItem(row, ColName, name);
        table_->setItem(row, ColSex, new QTableWidgetItem(sexText(s.info.sex)));
        table_->setItem(row, ColAge, new QTableWidgetItem(QString::number(s.info.age)));
        table_->setItem(row, ColWeight, new QTableWidgetItem(QString::number(s.info.weight)));
        table_->setItem(row, ColHeight, new QTableWidgetItem(QString::number(s.info.height)));
        table_->setItem(row, ColComment1, new QTableWidgetItem(QString::fromStdString(s.info.comment1)));
        if (s.id == selectId) selectRow = row;
    }
    if (selectRow >= 0) table_->selectRow(selectRow);
    noMatch_->setVisible(found.empty() && !search_->text().trimmed().isEmpty());
    updateButtons();
}

bool SubjectChooserDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == search_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if ((key == Qt::Key_Down || enter) && table_->rowCount() > 0) {
            // The first match unless the operator already picked one from the list.
            if (selectedId() == 0) table_->selectRow(0);
            if (enter) {
                accept();
            } else {
                table_->setFocus(Qt::TabFocusReason);
            }
            return true;
        }
        if (enter) return true;  // nothing matches: nothing to choose, the dialog stays
    }
    return QDialog::eventFilter(watched, event);
}

void SubjectChooserDialog::updateButtons() {
    const bool any = selectedId() != 0;
    edit_->setEnabled(any);
    choose_->setEnabled(any);
}

bool SubjectChooserDialog::editWithHook(SubjectInfo& subject) {
    if (editHook_) return editHook_(subject, this);
    return SubjectDialog::edit(subject, this, messageHook_, NameRule::Required);
}

void SubjectChooserDialog::addSubject() {
    SubjectInfo fresh;
    fresh.sex = -1;  // nothing chosen yet
    if (!editWithHook(fresh)) return;
    int64_t id = 0;
    if (!subjects_.add(fresh, &id)) {
        tellOperator(messageHook_, this, QString::fromStdString(subjects_.lastMessage()));
        return;
    }
    // Show the new subject even when the search would hide it.
    search_->blockSignals(true);
    search_->clear();
    search_->blockSignals(false);
    fill(id);
}

void SubjectChooserDialog::editSubject() {
    const int64_t id = selectedId();
    if (id == 0) return;
    RegisteredSubject subject;
    if (!subjects_.get(id, subject)) {
        tellOperator(messageHook_, this, QString::fromStdString(subjects_.lastMessage()));
        refresh();
        return;
    }
    SubjectInfo edited = subject.info;
    if (!editWithHook(edited)) return;
    if (!subjects_.update(id, edited))
        tellOperator(messageHook_, this, QString::fromStdString(subjects_.lastMessage()));
    fill(id);
}

void SubjectChooserDialog::accept() {
    const int64_t id = selectedId();
    if (id == 0) return;  // nothing to choose: the dialog stays
    chosenId_ = id;
    QDialog::accept();
}

}  // namespace vanta
