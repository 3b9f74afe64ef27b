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
    Cancelled,      // Cancel, Esc or the box's close button: the command that asked does not go on
};

// True when the command that asked may leave the test in memory behind: it was saved,
// there was nothing to save, or the operator dropped it with an explicit No. Cancel and a
// save that did not happen keep the station on this test, its attempts and its journal.
inline bool mayLeaveTest(SaveQuestion outcome) {
    return outcome != SaveQuestion::Cancelled && outcome != SaveQuestion::SaveFailed;
}

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
    // The one question about unsaved data, for Perform, Calibration, Open, Open from
    // archive and Exit: "Data not saved. Save?" with Yes, No and Cancel when `saved` is 0,
    // and the save on Yes. Only No drops the test (and its journal); every caller stops
    // where mayLeaveTest() is false, so Esc never loses an attempt.
    SaveQuestion askToSave();

    // A new test begins (Perform, Calibration): in Extended mode with a current subject in
    // the register, the test takes that subject's data, so a saved file names the subject
    // its folder belongs to.
    void takeCurrentSubjectForNewTest();

private:
    bool saveForCurrentSubject();
    bool openChosen(const std::string& path, const std::string& libraryDirectory);

    Station& station_;
    OperatorDialogs& dialogs_;
    SubjectLibrary& library_;
    FileCommandHooks hooks_;
};

}  // namespace vanta
