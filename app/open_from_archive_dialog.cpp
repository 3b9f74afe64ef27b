#include "app/open_from_archive_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "station/archive_open.h"

namespace vanta {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

OpenFromArchiveDialog::OpenFromArchiveDialog(LabArchive* lab, std::vector<archive::IndexedTest> local,
                                             const std::string& thisStation, bool sidesSwapped, QWidget* parent)
    : QDialog(parent), lab_(lab), local_(std::move(local)), thisStation_(thisStation), sidesSwapped_(sidesSwapped) {
    setObjectName(QStringLiteral("openFromArchiveDialog"));
    setWindowTitle(QStringLiteral("Open from archive"));
    // This station's tests are on show at once; they were recorded here.
    for (archive::IndexedTest& t : local_)
        if (t.station.empty()) t.station = thisStation_;
    tests_ = local_;
    onServer_.assign(tests_.size(), false);

    source_ = new QLabel(this);
    source_->setObjectName(QStringLiteral("archiveSource"));
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("subjectSearch"));
    search_->setPlaceholderText(QStringLiteral("Subject"));
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("archiveTests"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("Subject"), QStringLiteral("Date"), QStringLiteral("Loads"),
                            QStringLiteral("Sides"), QStringLiteral("Station")});
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    auto* buttons = new QDialogButtonBox(this);
    open_ = buttons->addButton(QStringLiteral("Open"), QDialogButtonBox::AcceptRole);
    open_->setObjectName(QStringLiteral("openButton"));
    open_->setEnabled(false);
    buttons->addButton(QDialogButtonBox::Cancel);

    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(new QLabel(QStringLiteral("Subject:"), this));
    searchRow->addWidget(search_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(source_);
    layout->addLayout(searchRow);
    layout->addWidget(list_, 1);
    layout->addWidget(buttons);
    resize(640, 420);

    connect(search_, &QLineEdit::textChanged, this, [this] { showTests(); });
    connect(list_, &QTreeWidget::itemSelectionChanged, this,
            [this] { open_->setEnabled(!list_->selectedItems().isEmpty()); });
    connect(list_, &QTreeWidget::itemActivated, this, [this] { openChosen(); });
    connect(buttons, &QDialogButtonBox::accepted, this, [this] { openChosen(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    setSource(lab_ ? kReadingLabArchive : kNoArchiveServer);
    showTests();
    if (lab_) {
        QPointer<OpenFromArchiveDialog> self(this);
        lab_->listTests([self](LabArchiveAnswer answer) {
            if (self) self->takeList(std::move(answer));
        });
    }
}

void OpenFromArchiveDialog::setSource(const char* text) {
    source_->setText(QStringLiteral("Tests ") + QString::fromUtf8(text));
}

// The lab's tests, and this station's that have not reached the server yet. A test this
// station holds in its own file is opened from there (a fetch would file a second copy);
// it keeps the name of the station that recorded it.
void OpenFromArchiveDialog::takeList(LabArchiveAnswer answer) {
    if (!answer.ok) {
        setSource(kFromThisStationOnly);
        source_->setToolTip(q(answer.reason));
        return;
    }
    std::vector<archive::IndexedTest> tests;
    std::vector<bool> onServer;
    for (archive::IndexedTest& t : answer.tests) {
        const auto here = std::find_if(local_.begin(), local_.end(),
                                       [&](const archive::IndexedTest& l) { return l.sha256 == t.sha256; });
        std::error_code ec;
        if (here != local_.end() && std::filesystem::is_regular_file(here->path, ec)) {
            archive::IndexedTest own = *here;
            if (!t.station.empty()) own.station = t.station;
            tests.push_back(std::move(own));
            onServer.push_back(false);
        } else {
            tests.push_back(std::move(t));
            onServer.push_back(true);
        }
    }
    for (const archive::IndexedTest& l : local_)
        if (std::none_of(tests.begin(), tests.end(), [&](const archive::IndexedTest& t) { return t.sha256 == l.sha256; })) {
            tests.push_back(l);
            onServer.push_back(false);
        }
    tests_ = std::move(tests);
    onServer_ = std::move(onServer);
    setSource(kFromLabArchive);
    showTests();
}

// Newest first; only the subjects the search names.
void OpenFromArchiveDialog::showTests() {
    const std::string search = search_->text().toStdString();
    std::vector<size_t> order;
    for (size_t i = 0; i < tests_.size(); ++i)
        if (subjectMatches(tests_[i].subject, search)) order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [this](size_t a, size_t b) { return tests_[a].testTime > tests_[b].testTime; });
    list_->clear();
    for (size_t i : order) {
        const LabTestRow row = labTestRow(tests_[i], sidesSwapped_);
        auto* item = new QTreeWidgetItem(list_, {q(row.subject), q(row.date), q(row.loads), q(row.sides), q(row.station)});
        item->setData(0, Qt::UserRole, static_cast<qulonglong>(i));
    }
    for (int c = 0; c < list_->columnCount(); ++c) list_->resizeColumnToContents(c);
    open_->setEnabled(!list_->selectedItems().isEmpty());
}

void OpenFromArchiveDialog::openChosen() {
    QTreeWidgetItem* item = list_->currentItem();
    if (!item || !open_->isEnabled()) return;
    const size_t i = item->data(0, Qt::UserRole).toULongLong();
    chosen_ = tests_[i];
    bytes_.reset();
    failure_.clear();
    if (!onServer_[i] || !lab_) {
        accept();
        return;
    }
    open_->setEnabled(false);
    list_->setEnabled(false);
    source_->setText(QStringLiteral("Fetching the test from the lab's archive\u2026"));
    QPointer<OpenFromArchiveDialog> self(this);
    lab_->fetch(chosen_.sha256, [self](LabArchiveAnswer answer) {
        if (!self) return;
        if (answer.ok) {
            self->bytes_ = std::move(answer.bytes);
            self->accept();
            return;
        }
        self->failure_ = answer.reason;
        self->source_->setText(QStringLiteral("The test cannot be fetched: ") + q(answer.reason));
        self->list_->setEnabled(true);
        self->open_->setEnabled(true);
    });
}

}  // namespace vanta
