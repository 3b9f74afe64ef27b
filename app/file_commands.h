// File > Save and File > Open: the file dialogs, the unsaved-data question, the subject
// library's part in Extended mode, the reader's and writer's messages. The frame runs
// them; they talk to the operator only through OperatorDialogs.
#pragma once

#include <functional>
#include <string>

#include "app/operator_dialogs.h"
#include "app/station.h"
#include "storage/subject_library.h"

namespace vanta {

class ProfileStore;

// True when `path` lies in `directory`: the directory text is a case-insensitive prefix
// of the path and ends there at a separator (or is empty). "DATA/Smith2/a.kvq" is not in
// "DATA/Smith".
bool pathIsInDirectory(const std::string& path, const std::string& directory);

class FileCommands {
public:
    // `resetView` runs the view's return to the idle screen after a successful open.
    FileCommands(Station& station, OperatorDialogs& dialogs, SubjectLibrary& library,
                 std::function<void()> resetView, ProfileStore* profile = nullptr);

    // File > Save. True when the file was written.
    bool save();
    // File > Open. True when a test file was read.
    bool open();

private:
    Station& station_;
    OperatorDialogs& dialogs_;
    SubjectLibrary& library_;
    std::function<void()> resetView_;
    ProfileStore* profile_;
};

}  // namespace vanta
