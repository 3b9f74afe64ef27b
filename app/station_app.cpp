#include "app/station_app.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <clocale>
#include <cstdlib>
#include <unistd.h>

#include "app/main_window.h"
#include "app/qt_lab_archive.h"
#include "archive/background_indexer.h"
#include "app/station_view.h"
#include "app/subjects/register_subject_library.h"
#include "archive/archive_uploader.h"
#include "archive/archive_url.h"
#include "archive/station_facts.h"
#include "archive/local_outbox.h"
#include "device/acquisition_link.h"
#include "device/serial_bridge_driver.h"
#include "device/simulated_sensor_box.h"
#include "station/command_ids.h"
#include "station/session_recovery.h"
#include "station/subject_commands.h"
#include "station/user_guide.h"
#include "storage/test_file.h"

namespace vanta {

CommandLine parseCommandLine(const QStringList& arguments) {
    CommandLine line;
    for (const QString& a : arguments) {
        if (a == QStringLiteral("--simulate"))
            line.simulate = true;
        else if (a.startsWith(QLatin1Char('-')))
            line.unknown.append(a);
        else if (line.documentPath.isEmpty())
            line.documentPath = a;
        else
            line.unknown.append(a);
    }
    return line;
}

StationApp::StationApp(OperatorDialogs& dialogs, SubjectLibrary* library, StartOptions options)
    : dialogs_(dialogs),
      library_(library),
      options_(std::move(options)),
      // Posted commands wait in the event loop behind what is already there; one still
      // waiting when the application object goes is dropped with it.
      router_(station_, [this](std::function<void()> call) {
          QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
      }) {
    bindCommands();
}

StationApp::~StationApp() {
    if (indexer_) indexer_->setOnIndexed(nullptr);  // before the worker it nudges goes
    uploader_.reset();
    if (auto* reg = dynamic_cast<RegisterSubjectLibrary*>(library_)) reg->setLabArchive(nullptr);
    labArchive_.reset();
    frame_.reset();
    if (link_) link_->stopAcquisition();
    router_.unbindAll(CommandOwner::Application);
}

void StationApp::bindCommands() {
    router_.bind(CommandOwner::Application, cmd::kAppAbout, [this](Notification) { dialogs_.showAbout(); });
    // Exit closes the window, as its close button does: the window asks about an unsaved
    // test (and may stay open), and its closing writes the settings.
    router_.bind(CommandOwner::Application, cmd::kAppExit, [this](Notification) {
        if (frame_) frame_->close();
    });
    // New: the window gets its title again; the test records stay as they are.
    router_.bind(CommandOwner::Application, cmd::kFileNew, [this](Notification) { newDocument(); });
    // Print Setup: the paper of the next print; nothing else changes.
    router_.bind(CommandOwner::Application, cmd::kFilePrintSetup, [this](Notification) {
        if (frame_) frame_->view().reportPrinter().pageSetup(frame_.get());
    });
    router_.bind(CommandOwner::Application, cmd::kUserGuide, [this](Notification) { openUserGuide(); });
}

void StationApp::openUserGuide() {
    // The program's own folder, not station_.paths: an installed station keeps its paths in
    // the user's folder, but its guide lies with the package.
    const QString program =
        options_.programFile.isEmpty() ? QCoreApplication::applicationFilePath() : options_.programFile;
    const std::string directory = QFileInfo(program).absolutePath().toStdString();
    const std::string index = userGuideIndex(directory, runsInstalled(directory));
    if (!QFileInfo(QString::fromStdString(index)).isFile()) {
        dialogs_.message(kMsgUserGuideMissing, index);
        return;
    }
    if (!frame_ || !frame_->view().openWithDesktop(index)) dialogs_.message(kMsgUserGuideNotOpened, index);
}

StationPaths StationApp::choosePaths() const {
    const QString program =
        options_.programFile.isEmpty() ? QCoreApplication::applicationFilePath() : options_.programFile;
    StationPaths paths = pathsForProgram(program.toStdString());
    if (!runsInstalled(paths.programDirectory)) return paths;

    // An installed station cannot write beside its program: the settings file and DATA
    // go to the user's data folder, with the same names and formats; vantacheck-cli finds
    // the same folder (storage/station_paths).
    const QString userDir =
        options_.userDataDirectory.isEmpty()
            ? QString::fromStdString(userDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME")))
            : options_.userDataDirectory;
    QDir().mkpath(userDir);
    StationPaths user = pathsInDirectory(QDir::cleanPath(userDir).toStdString());
    // Two levels above the user's folder is no place for the subject register: it keeps
    // its directories in the user's DATA as well.
    user.subjectLibraryDirectory = user.dataDirectory;
    return user;
}

bool StationApp::initInstance(const QStringList& arguments) {
    const CommandLine line = parseCommandLine(arguments);
    station_.simulatedDevice = line.simulate;
    // With --simulate the simulated sensor box is the one bridge device the station finds.
    link_ = std::make_unique<AcquisitionLink>(line.simulate ? std::unique_ptr<BridgeDriver>(
                                                                  std::make_unique<SimulatedSensorBox>())
                                                            : makeSerialBridgeDriver());

    // 1. The per-user profile store and its recent-file list.
    ProfileStore::selectStore();
    profile_.load();

    // 2.-3. The paths come from the program's place.
    station_.paths = choosePaths();
    if (!library_) {
        // The register is also found when the operator switches to Extended after an
        // Abbreviated start, before the next start has initialised it.
        ownLibrary_ = std::make_unique<RegisterSubjectLibrary>(station_.paths.subjectLibraryDirectory);
        library_ = ownLibrary_.get();
    }

    // 4. Extended unless the settings file says otherwise.
    station_.settings.subjectLibraryMode = 1;
    settingsLoad_ = loadSettings(station_.paths.settingsPath, station_.settings);
    if (settingsLoad_ == SettingsLoad::Incompatible) dialogs_.message(kMsgIncompatibleData);

    // 5. Numbers typed by the operator are read, and printed, with the user's separator.
    std::setlocale(LC_NUMERIC, "");

    // 6. The subject register is initialised once, only when it keeps the subject data.
    if (station_.settings.subjectLibraryMode == 1)
        library_->initialise(station_.paths.subjectLibraryDirectory, kSubjectLibraryProduct);

    // 7. One level, no message on failure.
    ensureDirectory(station_.paths.dataDirectory);
    // The unsaved test is journalled beside the tests.
    station_.journal.setFolder(station_.paths.dataDirectory);
    // With the register's id of the test's subject (Extended mode), so that a recovered
    // test is filed under the subject it was recorded for.
    station_.journal.setSubjectIdSource(
        [this] { return library_ ? journalSubjectKey(station_, *library_) : std::string(); });

    // 8. The title: "KavelTek", or the name of the file named on the command line.
    QString title = QString::fromLatin1(kDefaultDocumentTitle);
    if (!line.documentPath.isEmpty() && !titleForFile(line.documentPath, title)) {
        dialogs_.message(kMsgErrorOpeningFile);
        return false;
    }
    // The data folder knows its station: name and sides, for an index built from it again.
    archive::writeStationFacts(station_.paths.subjectLibraryDirectory,
                               {archive::stationName(std::getenv(archive::kStationNameVariable)),
                                station_.settings.sidesSwapped != 0});
    // The test index lies beside the subject register, in either mode.
    indexer_ = std::make_unique<archive::BackgroundIndexer>(station_.paths.subjectLibraryDirectory);
    frame_ = std::make_unique<MainWindow>(station_, router_, title, dialogs_, *library_, &profile_, indexer_.get());
    // The screens record attempts and calibrate through the station's one link.
    frame_->view().screens().attachLink(*link_, [] { return std::chrono::steady_clock::now(); });
    if (auto* subjects = dynamic_cast<RegisterSubjectLibrary*>(ownLibrary_.get()))
        subjects->setParentWidget(frame_.get());
    connect(frame_.get(), &MainWindow::closing, this, [this] { exitInstance(); });

    // 9. On screen.
    if (options_.showWindow) {
        frame_->show();
        frame_->view().repaint();
    }

    // A test that a station left unsaved when it stopped unexpectedly is offered back.
    if (recoverUnsavedTests(station_, dialogs_, library_)) {
        frame_->view().screens().resetToIdle();
        // The recovered test may be reported: its toolbar buttons go on with the menus.
        frame_->refreshCommandStates();
    } else if (station_.settings.subjectLibraryMode != 0 && library_->hasCurrentSubject()) {
        // The register remembers whom the last test was for: the next one is hers, and the
        // screens and History say so from the start.
        library_->copyCurrentSubject(station_.test.subject);
        frame_->refreshCommandStates();
        frame_->view().update();
    }
    startArchiveUploader();
    return true;
}

void StationApp::startArchiveUploader() {
    // The index and the archive server's setting live in the folder of the subject register.
    const std::string data = station_.paths.subjectLibraryDirectory;
    const std::string url = archive::configuredArchiveUrl(data, std::getenv(archive::kArchiveUrlVariable));
    if (url.empty()) return;  // no shared archive: the tests wait in the index's outbox
    auto makeOutbox = [data]() -> std::unique_ptr<archive::Outbox> {
        auto outbox = std::make_unique<archive::LocalIndexOutbox>();
        if (!outbox->open(data)) return nullptr;
        return outbox;
    };
    // The worker's news goes to the window on the window's thread.
    auto onStatus = [this](const archive::ArchiveStatus& status) {
        QMetaObject::invokeMethod(
            this, [this, status] {
                lastArchiveStatus_ = status;
                showArchiveStatus();
            },
            Qt::QueuedConnection);
    };
    // A saved test waits for the archive from the moment it is saved, though the outbox
    // learns of it only once the indexer has stored it: until then the pane counts it.
    if (frame_) frame_->onTestHanded = [this] {
        ++testsHanded_;
        showArchiveStatus();
    };
    uploader_ = std::make_unique<archive::ArchiveUploader>(makeOutbox, url, onStatus);
    uploader_->start();
    // A test enters the outbox when the indexer has stored it: the worker sends it then.
    if (indexer_) indexer_->setOnIndexed([uploader = uploader_.get()] { uploader->nudge(); });
    // History and Open from archive ask the same server, on a thread of their own.
    labArchive_ = std::make_unique<QtLabArchive>(url);
    if (frame_) frame_->setLabArchive(labArchive_.get());
    // The register's dialog asks it too: a new subject's id, a merge.
    if (auto* reg = dynamic_cast<RegisterSubjectLibrary*>(library_)) reg->setLabArchive(labArchive_.get());
}

void StationApp::showArchiveStatus() {
    if (!frame_ || !uploader_) return;
    archive::ArchiveStatus status = lastArchiveStatus_;
    const int64_t indexed = indexer_ ? indexer_->doneCount() : testsHanded_;
    status.waiting += static_cast<int>(std::max<int64_t>(0, testsHanded_ - indexed));
    const QString details = status.lastFailure.empty()
                                ? QString()
                                : QString::fromStdString(archive::archiveFailureDetails(status.lastFailure));
    frame_->setArchiveStatus(QString::fromStdString(archive::archiveStatusText(status)), details);
}

bool StationApp::titleForFile(const QString& path, QString& title) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    title = QFileInfo(path).fileName();
    return true;
}

void StationApp::newDocument() {
    if (!frame_) return;
    frame_->setDocumentTitle(QString::fromLatin1(kDefaultDocumentTitle));
    frame_->view().update();
}

bool StationApp::openDocument(const QString& path) {
    QString title;
    if (!frame_ || !titleForFile(path, title)) return false;
    frame_->setDocumentTitle(title);
    return true;
}

void StationApp::exitInstance() {
    if (settingsWritten_) return;
    settingsWritten_ = true;
    // A running acquisition is stopped before the records go away, so the reader never
    // writes into freed samples. An unwritable settings file is not reported.
    if (link_) link_->stopAcquisition();
    // Nothing unsaved: the journal goes. An unsaved test keeps it for the next start.
    station_.journal.close(station_.test.saved == 1);
    // The test being sent goes whole or not at all; the rest waits for the next start.
    if (uploader_) uploader_->stop();
    saveSettings(station_.paths.settingsPath, station_.settings);
}

}  // namespace vanta
