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

// What the window does around the file commands; any of them may be left empty.
struct FileCommandHooks {
    // The view's return to the idle screen after a successful open.
    std::function<void()> resetView;
    // A test file was written or read: it goes to the top of the recent-file list.
    std::function<void(const std::string& path)> fileUsed;
    // true while a file is read (the wait cursor), false once the read has ended.
    std::function<void(bool busy)> showBusy;
};

class FileCommands {
public:
    FileCommands(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library, FileCommandHooks hooks = {});

    // File > Save. True when the file was written.
    bool save();
    // File > Open. True when a test file was read.
    bool open();
    // Unsaved data: "Data not saved. Save?", and the save on Yes. Whatever the answer and
    // whatever the save did, the caller goes on with its own command.
    void offerToSave();

private:
    Station& station_;
    OperatorDialogs& dialogs_;
    SubjectLibrary& library_;
    FileCommandHooks hooks_;
};

}  // namespace vanta
