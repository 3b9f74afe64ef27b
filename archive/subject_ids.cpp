#include "archive/subject_ids.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace vanta::archive {

SubjectIds::SubjectIds(const std::string& dataRoot) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(std::filesystem::path(dataRoot) / SubjectRegister::kFileName, ec))
        open_ = register_.open(dataRoot);
}

std::string SubjectIds::of(const IndexedTest& test) {
    if (!open_) return {};
    RegisteredSubject subject;
    if (register_.subjectForFile(test.path, subject)) return subject.uuid;
    std::vector<RegisteredSubject> named;
    if (register_.findByName(test.subject, named) && named.size() == 1) return named.front().uuid;
    return {};
}

}  // namespace vanta::archive
