#include "archive/local_outbox.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "storage/subject_register.h"

namespace vanta::archive {

bool LocalIndexOutbox::open(const std::string& dataFolder) {
    dataFolder_ = dataFolder;
    return index_.open(dataFolder);
}

namespace {

bool same(const ArchivedSubject& a, const ArchivedSubject& b) {
    return a.id == b.id && a.name == b.name && a.sex == b.sex && a.height == b.height && a.weight == b.weight &&
           a.comments == b.comments && a.nameSet == b.nameSet;
}

}  // namespace

ArchivedSubject archivedSubject(const RegisteredSubject& r) {
    ArchivedSubject s;
    s.id = r.uuid;
    s.name = r.info.name;
    s.sex = r.info.sex;
    s.height = r.info.height;
    s.weight = r.info.weight;
    s.nameSet = r.nameSet;
    // The register's three comment lines as one text, without the empty ones at the end.
    for (const std::string* line : {&r.info.comment1, &r.info.comment2, &r.info.comment3})
        s.comments += (line == &r.info.comment1 ? "" : "\n") + *line;
    while (!s.comments.empty() && s.comments.back() == '\n') s.comments.pop_back();
    return s;
}

bool LocalIndexOutbox::unsentSubjects(std::vector<ArchivedSubject>& subjects) {
    subjects.clear();
    // A station without a register (Abbreviated mode, a folder of old tests) has none; one
    // is never created here.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(dataFolder_) / SubjectRegister::kFileName, ec))
        return true;
    SubjectRegister reg;
    std::vector<RegisteredSubject> all;
    if (!reg.open(dataFolder_) || !reg.search("", all)) return false;
    for (const RegisteredSubject& r : all) {
        if (r.uuid.empty()) continue;
        const ArchivedSubject s = archivedSubject(r);
        if (std::none_of(sent_.begin(), sent_.end(), [&](const ArchivedSubject& x) { return same(x, s); }))
            subjects.push_back(s);
    }
    return true;
}

void LocalIndexOutbox::subjectsSent(const std::vector<ArchivedSubject>& subjects) {
    for (const ArchivedSubject& s : subjects) {
        sent_.erase(std::remove_if(sent_.begin(), sent_.end(), [&](const ArchivedSubject& x) { return x.id == s.id; }),
                    sent_.end());
        sent_.push_back(s);
    }
}

bool LocalIndexOutbox::unsentMerges(std::vector<std::pair<std::string, std::string>>& merges) {
    merges.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(dataFolder_) / SubjectRegister::kFileName, ec))
        return true;
    SubjectRegister reg;
    std::vector<std::pair<std::string, std::string>> all;
    if (!reg.open(dataFolder_) || !reg.merges(all)) return false;
    for (const auto& m : all)
        if (std::find(sentMerges_.begin(), sentMerges_.end(), m) == sentMerges_.end()) merges.push_back(m);
    return true;
}

void LocalIndexOutbox::mergeSent(const std::pair<std::string, std::string>& merge) { sentMerges_.push_back(merge); }

bool LocalIndexOutbox::pendingUploads(std::vector<IndexedTest>& tests) {
    tests.clear();
    std::vector<PendingUpload> pending;
    if (!index_.sendableUploads(pending, dropped_)) return false;
    tests.reserve(pending.size());
    for (PendingUpload& p : pending) tests.push_back(std::move(p.test));
    return true;
}

bool LocalIndexOutbox::markUploaded(const std::string& sha256) { return index_.markUploaded(sha256); }

}  // namespace vanta::archive
