#include "app/main_frame.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QToolBar>

#include "station/bar_contents.h"
#include "station/command_ids.h"
#include "app/dialog_bar.h"
#include "app/profile_store.h"
#include "app/station_pictures.h"
#include "station/subject_commands.h"
#include "app/vanta_check_doc.h"
#include "app/vanta_check_view.h"

namespace vanta {

CMainFrame::CMainFrame(Station& station, CommandRouter& router, CVanta_checkDoc& document,
                       OperatorDialogs& dialogs, SubjectLibrary& library, ProfileStore* profile)
    : station_(station),
      router_(router),
      document_(document),
      dialogs_(dialogs),
      library_(library),
      files_(station, dialogs, library, fileHooks(profile)) {
    setObjectName(QStringLiteral("mainFrame"));
    createActions();
    createMenus();
    createToolBar();
    createStatusBar();
    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);

    view_ = new CVanta_checkView(station_, router_, *this, dialogs_, this);
    setCentralWidget(view_);
    // The view paints in fixed pixels: the header band reaches x 740, the plot y 540.
    resize(780, 700);

    router_.bind(CommandOwner::Frame, cmd::FileOpen, [this](Notification) { openTest(); });
    router_.bind(CommandOwner::Frame, cmd::FileSave, [this](Notification) { saveTest(); });
    router_.bind(CommandOwner::Frame, cmd::SubjectInfo,
                 [this](Notification) { runSubjectInfo(station_, dialogs_, library_); });
    // Integration point (axes settings dialog): the dialog opens here; the frame is
    // repainted afterwards.
    router_.bind(CommandOwner::Frame, cmd::GraphSetup, [this](Notification) { view_->update(); });

    observerToken_ = router_.addObserver([this](int, CommandOutcome outcome) {
        if (outcome == CommandOutcome::Executed) refreshCommandStates();
    });
    connect(&document_, &CVanta_checkDoc::titleChanged, this, [this] { updateCaption(); });
    updateCaption();
    refreshCommandStates();
}

CMainFrame::~CMainFrame() {
    router_.removeObserver(observerToken_);
    router_.unbindAll(CommandOwner::Frame);
    // The view unbinds its own commands when it goes with the frame's children.
}

FileCommandHooks CMainFrame::fileHooks(ProfileStore* profile) {
    FileCommandHooks hooks;
    hooks.resetView = [this] { router_.execute(cmd::ResetToIdle); };
    if (profile) hooks.fileUsed = [profile](const std::string& path) { profile->addRecentFile(QString::fromStdString(path)); };
    hooks.showBusy = [](bool busy) {
        if (!qGuiApp) return;
        if (busy)
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QGuiApplication::restoreOverrideCursor();
    };
    return hooks;
}

QAction* CMainFrame::makeAction(int id, const QString& text) {
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

void CMainFrame::createActions() {
    makeAction(cmd::FileOpen, QStringLiteral("&Open Vanta file\tCtrl+O"))->setShortcut(QKeySequence(QStringLiteral("Ctrl+O")));
    makeAction(cmd::FileSave, QStringLiteral("Save"));
    makeAction(cmd::FilePrint, QStringLiteral("&Print...\tCtrl+P"))->setShortcut(QKeySequence(QStringLiteral("Ctrl+P")));
    makeAction(cmd::FilePrintPreview, QStringLiteral("Print Pre&view"));
    makeAction(cmd::FilePrintSetup, QStringLiteral("P&rint Setup..."));
    makeAction(cmd::AppExit, QStringLiteral("E&xit"));
    makeAction(cmd::SubjectInfo, QStringLiteral("Subject Info"));
    makeAction(cmd::Perform, QStringLiteral("Perform"));
    makeAction(cmd::DigitalReport, QStringLiteral("Digital"));
    makeAction(cmd::CurveGraph, QStringLiteral("Curve graph"));
    makeAction(cmd::GraphSetup, QStringLiteral("Graph setup"));
    makeAction(cmd::SubjectInfoSetup, QStringLiteral("Subject info setup"));
    makeAction(cmd::Calibration, QStringLiteral("Calibration"));
    makeAction(cmd::AppAbout, QStringLiteral("&About"));
    // New has a shortcut and no menu item; the action lives on the frame so Ctrl+N works.
    QAction* fileNew = makeAction(cmd::FileNew, QStringLiteral("&New"));
    fileNew->setShortcut(QKeySequence(QStringLiteral("Ctrl+N")));
    addAction(fileNew);
    for (auto& [id, a] : actions_) a->setShortcutContext(Qt::WindowShortcut);
}

void CMainFrame::createMenus() {
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
        menus_.push_back(m);
    };
    add(QStringLiteral("&File"), {cmd::FileOpen, cmd::FileSave, 0, cmd::FilePrint, cmd::FilePrintPreview,
                                  cmd::FilePrintSetup, 0, cmd::AppExit});
    add(QStringLiteral("Subject"), {cmd::SubjectInfo});
    add(QStringLiteral("Exercise"), {cmd::Perform});
    add(QStringLiteral("Report"), {cmd::DigitalReport, cmd::CurveGraph});
    add(QStringLiteral("Setup"), {cmd::GraphSetup, cmd::SubjectInfoSetup, cmd::Calibration});
    add(QStringLiteral("About"), {cmd::AppAbout});
}

void CMainFrame::createToolBar() {
    toolBar_ = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar_->setObjectName(QStringLiteral("toolBar128"));
    toolBar_->setIconSize(QSize(kButtonImageWidth, kButtonImageHeight));
    toolBar_->setMovable(true);  // the gripper
    toolBar_->setFloatable(true);
    toolBar_->setAllowedAreas(Qt::AllToolBarAreas);
    toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    const int layout[] = {cmd::FileOpen, cmd::FileSave,         cmd::FilePrint,   0,
                          cmd::SubjectInfo, 0,                  cmd::Perform,     0,
                          cmd::DigitalReport, cmd::CurveGraph,  0,                cmd::GraphSetup,
                          cmd::SubjectInfoSetup, 0,             cmd::AppAbout};
    for (int id : layout) {
        if (id == 0)
            toolBar_->addSeparator();
        else
            toolBar_->addAction(actions_.at(id));
    }
    addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::createStatusBar() {
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

QAction* CMainFrame::action(int id) const {
    const auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

QMenu* CMainFrame::menu(const QString& title) const {
    for (QMenu* m : menus_) {
        if (m->title() == title) return m;
    }
    return nullptr;
}

void CMainFrame::refreshCommandStates() {
    for (auto& [id, a] : actions_) a->setEnabled(router_.isEnabled(id));
}

void CMainFrame::updateCaption() {
    QString caption = document_.title() + QStringLiteral(" - ") + QString::fromLatin1(kFrameTitle);
    // Nobody should take a simulated subject's curves for a real one's.
    if (station_.simulatedDevice) caption += QStringLiteral(" - ") + QString::fromLatin1(kSimulatedDeviceNotice);
    setWindowTitle(caption);
}

void CMainFrame::showBar(int templateId) {
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

void CMainFrame::hideBar() {
    if (!barHost_) return;
    barHost_->hide();
    removeToolBarBreak(barHost_);
    removeToolBar(barHost_);
    // Deleted later: a bar's own button may be the command that replaces the bar.
    barHost_->deleteLater();
    barHost_ = nullptr;
    bar_ = nullptr;
}

void CMainFrame::showBarControl(int id, bool on) {
    if (!bar_) return;
    QWidget* c = bar_->control(id);
    if (!c) return;
    if (id == cmd::LoadList)
        c->setEnabled(on);
    else
        c->setVisible(on);
}

void CMainFrame::fillBarList(int id, const std::vector<std::string>& entries, int selected) {
    auto* box = bar_ ? qobject_cast<QComboBox*>(bar_->control(id)) : nullptr;
    if (!box) return;
    box->clear();
    for (const std::string& e : entries) box->addItem(QString::fromStdString(e));
    box->setCurrentIndex(selected >= 0 && selected < box->count() ? selected : -1);
}

int CMainFrame::barSelection(int id) const {
    auto* box = bar_ ? qobject_cast<QComboBox*>(bar_->control(id)) : nullptr;
    return box ? box->currentIndex() : -1;
}

float CMainFrame::readBarNumber(int id) const {
    QWidget* c = bar_ ? bar_->control(id) : nullptr;
    if (id == cmd::LoadList || id == cmd::RadiusBox) {
        QString text;
        if (auto* box = qobject_cast<QComboBox*>(c))
            text = box->currentText();  // the selected entry, or what the operator typed
        else if (auto* edit = qobject_cast<QLineEdit*>(c))
            text = edit->text();
        return barTextToNumber(text.left(kBarTextLimit).toStdString());
    }
    return static_cast<float>(barSelection(id));
}

void CMainFrame::setBarText(int id, const std::string& text) {
    QWidget* c = bar_ ? bar_->control(id) : nullptr;
    if (auto* edit = qobject_cast<QLineEdit*>(c)) edit->setText(QString::fromStdString(text));
    else if (auto* box = qobject_cast<QComboBox*>(c); box && box->isEditable())
        box->setEditText(QString::fromStdString(text));
}

bool CMainFrame::saveTest() { return files_.save(); }
bool CMainFrame::openTest() { return files_.open(); }

void CMainFrame::closeEvent(QCloseEvent* event) {
    // No question about unsaved data: an orderly exit only keeps the settings.
    if (!closed_) {
        closed_ = true;
        emit closing();
    }
    event->accept();
}

}  // namespace vanta
