#include "app/file_commands.h"

#include <QCursor>
#include <QGuiApplication>
#include <QString>

#include <cctype>

#include "app/profile_store.h"
#include "storage/test_file.h"

namespace vanta {

namespace {

bool extendedMode(const Station& s) { return s.settings.subjectLibraryMode != 0; }

// The wait cursor while a file is read; put back however the read ends.
class WaitCursor {
public:
    WaitCursor() {
        if (qGuiApp) QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    }
    ~WaitCursor() {
        if (qGuiApp) QGuiApplication::restoreOverrideCursor();
    }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

bool isSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

bool pathIsInDirectory(const std::string& path, const std::string& directory) {
    if (directory.empty()) return true;
    if (path.size() < directory.size()) return false;
    for (size_t i = 0; i < directory.size(); ++i) {
        const auto a = static_cast<unsigned char>(path[i]);
        const auto b = static_cast<unsigned char>(directory[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    // A longer name with the same start is another directory.
    return isSeparator(directory.back()) || path.size() == directory.size() ||
           isSeparator(path[directory.size()]);
}

FileCommands::FileCommands(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library,
                           std::function<void()> resetView, ProfileStore* profile)
    : station_(station), dialogs_(dialogs), library_(library), resetView_(std::move(resetView)), profile_(profile) {}

bool FileCommands::save() {
    TestRecord& test = station_.test;
    const bool extended = extendedMode(station_);

    // Extended: a test is stored for a subject of the register; without one the operator
    // chooses one first (and may refuse, which abandons the save).
    if (extended && !library_.QpersPlatny()) {
        if (!library_.QSubjectDialog()) return false;
    }

    std::string initialDirectory = station_.paths.dataDirectory;
    std::string libraryDirectory;
    if (extended) {
        library_.QpersDataNameA(test.testTime, libraryDirectory);
        initialDirectory = libraryDirectory;
    }

    const auto chosen = dialogs_.chooseFileToSave(station_.lastFilePath, initialDirectory);
    if (!chosen) return false;
    station_.lastFilePath = *chosen;

    if (extended && !pathIsInDirectory(*chosen, libraryDirectory)) dialogs_.message(kMsgOutsideDirectory);

    std::string error;
    if (!writeTestFile(*chosen, test, &error)) {
        dialogs_.message(error.empty() ? std::string(kMsgFileSaveError) : error);
        return false;
    }
    if (profile_) profile_->addRecentFile(QString::fromStdString(*chosen));
    return true;
}

bool FileCommands::open() {
    TestRecord& test = station_.test;

    // The open goes on whatever the answer and whatever the save did.
    if (test.saved == 0 && dialogs_.askYesNo(kMsgDataNotSaved)) save();

    const bool extended = extendedMode(station_);
    std::string libraryDirectory;  // stays empty unless the register names its directory
    std::string initialDirectory = station_.paths.dataDirectory;
    if (extended) {
        const int answer = library_.QLoadDialog();
        if (answer == kLoadDialogCancelled) return false;
        if (answer == kLoadDialogLibraryDirectory) {
            library_.QpersDirA(libraryDirectory);
            initialDirectory = libraryDirectory;
        }
    }

    station_.lastFilePath.clear();
    const auto chosen = dialogs_.chooseFileToOpen(initialDirectory);
    if (!chosen) return false;
    station_.lastFilePath = *chosen;

    {
        WaitCursor wait;
        std::string error;
        if (!readTestFile(*chosen, test, &error)) {
            // The reader leaves the records as they were.
            dialogs_.message(error.empty() ? std::string(kMsgErrorOpeningFile) : error);
            return false;
        }

        if (extended) {
            // A file picked outside the register's directory may belong to another of its
            // subjects: the register is told, then asked whether it has a subject now.
            if (!pathIsInDirectory(*chosen, libraryDirectory)) library_.QpersPodlaDatA(*chosen);
            if (library_.QpersPlatny())
                library_.QpersNaplnSDA(test.subject);
            else
                library_.QpersKonvertSDA(test.subject);
        }

        station_.resultsAvailable = 1;
        if (resetView_) resetView_();
    }
    if (profile_) profile_->addRecentFile(QString::fromStdString(*chosen));
    return true;
}

}  // namespace vanta
