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

namespace {

// The lock one merge of subjects holds on the server at a time ("MERGE").
constexpr long long kMergeLock = 0x4D45524745;

}  // namespace

bool ServerArchive::listSubjects(std::vector<SubjectCount>& subjects) {
    subjects.clear();
    const bool ok = call("The archive server cannot list its subjects", [&](Call& call) {
        pqxx::work& tx = call.tx;
        // A merged id is no subject of its own: its tests count for the one it went into.
        const pqxx::result rows = tx.exec(
            // The tests are counted in one pass, each under its kept subject: a count per
            // subject through an OR of two ids reads the whole table once per subject.
            "WITH counted AS (SELECT coalesce(m.merged_into, m.id) AS kept, count(*) AS n "
            "  FROM vanta_tests t JOIN vanta_subjects m ON m.id = t.subject_id GROUP BY 1) "
            "SELECT s.id::text, s.name, coalesce(c.n, 0), "
            "  (SELECT coalesce(string_agg(m.id::text, ',' ORDER BY m.id), '') FROM vanta_subjects m "
            "   WHERE m.merged_into = s.id) "
            "FROM vanta_subjects s LEFT JOIN counted c ON c.kept = s.id "
            "WHERE s.merged_into IS NULL ORDER BY coalesce(s.name_key, s.name), s.id");
        for (const auto& row : rows) {
            SubjectCount c{row[0].c_str(), row[1].c_str(), row[2].as<long long>(), {}};
            const std::string merged = row[3].c_str();
            for (size_t at = 0; at < merged.size(); at += 37) c.mergedIds.push_back(merged.substr(at, 36));
            subjects.push_back(std::move(c));
        }
        return true;
    });
    if (!ok) subjects.clear();
    return ok;
}

bool ServerArchive::hasSubject(const std::string& id, bool& held) {
    held = false;
    return call("The archive server cannot look the subject up", [&](Call& call) {
        held = !call.tx.exec_params("SELECT 1 FROM vanta_subjects WHERE id = $1::uuid", id).empty();
        return true;
    });
}

bool ServerArchive::mergeSubjects(const std::string& keep, const std::string& gone) {
    return call("The archive server cannot merge the subjects", [&](Call& call) {
        pqxx::work& tx = call.tx;
        // One merge at a time on the whole server: two stations merging the same two ids
        // the opposite way round would each follow the other's half-made merge into a circle.
        tx.exec_params("SELECT pg_advisory_xact_lock($1)", kMergeLock);
        // Both ids are followed to where they went, and the whole group of the one merged
        // away goes over: every merge stays one step deep.
        const auto rootOf = [&](const std::string& id, std::string& root) {
            const pqxx::result r =
                tx.exec_params("SELECT coalesce(merged_into, id)::text FROM vanta_subjects WHERE id = $1::uuid", id);
            if (r.empty()) return fail("No subject " + id + " on the archive server");
            root = r[0][0].c_str();
            return true;
        };
        std::string into, from;
        if (!rootOf(keep, into) || !rootOf(gone, from)) return false;
        if (into == from) return fail("The subjects " + keep + " and " + gone + " are one already");
        tx.exec_params("UPDATE vanta_subjects SET merged_into = $1::uuid WHERE id = $2::uuid OR merged_into = $2::uuid",
                       into, from);
        return true;
    });
}

bool ServerArchive::subjectsNamed(const std::string& text,
                                  std::vector<std::pair<std::string, std::string>>& idsAndNames) {
    idsAndNames.clear();
    const bool ok = call("The archive server cannot send the subject's tests", [&](Call& call) {
        pqxx::work& tx = call.tx;
        // A whole name (folded) comes through the index of subject_key, and when any test
        // has it the choice never looks past those (an exact or folded name comes before
        // a part of one). A part of a name comes through the index of the names' pieces;
        // either way only a row per subject crosses the line.
        const std::string key = foldedName(text);
        const std::string pattern = namePartPattern(text);
        for (const bool whole : {true, false}) {
            const std::string condition = whole ? "t.subject_key = $1" : "t.subject_key LIKE $1 ESCAPE '\\'";
            // A test of an id merged away is the kept athlete's: one person, one candidate.
            const pqxx::result rows = tx.exec_params(
                std::string("SELECT coalesce(coalesce(s.merged_into, t.subject_id)::text, ''), t.subject "
                            "FROM vanta_tests t LEFT JOIN vanta_subjects s ON s.id = t.subject_id WHERE ") +
                    condition + " GROUP BY 1, 2 ORDER BY max(t.test_time), 1, 2",
                whole ? key : pattern);
            for (const auto& row : rows) idsAndNames.emplace_back(row[0].c_str(), row[1].c_str());
            if (!idsAndNames.empty()) break;
        }
        return true;
    });
    if (!ok) idsAndNames.clear();
    return ok;
}

bool ServerArchive::storeSubjects(const std::vector<ArchivedSubject>& subjects) {
    if (subjects.empty() && isOpen()) return true;
    return call("The archive server refused the subjects", [&](Call& call) {
        pqxx::work& tx = call.tx;
        // In the order of their ids on every station, so two stations never wait in a circle.
        std::vector<const ArchivedSubject*> order;
        for (const ArchivedSubject& s : subjects) order.push_back(&s);
        std::sort(order.begin(), order.end(), [](auto a, auto b) { return a->id < b->id; });
        for (const ArchivedSubject* s : order) {
            call.watched.renew();
            // A row that already says the same is left alone: a station syncing every few
            // minutes does not rewrite the lab's register each time.
            // The name (with its key) changes only for a newer one: a station that syncs the
            // spelling it had before a rename elsewhere never writes it back.
            tx.exec_params(
                "INSERT INTO vanta_subjects AS s (id, name, name_key, sex, height, weight, comments, name_set) "
                "VALUES ($1::uuid, $2, $3, $4::integer, $5::integer, $6::integer, $7, $8::bigint) "
                "ON CONFLICT (id) DO UPDATE SET "
                "  name = CASE WHEN EXCLUDED.name_set > coalesce(s.name_set, -1) THEN EXCLUDED.name ELSE s.name END, "
                "  name_key = CASE WHEN EXCLUDED.name_set > coalesce(s.name_set, -1) THEN EXCLUDED.name_key "
                "    ELSE s.name_key END, "
                "  name_set = greatest(EXCLUDED.name_set, s.name_set), "
                "  sex = EXCLUDED.sex, height = EXCLUDED.height, weight = EXCLUDED.weight, "
                "  comments = EXCLUDED.comments "
                "WHERE (s.sex, s.height, s.weight, s.comments) IS DISTINCT FROM "
                "  (EXCLUDED.sex, EXCLUDED.height, EXCLUDED.weight, EXCLUDED.comments) "
                "  OR EXCLUDED.name_set > coalesce(s.name_set, -1) AND s.name IS DISTINCT FROM EXCLUDED.name",
                s->id, normalisedName(s->name), foldedName(s->name), s->sex, s->height, s->weight, s->comments,
                static_cast<long long>(s->nameSet));
        }
        return true;
    });
}

bool ServerArchive::findSubjects(const std::string& name, std::vector<ArchivedSubject>& found) {
    found.clear();
    const bool ok = call("The archive server cannot look the subject up", [&](Call& call) {
        // Kept subjects only: an id merged into another is no athlete of its own, and a
        // station taking it would start a second history beside the kept one.
        const pqxx::result rows = call.tx.exec_params(
            "SELECT s.id::text, s.name, coalesce(s.sex, -1), coalesce(s.height, 0), coalesce(s.weight, 0), "
            "       coalesce(s.comments, ''), count(t.sha256), coalesce(max(t.test_time), 0) "
            "FROM vanta_subjects s LEFT JOIN vanta_subjects m ON m.id = s.id OR m.merged_into = s.id "
            "LEFT JOIN vanta_tests t ON t.subject_id = m.id "
            "WHERE s.name_key = $1 AND s.merged_into IS NULL GROUP BY s.id ORDER BY s.name, s.id",
            foldedName(name));
        for (const auto& row : rows)
            found.push_back({row[0].c_str(), row[1].c_str(), row[2].as<int>(), row[3].as<int>(), row[4].as<int>(),
                             row[5].c_str(), row[6].as<long long>(), row[7].as<long long>()});
        return true;
    });
    if (!ok) found.clear();
    return ok;
}

bool ServerArchive::attachSubjectIds(const std::vector<LearnedId>& learned, int* attached) {
    if (attached) *attached = 0;
    if (learned.empty() && isOpen()) return true;
    return call("The archive server cannot take the tests' subject ids", [&](Call& call) {
        pqxx::work& tx = call.tx;
        std::vector<const LearnedId*> order;
        for (const LearnedId& l : learned) order.push_back(&l);
        std::sort(order.begin(), order.end(), [](auto a, auto b) { return a->sha256 < b->sha256; });
        int changed = 0;
        for (const LearnedId* l : order) {
            call.watched.renew();
            // The subject row first: the test's id must name a subject the server holds.
            tx.exec_params("INSERT INTO vanta_subjects (id, name, name_key) VALUES ($1::uuid, $2, $3) "
                           "ON CONFLICT (id) DO NOTHING",
                           l->subjectId, l->subjectName, foldedName(l->subjectName));
            changed += static_cast<int>(
                tx.exec_params("UPDATE vanta_tests SET subject_id = $2::uuid WHERE sha256 = $1 AND subject_id IS NULL",
                               l->sha256, l->subjectId)
                    .affected_rows());
        }
        if (attached) *attached = changed;
        return true;
    });
}

}  // namespace vanta::archive
