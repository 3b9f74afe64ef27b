// File > Save and File > Open: the file dialogs, the unsaved-data question, the subject
// library's part in Extended mode, the reader's and writer's messages. The frame runs
// them; they talk to the operator only through OperatorDialogs.
#pragma once

#include <functional>
#include <string>

#include "station/operator_dialogs.h"
#include "station/station.h"
#include "storage/subject_library.h"

namespace vanta {

// True when `path` lies in `directory`: the directory text is a case-insensitive prefix
// of the path and ends there at a separator (or is empty). "DATA/Smith2/a.kvq" is not in
// "DATA/Smith".
bool pathIsInDirectory(const std::string& path, const std::string& directory);

// The question before a save replaces a file that holds the test of another subject.
std::string replacesTestQuestion(const std::string& subject);

// What the window does around the file commands; any of them may be left empty.
struct FileCommandHooks {
    // The view's return to the idle screen after a successful open.
    std::function<void()> resetView;
    // A test file was written or read: it goes to the top of the recent-file list.
    std::function<void(const std::string& path)> fileUsed;
    // true while a file is read (the wait cursor), false once the read has ended.
    std::function<void(bool busy)> showBusy;
};

// What became of the test in memory when the station asked whether to save it.
enum class SaveQuestion {
    NothingToSave,  // it was saved already: nothing was asked
    Saved,          // Yes, and the file was written
    SaveFailed,     // Yes, but the save was abandoned or failed: the test is still unsaved
    Discarded,      // No: the operator gave the test up
    Cancelled,      // Cancel (only where it is offered): the command that asked does not go on
};

// Whether the question offers Cancel: closing the station does, so the operator can stay.
enum class CancelChoice { NotOffered, Offered };

// True when the test in memory is on disk or given up by the operator: what was kept
// against a crash for it may go.
inline bool testSettled(SaveQuestion outcome) {
    return outcome == SaveQuestion::Saved || outcome == SaveQuestion::Discarded;
}

class FileCommands {
public:
    FileCommands(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library, FileCommandHooks hooks = {});

    // File > Save. True when the file was written.
    bool save();
    // File > Open. True when a test file was read.
    bool open();
    // The rest of File > Open for a file the station chose itself (a test fetched from the
    // lab's archive into its subject's folder): read, the register told whose it is, the
    // view reset, the file used. The caller has asked about unsaved data.
    bool openFetched(const std::string& path);
    // The one question about unsaved data, for Perform, Calibration, Open and Exit:
    // "Data not saved. Save?" when `saved` is 0, and the save on Yes. Perform, Calibration
    // and Open go on whatever the outcome (they offer no Cancel); Exit stays open on
    // Cancelled and on SaveFailed.
    SaveQuestion askToSave(CancelChoice cancel = CancelChoice::NotOffered);

    // A new test begins (Perform, Calibration): in Extended mode with a current subject in
    // the register, the test takes that subject's data, so a saved file names the subject
    // its folder belongs to.
    void takeCurrentSubjectForNewTest();

private:
    bool openChosen(const std::string& path, const std::string& libraryDirectory);

    Station& station_;
    OperatorDialogs& dialogs_;
    SubjectLibrary& library_;
    FileCommandHooks hooks_;
};

}  // namespace vanta
