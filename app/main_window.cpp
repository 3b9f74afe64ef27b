#include "app/main_window.h"

#include <QAction>

#include <cstdlib>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/dialog_bar.h"
#include "app/open_from_archive_dialog.h"
#include "archive/archive_url.h"
#include "archive/local_index.h"
#include "station/archive_open.h"
#include "storage/test_file.h"
#include "archive/background_indexer.h"
#include "app/profile_store.h"
#include "app/station_pictures.h"
#include "app/station_view.h"
#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "station/subject_commands.h"

namespace vanta {

MainWindow::MainWindow(Station& station, CommandRouter& router, const QString& documentTitle,
                       OperatorDialogs& dialogs, SubjectLibrary& library, ProfileStore* profile,
                       archive::BackgroundIndexer* indexer)
    : station_(station),
      router_(router),
      documentTitle_(documentTitle),
      dialogs_(dialogs),
      library_(library),
      files_(station, dialogs, library, fileHooks(profile, indexer)) {
    setObjectName(QStringLiteral("mainFrame"));
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

    view_ = new StationView(station_, router_, *this, files_, dialogs_, this);
    setCentralWidget(view_);
    // The idle screen and History follow the athlete chosen in the register.
    view_->screens().setChosenSubject([this]() -> std::optional<ChosenSubject> {
        if (station_.settings.subjectLibraryMode == 0 || !library_.hasCurrentSubject()) return std::nullopt;
        SubjectInfo current;
        library_.copyCurrentSubject(current);
        return ChosenSubject{library_.currentSubjectKey(), current.name};
    });
    // The view paints in fixed pixels: the header band reaches x 740, the plot y 540.
    resize(780, 700);

    router_.bind(CommandOwner::Frame, cmd::kFileOpen, [this](Notification) { openTest(); });
    router_.bind(CommandOwner::Frame, cmd::kFileSave, [this](Notification) { saveTest(); });
    router_.bind(CommandOwner::Frame, cmd::kOpenFromArchive, [this](Notification) { openFromArchive(); });
    router_.bind(CommandOwner::Frame, cmd::kSubjectInfo,
                 [this](Notification) {
                     // The page header shows the subject's name: it is drawn again at once,
                     // not at the next resize.
                     if (runSubjectInfo(station_, dialogs_, library_)) view_->update();
                 });
    // "Graph setup", on every screen: the axes dialog, then the view painted at once whether
    // it was OK or Cancel, so the graph shows the scales in force.
    router_.bind(CommandOwner::Frame, cmd::kGraphSetup, [this](Notification) {
        dialogs_.editGraphSettings(station_.settings.graph);
        view_->repaint();
    });

    observerToken_ = router_.addObserver([this](int, CommandOutcome outcome) {
        if (outcome == CommandOutcome::Executed) refreshCommandStates();
    });
    updateCaption();
    refreshCommandStates();
}

MainWindow::~MainWindow() {
    router_.removeObserver(observerToken_);
    router_.unbindAll(CommandOwner::Frame);
    // The view unbinds its own commands when it goes with the frame's children.
}

FileCommandHooks MainWindow::fileHooks(ProfileStore* profile, archive::BackgroundIndexer* indexer) {
    FileCommandHooks hooks;
    hooks.resetView = [this] { router_.execute(cmd::kResetToIdle); };
    hooks.fileUsed = [this, profile, indexer](const std::string& path) {
        if (profile) profile->addRecentFile(QString::fromStdString(path));
        // The lab's archive learns of the test on the indexer's thread; the window goes on.
        bool swapped = station_.settings.sidesSwapped != 0;
        if (fetchedSides_ && fetchedSides_->first == path) swapped = fetchedSides_->second;
        if (indexer) indexer->add(path, swapped);
        if (indexer && onTestHanded) onTestHanded();
    };
    hooks.showBusy = [](bool busy) {
        if (!qGuiApp) return;
        if (busy)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QGuiApplication::restoreOverrideCursor();
    };
    return hooks;
}

QAction* MainWindow::makeAction(int id, const QString& text) {
    auto* a = new QAction(text, this);
    a->setObjectName(QStringLiteral("action%1").arg(id));
    a->setData(id);
    if (const CommandInfo* info = findCommand(id)) {
        if (info->statusText) a->setStatusTip(QString::fromLatin1(info->statusText));
        if (info->toolTip) a->setToolTip(QString::fromLatin1(info->toolTip));
    }
    const QPixmap image = toolbarImage(id);
    if (!image.isNull()) a->setIcon(QIcon(image));
    // Whatever the source, the router asks the rule before anything runs.
    connect(a, &QAction::triggered, this, [this, id] { router_.execute(id); });
    actions_[id] = a;
    return a;
}

void MainWindow::createActions() {
    makeAction(cmd::kFileOpen, QStringLiteral("&Open Vanta file\tCtrl+O"))->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    makeAction(cmd::kOpenFromArchive, QStringLiteral("Open from &archive\u2026"));
    makeAction(cmd::kFileSave, QStringLiteral("&Save\tCtrl+S"))->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    makeAction(cmd::kFilePrint, QStringLiteral("&Print...\tCtrl+P"))->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    makeAction(cmd::kFilePrintPreview, QStringLiteral("Print Pre&view"));
    makeAction(cmd::kFilePrintSetup, QStringLiteral("P&rint Setup..."));
    makeAction(cmd::kAppExit, QStringLiteral("E&xit"));
    makeAction(cmd::kSubjectInfo, QStringLiteral("Subject &Info"));
    makeAction(cmd::kPerform, QStringLiteral("&Perform"));
    makeAction(cmd::kDigitalReport, QStringLiteral("&Digital"));
    makeAction(cmd::kCurveGraph, QStringLiteral("&Curve graph"));
    makeAction(cmd::kGraphSetup, QStringLiteral("&Graph setup"));
    makeAction(cmd::kSubjectInfoSetup, QStringLiteral("&Subject info setup"));
    makeAction(cmd::kCalibration, QStringLiteral("&Calibration"));
    makeAction(cmd::kProfile, QStringLiteral("P&rofile"));
    makeAction(cmd::kSwapSides, QStringLiteral("S&wap left and right"))->setCheckable(true);
    makeAction(cmd::kHistory, QStringLiteral("&History"));
    makeAction(cmd::kCompare, QStringLiteral("C&ompare"));
    makeAction(cmd::kAppAbout, QStringLiteral("&About"));
    makeAction(cmd::kUserGuide, QStringLiteral("&User guide\tF1"))->setShortcut(QKeySequence(Qt::Key_F1));
    // New has a shortcut and no menu item; the action lives on the frame so Ctrl+N works.
    QAction* fileNew = makeAction(cmd::kFileNew, QStringLiteral("&New"));
    fileNew->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    addAction(fileNew);
    for (auto& [id, a] : actions_) a->setShortcutContext(Qt::WindowShortcut);
}

void MainWindow::createMenus() {
    auto add = [this](const QString& title, std::initializer_list<int> ids) {
        QMenu* m = menuBar()->addMenu(title);
        for (int id : ids) {
            if (id == 0)
                m->addSeparator();
            else
                m->addAction(actions_.at(id));
        }
        // The rules are asked again whenever a menu opens.
        connect(m, &QMenu::aboutToShow, this, [this] { refreshCommandStates(); });
        // A menu closed by choosing an item leaves its prompt in the status bar: "Ready"
        // comes back when it closes (a command's own word comes after that).
        connect(m, &QMenu::aboutToHide, this, [this] { statusBar()->clearMessage(); });
        menus_.push_back(m);
    };
    add(QStringLiteral("&File"), {cmd::kFileOpen, cmd::kOpenFromArchive, cmd::kFileSave, 0, cmd::kFilePrint, cmd::kFilePrintPreview,
                                  cmd::kFilePrintSetup, 0, cmd::kAppExit});
    // Every menu opens from the keyboard (Alt and its letter); no two share one.
    add(QStringLiteral("&Subject"), {cmd::kSubjectInfo, cmd::kHistory});
    add(QStringLiteral("&Exercise"), {cmd::kPerform});
    add(QStringLiteral("&Report"), {cmd::kDigitalReport, cmd::kCurveGraph, cmd::kProfile, cmd::kCompare});
    add(QStringLiteral("Se&tup"), {cmd::kGraphSetup, cmd::kSubjectInfoSetup, cmd::kCalibration, cmd::kSwapSides});
    add(QStringLiteral("&About"), {cmd::kAppAbout, cmd::kUserGuide});
}

void MainWindow::createToolBar() {
    toolBar_ = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar_->setObjectName(QStringLiteral("toolBar128"));
    toolBar_->setIconSize(QSize(kButtonImageWidth, kButtonImageHeight));
    toolBar_->setMovable(true);  // the gripper
    toolBar_->setFloatable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int layout[] = {cmd::kFileOpen, cmd::kFileSave,         cmd::kFilePrint,   0,
                          cmd::kSubjectInfo, 0,                  cmd::kPerform,     0,
                          cmd::kDigitalReport, cmd::kCurveGraph,  0,                cmd::kGraphSetup,
                          cmd::kSubjectInfoSetup, 0,             cmd::kAppAbout};
    for (int id : layout) {
        if (id == 0)
            toolBar_->addSeparator();
        else
            toolBar_->addAction(actions_.at(id));
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void MainWindow::createStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("statusBar"));
    // The message pane shows "Ready" whenever no prompt is on show.
    connect(bar, &QStatusBar::messageChanged, bar, [bar](const QString& text) {
        if (text.isEmpty()) bar->showMessage(QStringLiteral("Ready"));
    });
    bar->showMessage(QStringLiteral("Ready"));
    if (station_.simulatedDevice) {
        auto* sim = new QLabel(QString::fromLatin1(kSimulatedDeviceNotice), bar);
        sim->setObjectName(QStringLiteral("simulatedNotice"));
        sim->setStyleSheet(QStringLiteral("QLabel { color: white; background: #b02020; font-weight: bold; padding: 0 6px; }"));
        bar->addPermanentWidget(sim);
    }
    // The three indicator panes. Qt cannot read the lock keys' state on every platform, so
    // the panes name their keys and stay as they are.
    for (const char* text : {"CAP", "NUM", "SCRL"}) {
        auto* pane = new QLabel(QString::fromLatin1(text), bar);
        pane->setObjectName(QStringLiteral("indicator%1").arg(QString::fromLatin1(text)));
        pane->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        pane->setAlignment(Qt::AlignCenter);
        pane->setMinimumWidth(pane->fontMetrics().horizontalAdvance(QStringLiteral("SCRL")) + 12);
        bar->addPermanentWidget(pane);
    }
}

void MainWindow::setArchiveStatus(const QString& text, const QString& details) {
    if (!archivePane_) {
        archivePane_ = new QLabel(statusBar());
        archivePane_->setObjectName(QStringLiteral("archiveStatus"));
        archivePane_->installEventFilter(this);
        statusBar()->insertPermanentWidget(0, archivePane_);
    }
    // The server's reason can be long: the pane keeps room for the message pane and shows
    // the whole text as its tool tip; a click shows it whole, with its details.
    archivePane_->setText(archivePane_->fontMetrics().elidedText(text, Qt::ElideRight, 300));
    archivePane_->setToolTip(text + (details.isEmpty() ? QString() : QStringLiteral("\n(click for the details)")));
    archivePane_->setCursor(details.isEmpty() ? Qt::ArrowCursor : Qt::PointingHandCursor);
    archiveText_ = text;
    archiveDetails_ = details;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == archivePane_ && event->type() == QEvent::MouseButtonRelease && !archiveDetails_.isEmpty()) {
        dialogs_.message(archiveText_.toStdString(), archiveDetails_.toStdString());
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

QAction* MainWindow::action(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* MainWindow::menu(const QString& title) const {
    // Found by its title with or without the mnemonic's ampersand ("Report", "&Report").
    const QString plain = QString(title).remove(QLatin1Char('&'));
    for (QMenu* m : menus_) {
        if (QString(m->title()).remove(QLatin1Char('&')) == plain) return m;
    }
    return nullptr;
}

void MainWindow::refreshCommandStates() {
    for (auto& [id, a] : actions_) a->setEnabled(router_.isEnabled(id));
    actions_.at(cmd::kSwapSides)->setChecked(station_.settings.sidesSwapped != 0);
}

void MainWindow::setDocumentTitle(const QString& title) {
    documentTitle_ = title;
    updateCaption();
}

QSize MainWindow::smallestSize() const {
    return layout()->totalMinimumSize().expandedTo(QSize(kSmallestFrameWidth, 0));
}

// The layout's own minimum changes with the bar on show (its height); the frame's minimum
// follows, and a frame that was made smaller than it grows back.
void MainWindow::keepSmallestSize() {
    const QSize least = smallestSize();
    if (minimumSize() != least) setMinimumSize(least);
    if (width() < least.width() || height() < least.height())
        QTimer::singleShot(0, this, [this] { resize(size().expandedTo(minimumSize())); });
}

bool MainWindow::event(QEvent* event) {
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::LayoutRequest) keepSmallestSize();
    return handled;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    keepSmallestSize();
}

void MainWindow::updateCaption() {
    QString caption = documentTitle_ + QStringLiteral(" - ") + QString::fromLatin1(kFrameTitle);
    // Nobody should take a simulated subject's curves for a real one's.
    if (station_.simulatedDevice) caption += QStringLiteral(" - ") + QString::fromLatin1(kSimulatedDeviceNotice);
    setWindowTitle(caption);
}

void MainWindow::showBar(int templateId) {
    hideBar();
    // A template that cannot be built leaves the frame without a bar; nothing is reported.
    DialogBar* bar = DialogBar::create(
        templateId, [this](int id, Notification n) { router_.execute(id, n); });
    if (!bar) return;
    barHost_ = new QToolBar(this);
    barHost_->setObjectName(QStringLiteral("barHost%1").arg(templateId));
    barHost_->setMovable(false);
    barHost_->setFloatable(false);
    barHost_->addWidget(bar);
    addToolBarBreak(Qt::TopToolBarArea);
    addToolBar(Qt::TopToolBarArea, barHost_);
    bar_ = bar;
    barHost_->show();
}

void MainWindow::hideBar() {
    if (!barHost_) return;
    barHost_->hide();
    removeToolBarBreak(barHost_);
    removeToolBar(barHost_);
    // Deleted later: a bar's own button may be the command that replaces the bar.
    barHost_->deleteLater();
    barHost_ = nullptr;
    bar_ = nullptr;
}

void MainWindow::showBarControl(int id, bool on) {
    if (!bar_) return;
    QWidget* c = bar_->control(id);
    if (!c) return;
    if (id == cmd::kLoadList)
        c->setEnabled(on);
    else
        c->setVisible(on);
}

void MainWindow::fillBarList(int id, const std::vector<std::string>& entries, int selected) {
    auto* box = bar_ ? qobject_cast<QComboBox*>(bar_->control(id)) : nullptr;
    if (!box) return;
    box->clear();
    for (const std::string& e : entries) box->addItem(QString::fromStdString(e));
    box->setCurrentIndex(selected >= 0 && selected < box->count() ? selected : -1);
}

int MainWindow::barSelection(int id) const {
    auto* box = bar_ ? qobject_cast<QComboBox*>(bar_->control(id)) : nullptr;
    return box ? box->currentIndex() : -1;
}

float MainWindow::readBarNumber(int id) const {
    QWidget* c = bar_ ? bar_->control(id) : nullptr;
    if (id == cmd::kLoadList || id == cmd::kRadiusBox) {
        QString text;
        if (qobject_cast<QComboBox*>(c))
            text = bar_->listText(id);  // the selected entry, or what the operator typed
        else if (auto* edit = qobject_cast<QLineEdit*>(c))
            text = edit->text();
        return barTextToNumber(text.left(kBarTextLimit).toStdString());
    }
    return static_cast<float>(barSelection(id));
}

void MainWindow::setBarText(int id, const std::string& text) {
    QWidget* c = bar_ ? bar_->control(id) : nullptr;
    if (auto* edit = qobject_cast<QLineEdit*>(c)) edit->setText(QString::fromStdString(text));
    else if (qobject_cast<QLabel*>(c))
        bar_->setLabelText(id, QString::fromStdString(text));  // a long name cut with "…", whole in the tooltip
    else if (auto* box = qobject_cast<QComboBox*>(c); box && box->isEditable())
        box->setEditText(QString::fromStdString(text));
}

bool MainWindow::saveTest() { return files_.save(); }
bool MainWindow::openTest() { return files_.open(); }

void MainWindow::setLabArchive(LabArchive* lab) {
    lab_ = lab;
    view_->screens().history().setLabArchive(lab);
    view_->screens().profile().setLabArchive(lab);
}

bool MainWindow::openFromArchive() {
    // As File > Open: the unsaved test is offered for saving first; Cancel keeps it.
    if (!mayLeaveTest(files_.askToSave())) return false;
    std::vector<archive::IndexedTest> local;
    archive::LocalIndex index;
    if (index.open(station_.paths.subjectLibraryDirectory)) index.listTests({}, local);
    OpenFromArchiveDialog dialog(lab_, std::move(local), archive::stationName(std::getenv(archive::kStationNameVariable)),
                                 station_.settings.sidesSwapped != 0, this);
    if (dialog.exec() != QDialog::Accepted) return false;
    const archive::IndexedTest& test = dialog.chosen();
    if (!dialog.fetchedBytes()) return files_.openFetched(test.path);
    const bool extended = station_.settings.subjectLibraryMode != 0;
    const std::string folder = folderForFetchedTest(test, extended, station_.paths.subjectLibraryDirectory,
                                                    station_.paths.dataDirectory);
    std::string path, error;
    if (!storeFetchedTest(*dialog.fetchedBytes(), test, folder, path, error)) {
        dialogs_.message(kMsgErrorOpeningFile, error);
        return false;
    }
    // Indexed as its own station named the sides, not as this one does.
    if (test.sidesSwapped) fetchedSides_ = std::make_pair(path, *test.sidesSwapped);
    return files_.openFetched(path);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        // An unsaved test is not lost without a word: Cancel, or a save that did not
        // happen, keeps the station open with the test in memory.
        if (!mayLeaveTest(files_.askToSave())) {
            event->ignore();
            return;
        }
        closed_ = true;
        // The window leaves the screen before the exit's disk work: the settings file and,
        // after a subject was chosen or changed, the subject register are synced to the
        // disk, which on a slow or busy disk takes from a fraction of a second to seconds.
        // The operator sees the station end at once; the process finishes the writing.
        hide();
        if (qGuiApp) QGuiApplication::sync();
        emit closing();
    }
    event->accept();
}

}  // namespace vanta
