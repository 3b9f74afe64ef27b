// The application object: it owns the station (the test records, settings and paths), the
// main window and the command router, runs start-up and shutdown in their fixed order,
// and handles About, Exit, New, Print Setup and the user guide.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

#include "app/profile_store.h"
#include "archive/archive_uploader.h"
#include "station/command_router.h"
#include "station/operator_dialogs.h"
#include "station/station.h"
#include "storage/settings_file.h"
#include "storage/subject_library.h"

namespace vanta {

class AcquisitionLink;
class MainWindow;
class QtLabArchive;
namespace archive {
class BackgroundIndexer;
class ArchiveUploader;
}

struct StartOptions {
    // The program file whose directory holds "vantacheck.cfg" and "DATA"; empty: this
    // program (QCoreApplication::applicationFilePath()).
    QString programFile;
    // Where settings and DATA go when the program's directory cannot be written; empty:
    // the user's application-data folder.
    QString userDataDirectory;
    // false for tests that drive the frame without putting it on screen.
    bool showWindow = true;
};

// What the command line asked for.
struct CommandLine {
    QString documentPath;  // a named file: it titles the document and is not read
    bool simulate = false; // --simulate: the simulated sensor box is the device
    QStringList unknown;   // options the station does not know (reported, ignored)
};
CommandLine parseCommandLine(const QStringList& arguments);

class StationApp : public QObject {
    Q_OBJECT
public:
    // The dialogs and the subject library are the station's links to the operator and to
    // the subject register; tests pass doubles. Without a library the application object
    // keeps its own, on the subject register below the subject library directory.
    StationApp(OperatorDialogs& dialogs, SubjectLibrary* library = nullptr, StartOptions options = {});
    ~StationApp() override;

    // Start-up; `arguments` without the program name. False: the program does not start.
    bool initInstance(const QStringList& arguments);
    // Orderly shutdown: the settings file is written (once).
    void exitInstance();

    Station& station() { return station_; }
    CommandRouter& router() { return router_; }
    MainWindow* frame() const { return frame_.get(); }
    // New (Ctrl+N): the caption's title is "KavelTek" again; the test stays as it is.
    void newDocument();
    // A file as the command line names it: it must be readable, and only its name titles
    // the window; nothing is read into the test records (that is the Open command's work).
    bool openDocument(const QString& path);
    ProfileStore& profile() { return profile_; }
    // The link to the sensor box: the serial bridge, or the simulated box with --simulate.
    // Exists from start-up on.
    AcquisitionLink* link() const { return link_.get(); }
    SettingsLoad settingsLoadResult() const { return settingsLoad_; }
    SubjectLibrary& subjectLibrary() const { return *library_; }
    // Indexes the tests the window saves and opens (DATA/archive.sqlite beside the register).
    archive::BackgroundIndexer* indexer() const { return indexer_.get(); }
    // The worker that sends the outbox to the lab's shared archive; null when no archive
    // server is set. nudge() it when a test has entered the outbox.
    archive::ArchiveUploader* archiveUploader() const { return uploader_.get(); }

private:
    void bindCommands();
    // About > "User guide" and F1: the guide's start page in the desktop's web browser.
    void openUserGuide();
    StationPaths choosePaths() const;
    void startArchiveUploader();
    static bool titleForFile(const QString& path, QString& title);

    OperatorDialogs& dialogs_;
    std::unique_ptr<SubjectLibrary> ownLibrary_;
    SubjectLibrary* library_;
    StartOptions options_;
    Station station_;
    // After the station: the link goes first, so its reader never outlives the samples.
    std::unique_ptr<AcquisitionLink> link_;
    CommandRouter router_;
    ProfileStore profile_;
    std::unique_ptr<archive::BackgroundIndexer> indexer_;  // outlives the window that feeds it
    std::unique_ptr<MainWindow> frame_;
    // After the frame: the worker is stopped before the window its status goes to.
    std::unique_ptr<archive::ArchiveUploader> uploader_;
    // The pane: the uploader's last word, plus the tests handed to the indexer and not
    // yet in its outbox.
    void showArchiveStatus();
    archive::ArchiveStatus lastArchiveStatus_;
    int64_t testsHanded_ = 0;
    // The window's questions to the lab's archive; goes before the frame whose screens ask.
    std::unique_ptr<QtLabArchive> labArchive_;
    SettingsLoad settingsLoad_ = SettingsLoad::Missing;
    bool settingsWritten_ = false;
};

}  // namespace vanta
