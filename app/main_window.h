// The main window: menus, toolbar, status bar, the one dialog-bar slot and the view.
// Menu items, toolbar buttons, shortcuts and the bars' controls all send their command
// numbers to the router; their enabled look follows the router's rules.
#pragma once

#include <QMainWindow>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "station/bar_host.h"
#include "station/command_router.h"
#include "station/file_commands.h"
#include "station/lab_archive.h"
#include "station/operator_dialogs.h"
#include "station/station.h"
#include "storage/subject_library.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace vanta {

class StationView;
class DialogBar;
class ProfileStore;
namespace archive {
class BackgroundIndexer;
}

inline constexpr const char* kFrameTitle = "Vanta Mero";
inline constexpr const char* kDefaultDocumentTitle = "KavelTek";
inline constexpr const char* kSimulatedDeviceNotice = "SIMULATED SENSOR BOX";
// Below this width the bars' labels and lists are cut and the screens' fixed pixels too.
inline constexpr int kSmallestFrameWidth = 780;

class MainWindow : public QMainWindow, public BarHost {
    Q_OBJECT
public:
    // `documentTitle` comes first in the caption: "KavelTek", or the name of the file the
    // command line named. Every test saved or opened goes to `indexer` (when given).
    MainWindow(Station& station, CommandRouter& router, const QString& documentTitle, OperatorDialogs& dialogs,
               SubjectLibrary& library, ProfileStore* profile = nullptr, archive::BackgroundIndexer* indexer = nullptr);
    ~MainWindow() override;

    StationView& view() const { return *view_; }

    // The menu or toolbar action of a command (nullptr for commands without one).
    QAction* action(int id) const;
    // A menu by its title; the mnemonic's ampersand may be left out.
    QMenu* menu(const QString& title) const;
    QToolBar* toolBar() const { return toolBar_; }

    // Asks every command's rule and sets the enabled look of its actions.
    void refreshCommandStates();

    // The dialog-bar slot: at most one bar, docked at the top below the toolbar.
    void showBar(int templateId) override;
    void hideBar() override;
    DialogBar* currentBar() const { return bar_; }
    void showBarControl(int id, bool on) override;
    void fillBarList(int id, const std::vector<std::string>& entries, int selected) override;
    int barSelection(int id) const override;
    float readBarNumber(int id) const override;
    void setBarText(int id, const std::string& text) override;

    // File > Save and File > Open.
    bool saveTest();
    bool openTest();
    // File > "Open from archive...": the lab's tests (this station's index without a
    // server); the chosen one fetched into its subject's folder and opened as Open does.
    bool openFromArchive();
    // The lab's shared archive for the History screen and Open from archive (null: none).
    void setLabArchive(LabArchive* lab);

    QString documentTitle() const { return documentTitle_; }
    void setDocumentTitle(const QString& title);

    // The smallest frame at which every control is whole: the width the bars and the
    // screens are laid out for, and the height the menus, toolbar, bar on show, view and
    // status bar need below each other. The frame keeps to it even where no window
    // manager does (a bare X server resizes a window to whatever it is told).
    QSize smallestSize() const;
    // The shared archive's pane of the status bar ("Archive: up to date", "Archive: N tests
    // waiting" with the last failure); made on the first call, so a station without an
    // archive server shows none.
    // `details`: the whole reason of the last failure, shown in a box when the pane is
    // clicked; empty: nothing to click for.
    void setArchiveStatus(const QString& text, const QString& details = {});
    // A test was handed to the archive's indexer (saved or opened): called with its path.
    std::function<void()> onTestHanded;

signals:
    // The window is closing in an orderly way (File > Exit or the window's close button).
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateCaption();
    void createActions();
    void createMenus();
    void createToolBar();
    void createStatusBar();
    QAction* makeAction(int id, const QString& text);
    FileCommandHooks fileHooks(ProfileStore* profile, archive::BackgroundIndexer* indexer);
    void keepSmallestSize();

    Station& station_;
    // A test fetched from the lab's archive keeps its recording station's sides setting when
    // it is indexed here: the path it was stored at and that setting.
    std::optional<std::pair<std::string, bool>> fetchedSides_;
    CommandRouter& router_;
    QString documentTitle_;
    OperatorDialogs& dialogs_;
    SubjectLibrary& library_;
    FileCommands files_;
    StationView* view_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QToolBar* barHost_ = nullptr;  // holds the dialog bar
    DialogBar* bar_ = nullptr;
    std::map<int, QAction*> actions_;
    std::vector<QMenu*> menus_;
    bool closed_ = false;
    int observerToken_ = 0;
    QLabel* archivePane_ = nullptr;
    QString archiveText_, archiveDetails_;
    LabArchive* lab_ = nullptr;
};

}  // namespace vanta
