#include "storage/journal_claim.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "storage/journal_format.h"

namespace vanta {

namespace {

struct flock wholeFile(short type) {
    struct flock l {};
    l.l_type = type;
    l.l_whence = SEEK_SET;
    return l;
}

JournalEntry entryFor(const std::string& path, const struct stat& st) {
    JournalEntry e;
    e.path = path;
    e.modified = static_cast<int64_t>(st.st_mtime);
    // The samples are checked and counted, not kept.
    e.reading = readJournal(path, nullptr);
    e.subjectName = e.reading.subjectName;
    e.testTime = e.reading.testTime;
    e.attempts = e.reading.attempts;
    e.droppedRecords = e.reading.droppedRecords;
    e.held = journalHeld(path);
    return e;
}

}  // namespace

JournalClaim::JournalClaim(const std::string& path) : path_(path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        error_ = errno;
        return;
    }
    struct stat st {};
    struct flock hold = wholeFile(F_WRLCK);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::fcntl(fd, F_OFD_SETLK, &hold) != 0) {
        error_ = S_ISREG(st.st_mode) ? errno : EINVAL;
        ::close(fd);
        return;
    }
    fd_ = fd;
}

JournalClaim::~JournalClaim() {
    if (fd_ >= 0) ::close(fd_);
}

int JournalClaim::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool JournalClaim::remove() {
    if (fd_ < 0) return false;
    if (::unlink(path_.c_str()) == 0) return true;
    error_ = errno;
    return false;
}

bool journalHeld(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct flock probe = wholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

bool isJournalName(const std::string& name) {
    return name.size() > kJournalPrefix.size() + kJournalSuffix.size() && name.starts_with(kJournalPrefix) &&
           name.ends_with(kJournalSuffix);
}

JournalListing listJournals(const std::string& folder) {
    JournalListing listing;
    const std::string dirPath = folder.empty() ? std::string(".") : folder;
    DIR* dir = ::opendir(dirPath.c_str());
    if (!dir) {
        listing.error = errno;
        return listing;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            listing.error = errno;
            break;
        }
        const std::string name = entry->d_name;
        if (!isJournalName(name)) continue;
        const std::string path = dirPath + "/" + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        listing.entries.push_back(entryFor(path, st));
    }
    ::closedir(dir);
    std::sort(listing.entries.begin(), listing.entries.end(), [](const JournalEntry& a, const JournalEntry& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.path > b.path;
    });
    return listing;
}

}  // namespace vanta
