// The station's one way of moving bytes through a file descriptor: calls interrupted by a
// signal are made again, a short transfer goes on where it stopped, and a failure keeps
// its errno apart from the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vanta {

// What a transfer of n bytes did: `done` bytes moved; `error` the errno of the call that
// failed (0: none). A read with done < n and no error met the end of the file.
struct IoResult {
    size_t done = 0;
    int error = 0;
    bool complete(size_t wanted) const { return error == 0 && done == wanted; }
    bool atEnd(size_t wanted) const { return error == 0 && done < wanted; }
};

// Writes all n bytes at the descriptor's offset, or at `offset` (pwrite). A write that
// moves nothing without an error (it should not happen) is EIO.
IoResult writeAll(int fd, const void* data, size_t n);
IoResult writeAllAt(int fd, const void* data, size_t n, uint64_t offset);

// Reads n bytes from the descriptor's offset, or from `offset` (pread): fewer only where
// the file ends (error 0) or a read fails (error set).
IoResult readExactly(int fd, void* data, size_t n);
IoResult readExactlyAt(int fd, void* data, size_t n, uint64_t offset);
// One read of up to n bytes, made again when interrupted: the buffered readers' refill.
IoResult readSome(int fd, void* data, size_t n);

// Makes a folder's entries (a new name, a rename) last: 0, or the errno of the failure.
// A file system without sync for folders (EINVAL) or one mounted read-only (EROFS) has
// nothing to make last: both count as done, for every writer of the station.
int syncFolder(int folderFd);
int syncFolder(const std::string& folder);

}  // namespace vanta
