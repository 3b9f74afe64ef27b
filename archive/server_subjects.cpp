#include "archive/server_archive.h"

#include <pqxx/pqxx>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/server_internal.h"
#include "storage/name_folding.h"

namespace vanta::archive {

bool ServerArchive::listSubjects(std::vector<SubjectCount>& subjects) {
    subjects.clear();
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        // A merged id is no subject of its own: its tests count for the one it went into.
        const pqxx::result rows = tx.exec(
            "SELECT s.id::text, s.name, (SELECT count(*) FROM vanta_tests t WHERE t.subject_id = s.id "
            "  OR t.subject_id IN (SELECT m.id FROM vanta_subjects m WHERE m.merged_into = s.id)) "
            "FROM vanta_subjects s WHERE s.merged_into IS NULL ORDER BY coalesce(s.name_key, s.name), s.id");
        for (const auto& row : rows) subjects.push_back({row[0].c_str(), row[1].c_str(), row[2].as<long long>()});
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        subjects.clear();
        if (db_ && db_->watch.fired()) return brokenBySilence();
        return fail(std::string("The archive server cannot list its subjects: ") + e.what());
    }
}

bool ServerArchive::mergeSubjects(const std::string& keep, const std::string& gone) {
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        // The id kept is itself followed to where it went, so every merge stays one step deep.
        const pqxx::result root = tx.exec_params(
            "SELECT coalesce(merged_into, id)::text FROM vanta_subjects WHERE id = $1::uuid", keep);
        if (root.empty()) return fail("No subject " + keep + " on the archive server");
        const std::string into = root[0][0].c_str();
        if (tx.exec_params("SELECT 1 FROM vanta_subjects WHERE id = $1::uuid", gone).empty())
            return fail("No subject " + gone + " on the archive server");
        if (into == gone) return fail("The subjects " + keep + " and " + gone + " are one already");
        tx.exec_params("UPDATE vanta_subjects SET merged_into = $1::uuid WHERE id = $2::uuid OR merged_into = $2::uuid",
                       into, gone);
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        fail(std::string("The archive server cannot merge the subjects: ") + e.what());
        if (db_ && !db_->c.is_open()) close();
        return false;
    }
}
bool ServerArchive::subjectsNamed(const std::string& text,
                                  std::vector<std::pair<std::string, std::string>>& idsAndNames) {
    idsAndNames.clear();
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        // A whole name (folded) comes through the index of subject_key, and when any test
        // has it the choice never looks past those (an exact or folded name comes before
        // a part of one). No index serves a part of a name: that scan reads the tests'
        // rows alone, without their repetitions, and only a row per subject crosses the line.
        const std::string key = foldedName(text);
        for (const char* condition : {"subject_key = $1", "strpos(subject_key, $1) > 0"}) {
            const pqxx::result rows = tx.exec_params(std::string("SELECT coalesce(subject_id::text, ''), subject "
                                                                 "FROM vanta_tests WHERE ") +
                                                         condition + " GROUP BY 1, 2 ORDER BY max(test_time), 1, 2",
                                                     key);
            for (const auto& row : rows) idsAndNames.emplace_back(row[0].c_str(), row[1].c_str());
            if (!idsAndNames.empty()) break;
        }
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        idsAndNames.clear();
        if (db_ && db_->watch.fired()) return brokenBySilence();
        return fail(std::string("The archive server cannot send the subject's tests: ") + e.what());
    }
}

bool ServerArchive::storeSubjects(const std::vector<ArchivedSubject>& subjects) {
    if (!isOpen()) return fail("Not connected to the archive server");
    if (subjects.empty()) return true;
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        // In the order of their ids on every station, so two stations never wait in a circle.
        std::vector<const ArchivedSubject*> order;
        for (const ArchivedSubject& s : subjects) order.push_back(&s);
        std::sort(order.begin(), order.end(), [](auto a, auto b) { return a->id < b->id; });
        for (const ArchivedSubject* s : order) {
            watched.renew();
            // A row that already says the same is left alone: a station syncing every few
            // minutes does not rewrite the lab's register each time.
            tx.exec_params(
                "INSERT INTO vanta_subjects AS s (id, name, name_key, sex, height, weight, comments) "
                "VALUES ($1::uuid, $2, $3, $4::integer, $5::integer, $6::integer, $7) "
                "ON CONFLICT (id) DO UPDATE SET name = EXCLUDED.name, name_key = EXCLUDED.name_key, "
                "  sex = EXCLUDED.sex, height = EXCLUDED.height, weight = EXCLUDED.weight, "
                "  comments = EXCLUDED.comments "
                "WHERE (s.name, s.name_key, s.sex, s.height, s.weight, s.comments) IS DISTINCT FROM "
                "  (EXCLUDED.name, EXCLUDED.name_key, EXCLUDED.sex, EXCLUDED.height, EXCLUDED.weight, "
                "   EXCLUDED.comments)",
                s->id, s->name, foldedName(s->name), s->sex, s->height, s->weight, s->comments);
        }
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        fail(std::string("The archive server refused the subjects: ") + e.what());
        if (db_ && !db_->c.is_open()) close();
        return false;
    }
}

bool ServerArchive::findSubjects(const std::string& name, std::vector<ArchivedSubject>& found) {
    found.clear();
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        const pqxx::result rows = tx.exec_params(
            "SELECT id::text, name, coalesce(sex, -1), coalesce(height, 0), coalesce(weight, 0), "
            "       coalesce(comments, '') "
            "FROM vanta_subjects WHERE name_key = $1 ORDER BY name, id",
            foldedName(name));
        for (const auto& row : rows)
            found.push_back({row[0].c_str(), row[1].c_str(), row[2].as<int>(), row[3].as<int>(), row[4].as<int>(),
                             row[5].c_str()});
        tx.commit();
        return true;
    } catch (const std::exception& e) {
        found.clear();
        if (db_ && db_->watch.fired()) return brokenBySilence();
        return fail(std::string("The archive server cannot look the subject up: ") + e.what());
    }
}

bool ServerArchive::attachSubjectIds(const std::vector<LearnedId>& learned, int* attached) {
    if (attached) *attached = 0;
    if (!isOpen()) return fail("Not connected to the archive server");
    if (learned.empty()) return true;
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        std::vector<const LearnedId*> order;
        for (const LearnedId& l : learned) order.push_back(&l);
        std::sort(order.begin(), order.end(), [](auto a, auto b) { return a->sha256 < b->sha256; });
        int changed = 0;
        for (const LearnedId* l : order) {
            watched.renew();
            // The subject row first: the test's id must name a subject the server holds.
            tx.exec_params("INSERT INTO vanta_subjects (id, name, name_key) VALUES ($1::uuid, $2, $3) "
                           "ON CONFLICT (id) DO NOTHING",
                           l->subjectId, l->subjectName, foldedName(l->subjectName));
            changed += static_cast<int>(
                tx.exec_params("UPDATE vanta_tests SET subject_id = $2::uuid WHERE sha256 = $1 AND subject_id IS NULL",
                               l->sha256, l->subjectId)
                    .affected_rows());
        }
        tx.commit();
        if (attached) *attached = changed;
        return true;
    } catch (const std::exception& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        fail(std::string("The archive server cannot take the tests' subject ids: ") + e.what());
        if (db_ && !db_->c.is_open()) close();
        return false;
    }
}

}  // namespace vanta::archive
