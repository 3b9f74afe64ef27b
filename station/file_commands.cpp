#include "station/file_commands.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

#include "storage/test_file.h"

namespace vanta {

namespace {

bool extendedMode(const Station& s) { return s.settings.subjectLibraryMode != 0; }

// The wait cursor while a file is read; put back however the read ends.
class Busy {
public:
    explicit Busy(const std::function<void(bool)>& show) : show_(show) {
        if (show_) show_(true);
    }
    ~Busy() {
        if (show_) show_(false);
    }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    const std::function<void(bool)>& show_;
};

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Why the reader could not open `path`, as the system says it ("No such file or
// directory", "Permission denied"); the reader takes nothing but a regular file.
std::string openFailureReason(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::strerror(errno);
    struct stat st {};
    const int error = ::fstat(fd, &st) != 0 ? errno : S_ISDIR(st.st_mode) ? EISDIR : 0;
    ::close(fd);
    if (error != 0) return std::strerror(error);
    return S_ISREG(st.st_mode) ? std::string() : std::string("not a regular file");
}

// The subject's name in the test file at `path`, when a test file is there.
std::optional<std::string> subjectOfTestFile(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return std::nullopt;
    auto other = std::make_unique<TestRecord>();
    if (!readTestFile(path, *other, nullptr, SampleStorage::Discard)) return std::nullopt;
    return other->subject.name;
}

// A file that holds another subject's test is replaced only when the operator, told
// whose test it is, says Yes: the file dialog's own question names no subject.
bool mayReplace(const std::string& path, const TestRecord& test, OperatorDialogs& dialogs) {
    const std::optional<std::string> holder = subjectOfTestFile(path);
    if (!holder || *holder == test.subject.name) return true;
    return dialogs.askYesNo(replacesTestQuestion(*holder));
}

}  // namespace

std::string replacesTestQuestion(const std::string& subject) {
    return "This file holds a test of " + (subject.empty() ? std::string("a subject without a name") : subject) +
           ". Replace it?";
}

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

FileCommands::FileCommands(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library, FileCommandHooks hooks)
    : station_(station), dialogs_(dialogs), library_(library), hooks_(std::move(hooks)) {}

SaveQuestion FileCommands::askToSave() {
    SaveQuestion outcome = SaveQuestion::NothingToSave;
    if (station_.test.saved == 0) {
        switch (dialogs_.askYesNoCancel(kMsgDataNotSaved)) {
            case Answer::Cancel: outcome = SaveQuestion::Cancelled; break;
            case Answer::No: outcome = SaveQuestion::Discarded; break;
            case Answer::Yes: outcome = save() ? SaveQuestion::Saved : SaveQuestion::SaveFailed; break;
        }
    }
    // Cancel, and a save that did not happen, keep the station on this test: its journal
    // goes on.
    if (!mayLeaveTest(outcome)) return outcome;
    // The caller leaves this test behind, saved or deliberately dropped: its journal goes.
    station_.journal.close(true);
    station_.keptSubjectKey.clear();
    return outcome;
}

void FileCommands::takeCurrentSubjectForNewTest() {
    station_.keptSubjectKey.clear();
    if (!extendedMode(station_)) return;
    if (library_.hasCurrentSubject()) library_.copyCurrentSubject(station_.test.subject);
}

bool FileCommands::save() {
    // An unsaved test kept for its own athlete while another is chosen for the next test
    // goes into its athlete's folder: she is current while it is saved, and the chosen
    // athlete again afterwards.
    const std::string kept = extendedMode(station_) ? station_.keptSubjectKey : std::string();
    const std::string chosen = kept.empty() ? std::string() : library_.currentSubjectKey();
    if (kept.empty() || !library_.selectSubjectByKey(kept)) return saveForCurrentSubject();
    const bool written = saveForCurrentSubject();
    if (!chosen.empty()) library_.selectSubjectByKey(chosen);
    if (written) station_.keptSubjectKey.clear();
    return written;
}

bool FileCommands::saveForCurrentSubject() {
    TestRecord& test = station_.test;
    const bool extended = extendedMode(station_);

    // Extended: a test is stored for a subject of the register; without one the operator
    // chooses one first (and may refuse, which abandons the save).
    if (extended && !library_.hasCurrentSubject()) {
        if (!library_.chooseSubject()) return false;
    }

    std::string initialDirectory = station_.paths.dataDirectory;
    std::string libraryDirectory;
    if (extended) {
        library_.testDirectory(test.testTime, libraryDirectory);
        // A saved test keeps its subject when another one is chosen for the next test: its
        // place is beside its own file, and the current subject's folder is "outside".
        if (test.saved != 0 && !station_.lastFilePath.empty()) {
            SubjectInfo current;
            library_.copyCurrentSubject(current);
            if (current.name != test.subject.name)
                libraryDirectory = std::filesystem::path(station_.lastFilePath).parent_path().string();
        }
        initialDirectory = libraryDirectory;
    }

    const auto chosen = dialogs_.chooseFileToSave(station_.lastFilePath, initialDirectory);
    if (!chosen || !mayReplace(*chosen, test, dialogs_)) return false;
    station_.lastFilePath = *chosen;

    if (extended && !pathIsInDirectory(*chosen, libraryDirectory)) dialogs_.message(kMsgOutsideDirectory);

    std::string error, reason;
    if (!writeTestFile(*chosen, test, &error, &reason)) {
        // "File Save Error" does not name the file or the cause: both go into the detail text.
        if (error.empty() || error == kMsgFileSaveError) dialogs_.message(kMsgFileSaveError, *chosen + ": " + reason);
        else dialogs_.message(error);
        return false;
    }
    // The test is safe in its file: its journal has done its work.
    station_.journal.close(true);
    if (hooks_.fileUsed) hooks_.fileUsed(*chosen);
    return true;
}

bool FileCommands::open() {
    // The open goes on after Yes with the test saved, or No; Cancel keeps the test.
    if (!mayLeaveTest(askToSave())) return false;

    const bool extended = extendedMode(station_);
    std::string libraryDirectory;  // stays empty unless the register names its directory
    std::string initialDirectory = station_.paths.dataDirectory;
    if (extended) {
        const int answer = library_.chooseLoadPlace();
        if (answer == kLoadDialogCancelled) return false;
        if (answer == kLoadDialogLibraryDirectory) {
            library_.subjectDirectory(libraryDirectory);
            initialDirectory = libraryDirectory;
        }
    }

    station_.lastFilePath.clear();
    const auto chosen = dialogs_.chooseFileToOpen(initialDirectory);
    if (!chosen) return false;
    return openChosen(*chosen, libraryDirectory);
}

bool FileCommands::openFetched(const std::string& path) {
    station_.lastFilePath.clear();
    return openChosen(path, {});
}

bool FileCommands::openChosen(const std::string& path, const std::string& libraryDirectory) {
    TestRecord& test = station_.test;
    const bool extended = extendedMode(station_);
    const std::optional<std::string> chosen = path;
    station_.lastFilePath = *chosen;

    {
        Busy busy(hooks_.showBusy);
        std::string error;
        // Samples and series stay for the screens; the repetitions are read and analysed
        // on every core, with the numbers of one.
        const int heldBefore = test.repetitionCount;
        if (!readTestFile(*chosen, test, &error, SampleStorage::Keep, 0)) {
            // The reader leaves the records as they were, but for a file cut while it was
            // read: then no test is left, and the screens go back to idle rather than show
            // repetitions that are gone.
            if (test.repetitionCount != heldBefore) {
                station_.resultsAvailable = 0;
                if (hooks_.resetView) hooks_.resetView();
            }
            // Its messages are the station's fixed texts and name no file: the path goes
            // into the detail text, and where the file could not be opened at all, the
            // system's reason after it.
            if (error.empty() || error == kMsgErrorOpeningFile) {
                const std::string reason = openFailureReason(*chosen);
                dialogs_.message(kMsgErrorOpeningFile, reason.empty() ? *chosen : *chosen + ": " + reason);
            } else {
                dialogs_.message(error, *chosen);
            }
            return false;
        }

        if (extended) {
            // A file picked outside the register's directory, or anywhere when the dialog
            // started in the data directory, may belong to another subject or to none of
            // the register's: the register is told (and then has the file's subject or
            // none), then asked whether it has a subject now. Without that, the current
            // subject would relabel another subject's test.
            if (libraryDirectory.empty() || !pathIsInDirectory(*chosen, libraryDirectory))
                library_.selectSubjectOfFile(*chosen);
            if (library_.hasCurrentSubject())
                library_.copyCurrentSubject(test.subject);
            else
                library_.adoptSubject(test.subject);
        }

        station_.keptSubjectKey.clear();  // the test read is the file's subject's
        station_.resultsAvailable = 1;
        if (hooks_.resetView) hooks_.resetView();
    }
    if (hooks_.fileUsed) hooks_.fileUsed(*chosen);
    return true;
}

}  // namespace vanta
