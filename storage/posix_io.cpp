#include "storage/posix_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace vanta {

namespace {

// Repeats `call(pointer, left, offset)` until n bytes moved, the file ended (0) or a call
// failed with anything but EINTR.
template <typename Call>
IoResult transfer(size_t n, Call call) {
    IoResult result;
    while (result.done < n) {
        const ssize_t moved = call(result.done, n - result.done);
        if (moved < 0 && errno == EINTR) continue;
        if (moved < 0) {
            result.error = errno;
            break;
        }
        if (moved == 0) break;
        result.done += static_cast<size_t>(moved);
    }
    return result;
}

IoResult writeFailure(IoResult r, size_t n) {
    if (r.error == 0 && r.done < n) r.error = EIO;
    return r;
}

}  // namespace

IoResult writeAll(int fd, const void* data, size_t n) {
    const auto* p = static_cast<const char*>(data);
    return writeFailure(transfer(n, [&](size_t at, size_t left) { return ::write(fd, p + at, left); }), n);
}

IoResult writeAllAt(int fd, const void* data, size_t n, uint64_t offset) {
    const auto* p = static_cast<const char*>(data);
    return writeFailure(transfer(n,
                                 [&](size_t at, size_t left) {
                                     return ::pwrite(fd, p + at, left, static_cast<off_t>(offset + at));
                                 }),
                        n);
}

IoResult readExactly(int fd, void* data, size_t n) {
    auto* p = static_cast<char*>(data);
    return transfer(n, [&](size_t at, size_t left) { return ::read(fd, p + at, left); });
}

IoResult readExactlyAt(int fd, void* data, size_t n, uint64_t offset) {
    auto* p = static_cast<char*>(data);
    return transfer(n, [&](size_t at, size_t left) { return ::pread(fd, p + at, left, static_cast<off_t>(offset + at)); });
}

IoResult readSome(int fd, void* data, size_t n) {
    IoResult result;
    for (;;) {
        const ssize_t got = ::read(fd, data, n);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) result.error = errno;
        else result.done = static_cast<size_t>(got);
        return result;
    }
}

int syncFolder(int folderFd) {
    if (::fsync(folderFd) == 0) return 0;
    const int error = errno;
    return error == EINVAL || error == EROFS ? 0 : error;
}

int syncFolder(const std::string& folder) {
    const int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return errno;
    const int error = syncFolder(dfd);
    ::close(dfd);
    return error;
}

}  // namespace vanta
