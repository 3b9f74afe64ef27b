// The one way the station writes a file it may have to replace: the test file, the settings
// file and the spreadsheet export. The bytes go to a temporary file beside the target, are
// synced to the disk, and the temporary file is renamed over the target; then the folder
// itself is synced, so the new name survives a power cut. Until the rename the previous
// file stays exactly as it was, whatever happens to the save.
//
// - A symbolic link is followed: the temporary file goes beside the link's final target
//   and replaces that target, so the link stays a link and its target is the new file.
// - A writable file in a folder the station cannot create files in (a shared archive set
//   up that way) is written in place: no temporary file, the old content is overwritten
//   and cut to the new length. reserve() first makes sure the disk has room for the new
//   size, so a full disk leaves the old file as it was; a write error after that (or a
//   kill during the write) leaves the file as far as it was written (inPlace() tells the
//   caller which case it was).
// - A save that dies (killed, power cut) leaves its temporary file "<name>.saving-XXXXXX".
//   While a save runs, it holds a lock on its temporary file; the lock goes with the
//   process. The next save into the same folder removes every such file that nobody holds
//   locked, so a dead save's leftover disappears and a running save's file is left alone.
//
// Nothing here shows a message: failures return false and error() gives the errno.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace vanta {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // an uncommitted save is discarded
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Prepares to replace `path`. False (with error() set) when the file cannot be
    // written: the target is not a regular file, the station may not write it, or neither
    // a temporary file nor the target itself can be opened for writing.
    bool open(const std::string& path);
    // Makes sure the disk holds room for `size` bytes before anything is written (and that
    // the process may write a file that long): false with the errno (ENOSPC, EFBIG) when
    // not. A file system that cannot reserve space is trusted to have it.
    bool reserve(uint64_t size);
    // Appends bytes. After the first failure every further write is refused.
    bool write(std::string_view bytes);
    // Makes what was written the file's content. False when any write, the sync or the
    // rename failed; the previous file then stays as it was (unless inPlace()).
    bool commit();
    // Gives up: the temporary file is removed and the target stays as it was.
    void discard();

    int error() const { return error_; }
    bool inPlace() const { return inPlace_; }
    // A file stood at the target when open() was called.
    bool hadPrevious() const { return hadPrevious_; }
    // Another save into the same target is running now (its temporary file is held by a
    // live process, or, in place, the target itself is): two writers would lose one's work.
    bool anotherSaveRunning() const;
    // True once the target holds the new bytes, even when the folder's sync after the
    // rename failed: the caller must not tell the operator the previous file is unchanged.
    bool replaced() const { return committed_; }
    // The file actually written: the target of a symbolic link, the path otherwise.
    const std::string& target() const { return target_; }

private:
    bool fail(int error);
    void closeFd();

    int fd_ = -1;
    int error_ = 0;
    bool inPlace_ = false;
    bool hadPrevious_ = false;
    bool contended_ = false;  // in place: another save held the target's lock
    bool committed_ = false;
    off_t written_ = 0;
    std::string target_;
    std::string temp_;
};

// The whole file at once. `error` receives the errno of a failure, `inPlace` whether the
// target was written in place.
bool writeFileAtomically(const std::string& path, std::string_view bytes, int* error = nullptr,
                         bool* inPlace = nullptr);

// The steps that make a save last, as they happen: "sync file" (the new bytes are on disk),
// "rename" (the new file takes the target's name), "sync folder" (the new name is on disk).
// Their order is what makes a power cut harmless, so tests watch it here; the station sets
// no observer.
using SaveStepObserver = void (*)(std::string_view step);
void observeSaveSteps(SaveStepObserver observer);

// Removes the temporary files of dead saves in `folder` (files "*.saving-XXXXXX" that no
// running save holds locked); returns how many went. Every open() does this for the
// target's folder.
int removeDeadSaves(const std::string& folder);

}  // namespace vanta
