#include "storage/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "storage/posix_io.h"

namespace vanta {

namespace {

constexpr std::string_view kTempMark = ".saving-";
constexpr size_t kTempRandom = 6;
constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file a save through `path` must replace: the end of a chain of symbolic links, or
// the path itself. A link may point at a file that does not exist yet.
bool finalTarget(const std::string& path, std::string& out, int& error) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                error = errno;
                return false;
            }
            out = p;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            out = p;
            return true;
        }
        char link[PATH_MAX];
        const ssize_t n = ::readlink(p.c_str(), link, sizeof link);
        if (n < 0 || static_cast<size_t>(n) >= sizeof link) {
            error = n < 0 ? errno : ENAMETOOLONG;
            return false;
        }
        const std::string to(link, static_cast<size_t>(n));
        const size_t slash = p.rfind('/');
        p = (to.front() == '/' || slash == std::string::npos) ? to : p.substr(0, slash + 1) + to;
    }
    error = ELOOP;
    return false;
}

bool isTemporaryName(std::string_view name) {
    if (name.size() <= kTempMark.size() + kTempRandom) return false;
    const size_t mark = name.size() - kTempRandom - kTempMark.size();
    if (name.substr(mark, kTempMark.size()) != kTempMark) return false;
    for (char c : name.substr(name.size() - kTempRandom))
        if (kAlphabet.find(c) == std::string_view::npos) return false;
    return true;
}

std::string randomSuffix() {
    unsigned char bytes[kTempRandom];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // No random source: time and process still make two saves' names differ.
        const auto seed = static_cast<unsigned long>(::getpid()) * 2654435761u ^ static_cast<unsigned long>(::time(nullptr));
        for (size_t k = 0; k < kTempRandom; ++k) bytes[k] = static_cast<unsigned char>(seed >> (5 * k));
    }
    std::string s;
    for (unsigned char b : bytes) s.push_back(kAlphabet[b % kAlphabet.size()]);
    return s;
}

struct flock wholeFile(short type) {
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    return l;
}

bool sameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

std::atomic<SaveStepObserver> stepObserver{nullptr};

// Each step is told right after its system call has succeeded, in the one place that
// makes the call.
bool step(bool done, std::string_view name) {
    if (done)
        if (const SaveStepObserver observe = stepObserver.load(std::memory_order_relaxed)) observe(name);
    return done;
}
bool syncFile(int fd) { return step(::fsync(fd) == 0, "sync file"); }
bool renameFile(const std::string& from, const std::string& to) {
    return step(::rename(from.c_str(), to.c_str()) == 0, "rename");
}
// 0 or the errno; the policy for file systems that cannot sync a folder is posix_io's.
int syncFolderStep(int dir) {
    const int error = syncFolder(dir);
    step(error == 0, "sync folder");
    return error;
}

}  // namespace

void observeSaveSteps(SaveStepObserver observer) { stepObserver.store(observer, std::memory_order_relaxed); }

int removeDeadSaves(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    const int dfd = ::dirfd(dir);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!isTemporaryName(entry->d_name)) continue;
        const int fd = ::openat(dfd, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {}, named {};
        // A running save holds a write lock on its file until it has renamed it: a read
        // lock is granted only when the save that made the file is gone. Without lock
        // support nothing can be told apart, and nothing is removed.
        struct flock probe = wholeFile(F_RDLCK);
        if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::fcntl(fd, F_OFD_SETLK, &probe) == 0 &&
            ::fstatat(dfd, entry->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && sameFile(held, named) &&
            ::unlinkat(dfd, entry->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    ::closedir(dir);
    return removed;
}

AtomicFile::~AtomicFile() {
    if (!committed_) discard();
}

bool AtomicFile::fail(int error) {
    if (error_ == 0) error_ = error ? error : EIO;
    return false;
}

void AtomicFile::closeFd() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void AtomicFile::discard() {
    // The temporary file goes while this save still holds its lock, so no other save can
    // take it for a dead one's in between.
    if (fd_ >= 0 && !inPlace_ && !temp_.empty()) ::unlink(temp_.c_str());
    closeFd();
    temp_.clear();
}

bool AtomicFile::open(const std::string& path) {
    discard();
    error_ = 0;
    inPlace_ = false;
    hadPrevious_ = false;
    contended_ = false;
    committed_ = false;
    written_ = 0;
    int error = 0;
    if (!finalTarget(path, target_, error)) return fail(error);
    const std::string name = nameOf(target_);
    if (name.empty() || name == "." || name == "..") return fail(EISDIR);

    struct stat existing {};
    const bool exists = ::stat(target_.c_str(), &existing) == 0;
    if (!exists && errno != ENOENT) return fail(errno);
    if (exists && !S_ISREG(existing.st_mode)) return fail(S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);
    hadPrevious_ = exists;
    // A file the operator may not write stays as it is, as it always has, even where the
    // folder would let a rename replace it.
    if (exists && ::access(target_.c_str(), W_OK) != 0) return fail(errno);

    const std::string folder = folderOf(target_);
    removeDeadSaves(folder);

    // The temporary name must fit the file system's limit on one name.
    const std::string stem = name.substr(0, std::min<size_t>(name.size(), NAME_MAX - kTempMark.size() - kTempRandom));
    const std::string prefix = (folder == "/" ? "" : folder) + "/" + stem + std::string(kTempMark);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const std::string temp = prefix + randomSuffix();
        // A new file gets the mode a plain create would give it (0666 less the umask); a
        // replaced one keeps its own, set below.
        const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, exists ? 0600 : 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            // A folder that lets nobody create files in it, with a file that may be
            // written: the file is written where it is.
            if (exists && (errno == EACCES || errno == EPERM || errno == EROFS)) {
                fd_ = ::open(target_.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
                struct stat st {};
                if (fd_ < 0 || ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
                    const int e = fd_ < 0 ? errno : EINVAL;
                    closeFd();
                    return fail(e);
                }
                // The lock tells another save into this file that one is running.
                struct flock hold = wholeFile(F_WRLCK);
                contended_ = ::fcntl(fd_, F_OFD_SETLK, &hold) != 0 && (errno == EAGAIN || errno == EACCES);
                inPlace_ = true;
                return true;
            }
            return fail(errno);
        }
        struct flock hold = wholeFile(F_WRLCK);
        if (::fcntl(fd, F_OFD_SETLK, &hold) != 0 && (errno == EAGAIN || errno == EACCES)) {
            // Another save is clearing this name as a dead one's: leave it to that one.
            ::close(fd);
            continue;
        }
        // Between the create and the lock a clearing save may have removed the file.
        struct stat held {}, named {};
        if (::fstat(fd, &held) != 0 || held.st_nlink == 0 || ::lstat(temp.c_str(), &named) != 0 ||
            !sameFile(held, named)) {
            ::close(fd);
            continue;
        }
        if (exists) {
            if (held.st_uid != existing.st_uid || held.st_gid != existing.st_gid)
                (void)::fchown(fd, existing.st_uid, existing.st_gid);  // only an administrator may
            ::fchmod(fd, existing.st_mode & 07777);
        }
        fd_ = fd;
        temp_ = temp;
        return true;
    }
    return fail(EEXIST);
}

bool AtomicFile::reserve(uint64_t size) {
    if (fd_ < 0) return fail(EBADF);
    if (error_) return false;
    // Beyond the process's file-size limit every write would fail half way (EFBIG).
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && size > limit.rlim_cur)
        return fail(EFBIG);
    if (size == 0) return true;
    // The size stays as it is: an in-place file keeps its old bytes and length until the
    // writes come, and only the blocks it lacks are taken from the disk now.
    int r;
    do r = ::fallocate(fd_, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
    while (r != 0 && errno == EINTR);
    if (r == 0 || errno == EOPNOTSUPP || errno == ENOSYS) return true;
    return fail(errno);
}

bool AtomicFile::anotherSaveRunning() const {
    if (target_.empty()) return false;
    if (contended_) return true;
    const std::string folder = folderOf(target_);
    auto heldByOther = [](int fd) {
        struct flock probe = wholeFile(F_WRLCK);
        return ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    };
    // In place the target itself carries the lock (this save's own fd is not asked).
    if (!inPlace_) {
        const int fd = ::open(target_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd >= 0) {
            const bool held = heldByOther(fd);
            ::close(fd);
            if (held) return true;
        }
    }
    const std::string name = nameOf(target_);
    const std::string stem = name.substr(0, std::min<size_t>(name.size(), NAME_MAX - kTempMark.size() - kTempRandom));
    const std::string own = nameOf(temp_);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    bool running = false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view n = entry->d_name;
        if (!isTemporaryName(n) || n == own || n.size() != stem.size() + kTempMark.size() + kTempRandom ||
            n.substr(0, stem.size()) != stem)
            continue;
        const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        running = heldByOther(fd);
        ::close(fd);
        if (running) break;
    }
    ::closedir(dir);
    return running;
}

bool AtomicFile::write(std::string_view bytes) {
    if (fd_ < 0) return fail(EBADF);
    if (error_) return false;
    const IoResult put = writeAll(fd_, bytes.data(), bytes.size());
    written_ += static_cast<off_t>(put.done);
    return put.error == 0 || fail(put.error);
}

bool AtomicFile::commit() {
    if (fd_ < 0) return fail(EBADF);
    if (error_ == 0 && inPlace_ && ::ftruncate(fd_, written_) != 0) fail(errno);
    if (error_ == 0 && !syncFile(fd_)) fail(errno);
    if (error_ == 0 && !inPlace_ && !renameFile(temp_, target_)) fail(errno);
    if (error_) {
        discard();
        return false;
    }
    // The lock is held up to here, past the rename: until then no other save may take the
    // complete file for a dead one's. A close error cannot lose data the sync has written.
    closeFd();
    temp_.clear();
    committed_ = true;
    if (!inPlace_) {
        // The rename lives in the folder: without this sync a power cut may bring back
        // the previous file, or no file at all.
        const int dir = ::open(folderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            if (const int error = syncFolderStep(dir)) fail(error);
            ::close(dir);
        }
    }
    return error_ == 0;
}

bool writeFileAtomically(const std::string& path, std::string_view bytes, int* error, bool* inPlace) {
    AtomicFile file;
    const bool ok = file.open(path) && file.reserve(bytes.size()) && file.write(bytes) && file.commit();
    if (error) *error = ok ? 0 : file.error();
    if (inPlace) *inPlace = file.inPlace();
    return ok;
}

}  // namespace vanta
