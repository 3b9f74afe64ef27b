#include "app/subjects/subject_chooser_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/message_box.h"
#include "app/subjects/lab_subject_pick_dialog.h"
#include "app/subjects/subject_dialog.h"
#include "archive/lab_identity.h"
#include "station/subject_merge.h"

namespace vanta {

namespace {
enum Column { ColName, ColSex, ColAge, ColWeight, ColHeight, ColComment1, ColumnCount };

QString sexText(int32_t sex) {
    if (sex == 0) return QStringLiteral("female");
    if (sex == 1) return QStringLiteral("male");
    return QString();
}
// One subject of the lab whose name differs only by accents (or case): the operator says
// whether it is this athlete. Esc is Cancel: nothing is added.
std::optional<int> askSameAthlete(const std::string& typed, const archive::ArchivedSubject& candidate,
                                  QWidget* parent) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kMessageCaption),
                    QString::fromStdString(archive::sameAthleteQuestion(typed, candidate)), QMessageBox::NoButton,
                    parent);
    QPushButton* same = box.addButton(QStringLiteral("This athlete"), QMessageBox::AcceptRole);
    QPushButton* other = box.addButton(QStringLiteral("Someone else"), QMessageBox::RejectRole);
    QPushButton* cancel = box.addButton(QMessageBox::Cancel);
    box.setDefaultButton(same);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == same) return 0;
    if (box.clickedButton() == other) return archive::kNewLabSubject;
    return std::nullopt;
}

}  // namespace

SubjectChooserDialog::SubjectChooserDialog(SubjectRegister& subjects, int64_t preselectId, QWidget* parent)
    : QDialog(parent), subjects_(subjects), labWait_(archive::kLabIdWait) {
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
    // Two rows (Ctrl+click) for a merge; Edit and Choose take one.
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
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

    add_ = new QPushButton(QStringLiteral("Add..."), this);
    add_->setObjectName(QStringLiteral("add"));
    edit_ = new QPushButton(QStringLiteral("Edit..."), this);
    edit_->setObjectName(QStringLiteral("edit"));
    merge_ = new QPushButton(QStringLiteral("Merge..."), this);
    merge_->setObjectName(QStringLiteral("merge"));
    merge_->setToolTip(QStringLiteral("Select the two subjects that are one athlete (Ctrl+click) to merge them"));
    labStatus_ = new QLabel(this);
    labStatus_->setObjectName(QStringLiteral("labStatus"));
    labStatus_->hide();
    auto* buttons = new QDialogButtonBox(this);
    choose_ = buttons->addButton(QStringLiteral("Choose"), QDialogButtonBox::AcceptRole);
    choose_->setObjectName(QStringLiteral("choose"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancel"));
    choose_->setDefault(true);
    // Enter always chooses: a button that had the focus (Add... or Edit... before their
    // dialog, Cancel after it) never takes the default over.
    for (QPushButton* b : {add_, edit_, merge_, cancel}) b->setAutoDefault(false);

    auto* side = new QHBoxLayout;
    side->addWidget(add_);
    side->addWidget(edit_);
    side->addWidget(merge_);
    side->addWidget(labStatus_);
    side->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addWidget(noMatch_);
    layout->addWidget(table_);
    layout->addLayout(side);
    layout->addWidget(buttons);
    resize(760, 440);

    connect(search_, &QLineEdit::textChanged, this, &SubjectChooserDialog::refresh);
    connect(add_, &QPushButton::clicked, this, &SubjectChooserDialog::addSubject);
    connect(edit_, &QPushButton::clicked, this, &SubjectChooserDialog::editSubject);
    connect(merge_, &QPushButton::clicked, this, &SubjectChooserDialog::mergeSubjects);
    connect(buttons, &QDialogButtonBox::accepted, this, &SubjectChooserDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SubjectChooserDialog::reject);
    connect(table_, &QTableWidget::itemSelectionChanged, this, &SubjectChooserDialog::updateButtons);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int, int) { accept(); });

    fill(preselectId);
    search_->setFocus(Qt::OtherFocusReason);
}

std::vector<int64_t> SubjectChooserDialog::selectedIds() const {
    std::vector<int64_t> ids;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows(ColName))
        if (const QTableWidgetItem* name = table_->item(index.row(), ColName))
            ids.push_back(name->data(Qt::UserRole).toLongLong());
    return ids;
}

int64_t SubjectChooserDialog::selectedId() const {
    const std::vector<int64_t> ids = selectedIds();
    return ids.size() == 1 ? ids.front() : 0;
}

void SubjectChooserDialog::refresh() { fill(selectedId()); }

void SubjectChooserDialog::fill(int64_t selectId) {
    // A subject merged into another is that one: each athlete is listed once.
    std::vector<RegisteredSubject> found;
    if (!unmergedSubjects(subjects_, search_->text().trimmed().toStdString(), found))
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
    const bool one = selectedId() != 0 && !waiting_;
    add_->setEnabled(!waiting_);
    edit_->setEnabled(one);
    choose_->setEnabled(one);
    merge_->setEnabled(selectedIds().size() == 2 && !waiting_);
}

int SubjectChooserDialog::beginWaiting(const QString& what) {
    waiting_ = ++requests_;
    labStatus_->setText(what);
    labStatus_->show();
    updateButtons();
    return waiting_;
}

void SubjectChooserDialog::endWaiting() {
    waiting_ = 0;
    labStatus_->hide();
    updateButtons();
}

bool SubjectChooserDialog::editWithHook(SubjectInfo& subject) {
    if (editHook_) return editHook_(subject, this);
    return SubjectDialog::edit(subject, this, messageHook_, NameRule::Required);
}

void SubjectChooserDialog::addSubject() {
    if (waiting_) return;
    SubjectInfo fresh;
    fresh.sex = -1;  // nothing chosen yet
    if (!editWithHook(fresh)) return;
    if (!lab_) return finishAdd(0, fresh, nullptr);
    // The lab may know this athlete from another station: its answer decides the id. The
    // operator does not wait longer than archive::kLabIdWait; a later answer is dropped, and the
    // subject keeps an id of this station, which the next sync sends.
    const int request = beginWaiting(QStringLiteral("Asking the lab's archive about %1\u2026")
                                         .arg(QString::fromStdString(fresh.name)));
    QPointer<SubjectChooserDialog> self(this);
    QTimer::singleShot(labWait_, this, [this, request, fresh] {
        if (waiting_ == request) finishAdd(request, fresh, nullptr);
    });
    lab_->findSubjects(fresh.name, [self, request, fresh](LabArchiveAnswer answer) {
        if (self && self->waiting_ == request) self->finishAdd(request, fresh, &answer);
    });
}

void SubjectChooserDialog::finishAdd(int request, const SubjectInfo& subject, const LabArchiveAnswer* answer) {
    if (request != 0) endWaiting();
    archive::LabIdDecision decision = archive::decideLabId(subject.name, answer);
    if (decision.step == archive::LabIdStep::Ask) {
        const std::optional<int> choice = pickHook_ ? pickHook_(subject.name, decision.candidates, this)
                                          : decision.candidates.size() == 1
                                              ? askSameAthlete(subject.name, decision.candidates.front(), this)
                                              : LabSubjectPickDialog::ask(subject.name, decision.candidates, this);
        if (!archive::applyOperatorChoice(decision, choice)) return;  // Cancel: the subject is not added
    }
    int64_t id = 0;
    bool added = false;
    if (!archive::addWithLabId(subjects_, subject, decision, id, added)) {
        tellOperator(messageHook_, this, QString::fromStdString(subjects_.lastMessage()));
        return;
    }
    // A new id goes to the lab at once where it answered, so the next station meeting the
    // name finds it; its answer changes nothing here (else the next sync sends it).
    RegisteredSubject registered;
    if (lab_ && added && decision.step == archive::LabIdStep::Local && decision.labAnswered && subjects_.get(id, registered))
        lab_->storeSubject(registered, [](LabArchiveAnswer) {});
    // Show the new subject even when the search would hide it.
    search_->blockSignals(true);
    search_->clear();
    search_->blockSignals(false);
    fill(id);
}

void SubjectChooserDialog::mergeSubjects() {
    const std::vector<int64_t> ids = selectedIds();
    if (waiting_ || ids.size() != 2) return;
    RegisteredSubject a, b;
    if (!subjects_.get(ids[0], a) || !subjects_.get(ids[1], b)) {
        tellOperator(messageHook_, this, QString::fromStdString(subjects_.lastMessage()));
        refresh();
        return;
    }
    const SubjectMerge merge = mergeOrder(a, b);
    const QString question = QString::fromStdString(mergeQuestion(merge));
    const bool yes = confirmHook_ ? confirmHook_(question, this)
                                  : QMessageBox::question(this, QString::fromLatin1(kMessageCaption), question) ==
                                        QMessageBox::Yes;
    if (!yes) return;
    auto done = [this, merge](const LabArchiveAnswer* answer) {
        const MergeOutcome outcome = completeMerge(subjects_, merge, lab_ != nullptr, answer);
        if (!outcome.merged)
            tellOperator(messageHook_, this, QString::fromStdString(outcome.message),
                         QString::fromStdString(outcome.detail));
        fill(merge.keep.id);
    };
    if (!lab_) return done(nullptr);
    // The lab first: the reader gives a server that does not answer up after its limit,
    // and the register merges only once the lab has.
    const int request = beginWaiting(QStringLiteral("Merging in the lab's archive\u2026"));
    QPointer<SubjectChooserDialog> self(this);
    SubjectRegister* reg = &subjects_;
    lab_->mergeSubjects(merge.keep, merge.gone, [self, request, done, reg, merge](LabArchiveAnswer answer) {
        if (self && self->waiting_ == request) {
            self->endWaiting();
            return done(&answer);
        }
        // The operator closed the dialog meanwhile: what the lab merged, the register
        // merges too, so the two histories stay alike.
        completeMerge(*reg, merge, true, &answer);
    });
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
    if (waiting_) return;  // the subject being added or merged comes first
    const int64_t id = selectedId();
    if (id == 0) return;  // nothing to choose: the dialog stays
    chosenId_ = id;
    QDialog::accept();
}

}  // namespace vanta
