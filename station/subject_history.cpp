#include "station/subject_history.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "archive/subject_ids.h"
#include "storage/name_folding.h"
#include "storage/subject_register.h"

namespace vanta {

namespace {

// A register that exists is read; a folder of old tests, or a station in Abbreviated
// mode, has none, and none is made for a look-up.
bool openExistingRegister(const std::string& dataRoot, SubjectRegister& subjects) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(dataRoot) / SubjectRegister::kFileName, ec))
        return false;
    return subjects.open(dataRoot);
}

// One subject a text may name: by id where known, else by name.
struct Candidate {
    std::string id, name;
    bool fromRegister = false;
    std::string key() const { return id.empty() ? "name:" + name : id; }
};

// Every subject of the register and every test of the index whose name contains the text.
struct Candidates {
    std::vector<Candidate> found;
    std::string error;  // the index could not be read
};

Candidates candidatesFor(archive::LocalIndex& index, const std::string& dataRoot, const std::string& text) {
    Candidates out;
    SubjectRegister subjects;
    std::vector<RegisteredSubject> registered;
    if (openExistingRegister(dataRoot, subjects) && subjects.search(text, registered))
        for (const RegisteredSubject& s : registered) out.found.push_back({s.uuid, s.info.name, true});
    archive::TestQuery query;
    query.subject = text;
    std::vector<archive::IndexedTest> tests;
    if (!index.listTests(query, tests)) return {{}, index.lastMessage()};
    for (const archive::IndexedTest& t : tests) out.found.push_back({t.subjectId, t.subject, false});
    // Merged ids are one subject: each candidate goes by the id its id was merged into.
    std::vector<std::string> ids;
    if (subjects.isOpen())
        for (Candidate& c : out.found)
            if (!c.id.empty() && subjects.mergedIds(c.id, ids) && !ids.empty()) c.id = ids.front();
    return out;
}

// Of the candidates, those of exactly the text's name, else those whose name folds to the
// text's, else all: "Ana Horvat" is hers even when "Ana Horvath" also contains it.
std::vector<Candidate> closestNamed(std::vector<Candidate> all, const std::string& text) {
    std::vector<Candidate> exact, folded;
    const std::string key = foldedName(text);
    for (const Candidate& c : all) {
        if (c.name == text) exact.push_back(c);
        if (foldedName(c.name) == key) folded.push_back(c);
    }
    if (!exact.empty()) return exact;
    if (!folded.empty()) return folded;
    return all;
}

}  // namespace

bool listSubjectTests(archive::LocalIndex& index, const HistorySubject& subject,
                      std::vector<archive::IndexedTest>& out) {
    out.clear();
    archive::TestQuery query;
    if (!subject.id.empty()) {
        // The subject's id and every id merged with it (the register's merges).
        std::vector<std::string> ids{subject.id};
        SubjectRegister subjects;
        if (openExistingRegister(index.dataRoot(), subjects) && !subjects.mergedIds(subject.id, ids))
            ids = {subject.id};
        for (const std::string& id : ids) {
            std::vector<archive::IndexedTest> tests;
            query.subjectId = id;
            if (!index.listTests(query, tests)) return false;
            for (archive::IndexedTest& t : tests) out.push_back(std::move(t));
        }
        query.subjectId.reset();
    }
    // The index searches names folded; a history takes only the name itself. Asked by an
    // id alone, no name adds tests.
    std::vector<archive::IndexedTest> named;
    query.subject = subject.name;
    if (!subject.name.empty() && !index.listTests(query, named)) return false;
    for (archive::IndexedTest& t : named)
        if (t.subject == subject.name && (subject.id.empty() || t.subjectId.empty())) out.push_back(std::move(t));
    std::stable_sort(out.begin(), out.end(), [](const archive::IndexedTest& a, const archive::IndexedTest& b) {
        return a.testTime != b.testTime ? a.testTime < b.testTime : a.path < b.path;
    });
    return true;
}

HistorySubject subjectOfTestInMemory(archive::LocalIndex& index, const std::string& dataRoot, const std::string& name,
                                     const std::string& file) {
    HistorySubject subject{{}, name};
    archive::IndexedTest known;
    if (!file.empty() && index.testAt(file, known) && known.subject == name) subject.id = known.subjectId;
    if (subject.id.empty()) {
        known.path = file;
        known.subject = name;
        subject.id = archive::SubjectIds(dataRoot).of(known);
    }
    return subject;
}

namespace {

// The one subject among the candidates the text names (see lookUpSubject).
SubjectLookup chooseSubject(const std::vector<Candidate>& all, const std::string& text) {
    SubjectLookup result;
    const std::vector<Candidate> found = closestNamed(all, text);
    if (found.empty()) {
        result.error = "No indexed test of this subject.";
        return result;
    }
    // A test of unknown id under a name that one known subject has is taken for hers (it
    // was indexed before the register knew her, or with two of that name then).
    std::map<std::string, std::set<std::string>> idsOfName;
    for (const Candidate& c : found)
        if (!c.id.empty()) idsOfName[c.name].insert(c.id);
    std::set<std::string> keys, names;
    for (const Candidate& c : found) {
        const auto ids = idsOfName.find(c.name);
        keys.insert(c.id.empty() && ids != idsOfName.end() && ids->second.size() == 1 ? *ids->second.begin() : c.key());
        names.insert(c.name);
    }
    if (keys.size() > 1) {
        std::string list;
        for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
        result.error = "--subject " + text + " names several subjects (" + list + "); give more of the name or --id";
        return result;
    }
    // The register's name where it knows the subject (also when the text named her by an
    // earlier name), else the latest test's (they come oldest first).
    HistorySubject subject{keys.begin()->starts_with("name:") ? std::string() : *keys.begin(), found.back().name};
    const auto registered = std::find_if(all.begin(), all.end(), [&](const Candidate& c) {
        return c.fromRegister && !c.id.empty() && c.id == subject.id;
    });
    if (registered != all.end()) subject.name = registered->name;
    result.subject = subject;
    return result;
}

}  // namespace

SubjectLookup lookUpSubject(archive::LocalIndex& index, const std::string& dataRoot, const std::string& text) {
    const Candidates candidates = candidatesFor(index, dataRoot, text);
    if (!candidates.error.empty()) return {std::nullopt, candidates.error};
    return chooseSubject(candidates.found, text);
}

SubjectLookup lookUpSubjectAmong(const std::vector<std::pair<std::string, std::string>>& idsAndNames,
                                 const std::string& text) {
    std::vector<Candidate> all;
    for (const auto& [id, name] : idsAndNames) all.push_back({id, name, false});
    return chooseSubject(all, text);
}

std::vector<HistoryTestAttempts> historyAttemptsOf(const std::vector<archive::IndexedTest>& tests) {
    std::vector<HistoryTestAttempts> out;
    out.reserve(tests.size());
    for (const archive::IndexedTest& t : tests) {
        HistoryTestAttempts h;
        h.file = t.path;
        h.testTime = t.testTime;
        h.sidesSwapped = t.sidesSwapped;
        for (const archive::IndexedRepetition& r : t.repetitions) {
            HistoryAttempt a;
            a.direction = r.direction;
            a.load = r.load;
            // The analysis leaves the results as they were when it finds no velocity peak.
            a.hasPeak = r.velocityPeakIndex > 0;
            a.peakPower = r.at(PeakAll, ResultColumn::Power);
            h.attempts.push_back(a);
        }
        out.push_back(std::move(h));
    }
    return out;
}

ProfileAttempt profileAttemptOf(const archive::IndexedTest& test, const archive::IndexedRepetition& rep) {
    ProfileAttempt a;
    a.file = test.path;
    a.repetition = rep.number - 1;
    a.direction = rep.direction;
    a.sidesSwapped = test.sidesSwapped;
    // The index holds the file's float32 as a double: back to the same float.
    a.loadMass = static_cast<float>(rep.load);
    // The analysis leaves the results as they were when it finds no velocity peak.
    a.hasPeak = rep.velocityPeakIndex > 0;
    a.peakPower = rep.at(PeakAll, ResultColumn::Power);
    a.meanPowerAcceleration = rep.at(MeanAcceleration, ResultColumn::Power);
    a.peakVelocity = rep.at(PeakAll, ResultColumn::Velocity);
    a.meanTorqueAcceleration = rep.at(MeanAcceleration, ResultColumn::Torque);
    a.meanVelocityAcceleration = rep.at(MeanAcceleration, ResultColumn::Velocity);
    return a;
}

}  // namespace vanta
