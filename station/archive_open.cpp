#include "station/archive_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "archive/sha256.h"
#include "core/sides.h"
#include "profile/profile_texts.h"
#include "storage/name_folding.h"
#include "storage/subject_register.h"

namespace vanta {

LabTestRow labTestRow(const archive::IndexedTest& test, bool sidesSwapped) {
    LabTestRow row;
    row.subject = test.subject;
    const time_t when = static_cast<time_t>(test.testTime);
    std::tm local{};
    char date[32] = "";
    if (localtime_r(&when, &local)) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
    row.date = date;
    std::vector<double> loads;
    bool left = false, right = false;
    // The sides as the recording station named them, where the archive kept its setting.
    const bool swapped = test.sidesSwapped.value_or(sidesSwapped);
    for (const archive::IndexedRepetition& r : test.repetitions) {
        loads.push_back(r.load);
        if (const auto side = sideOfDirection(r.direction, swapped)) (*side == Side::Left ? left : right) = true;
    }
    for (double load : distinctLoads(std::move(loads))) row.loads += (row.loads.empty() ? "" : ", ") + loadText(load);
    if (!row.loads.empty()) row.loads += " kg";
    row.sides = left && right ? "left, right" : left ? "left" : right ? "right" : "";
    row.station = test.station;
    return row;
}

bool subjectMatches(const std::string& subject, const std::string& search) {
    return foldedName(subject).find(foldedName(search)) != std::string::npos;
}

std::string folderForFetchedTest(const archive::IndexedTest& test, bool extendedMode, const std::string& dataRoot,
                                 const std::string& dataDirectory) {
    if (!extendedMode) return dataDirectory;
    std::error_code ec;
    // A register is read where there is one; a fetch makes none.
    if (!std::filesystem::is_regular_file(std::filesystem::path(dataRoot) / SubjectRegister::kFileName, ec))
        return dataDirectory;
    SubjectRegister subjects;
    if (!subjects.open(dataRoot)) return dataDirectory;
    RegisteredSubject found;
    bool known = !test.subjectId.empty() && subjects.getByUuid(test.subjectId, found);
    if (!known) {
        std::vector<RegisteredSubject> named;
        known = subjects.findByName(test.subject, named) && named.size() == 1;
        if (known) found = named.front();
    }
    std::string folder;
    if (known && subjects.ensureDirectory(found, &folder) && !folder.empty()) return folder;
    return dataDirectory;
}

namespace {

// The file name the test had on the station that recorded it, when it is a plain name
// of a test file; else one made of its identity.
std::string fetchedFileStem(const archive::IndexedTest& test) {
    std::string name = test.path.substr(test.path.find_last_of("/\\") + 1);
    const std::string suffix = ".kvq";
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        name.resize(name.size() - suffix.size());
    else
        name.clear();
    if (name.empty() || name == "." || name == "..") name = "archive-" + test.sha256.substr(0, 12);
    return name;
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool storeFetchedTest(const std::string& bytes, const archive::IndexedTest& test, const std::string& folder,
                      std::string& path, std::string& error) {
    path.clear();
    error.clear();
    if (archive::sha256Hex(bytes) != test.sha256) {
        error = "The bytes the archive server sent are not the test " + test.sha256 + "; nothing was saved";
        return false;
    }
    // Written whole beside its place first, then linked to a free name: a link never
    // replaces a file, so a name taken meanwhile (another station's save) is skipped too.
    std::string temporary = folder + "/.fetching-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "Cannot write into " + folder + ": " + std::strerror(errno);
        return false;
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ::close(fd);
    if (!written) {
        ::unlink(temporary.c_str());
        error = "Cannot write into " + folder + ": " + std::strerror(writeErrno);
        return false;
    }
    const std::string stem = folder + "/" + fetchedFileStem(test);
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate = stem + (n == 1 ? "" : "_" + std::to_string(n)) + ".kvq";
        if (::link(temporary.c_str(), candidate.c_str()) == 0) {
            ::unlink(temporary.c_str());
            const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir >= 0) {
                ::fsync(dir);
                ::close(dir);
            }
            path = candidate;
            return true;
        }
        if (errno != EEXIST) {
            error = "Cannot write " + candidate + ": " + std::strerror(errno);
            ::unlink(temporary.c_str());
            return false;
        }
    }
    ::unlink(temporary.c_str());
    error = "No free file name in " + folder;
    return false;
}

}  // namespace vanta
