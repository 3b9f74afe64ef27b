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

std::string number(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

// float32 results go out with 9 digits, which brings every float back bit for bit.
std::string resultsArray(const IndexedRepetition& r) {
    std::string text = "{";
    for (int row = 0; row < kResultRowCount; ++row)
        for (int col = 0; col < kResultColumnCount; ++col) {
            if (text.size() > 1) text += ',';
            const float v = r.results[row][col];
            if (std::isnan(v) || std::isinf(v)) {
                text += number(v);
            } else {
                char buf[32];
                std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(v));
                text += buf;
            }
        }
    return text + "}";
}


// The statements a store sends for every test, prepared once per connection: the file's
// bytes go as a binary parameter, never escaped into text.
constexpr const char* kAddSubject = "vanta_add_subject";

// A number the test may not know goes as NULL.
const char* optionalNumber(const std::optional<int32_t>& v, std::string& text) {
    if (!v) return nullptr;
    text = std::to_string(*v);
    return text.c_str();
}
constexpr const char* kAddTest = "vanta_add_test";

void prepareStore(pqxx::connection_base& c) {
    c.prepare(kAddSubject, "INSERT INTO vanta_subjects (id, name, name_key) VALUES ($1::uuid, $2, $3) "
                           "ON CONFLICT (id) DO NOTHING");
    c.prepare(kAddTest,
              "INSERT INTO vanta_tests (sha256, bytes, size, path, modified, subject, subject_key, "
              "                         subject_id, test_time, repetition_count, station, sides_swapped, "
              "                         weight, sex, height, utc_offset, time_zone) "
              "VALUES ($1, $2, $3::bigint, $4, $5::bigint, $6, $7, nullif($8, '')::uuid, $9::bigint, "
              "        $10::integer, nullif($11, ''), $12::boolean, $13::integer, $14::integer, $15::integer, "
              "        $16::integer, nullif($17, '')) "
              "ON CONFLICT (sha256) DO NOTHING RETURNING 1");
}

}  // namespace

StoreResult ServerArchive::store(const IndexedTest& test, std::string_view bytes) {
    const std::vector<StoreResult> r = storeBatch({{&test, bytes}});
    return r.empty() ? StoreResult::Failed : r.front();
}

std::vector<StoreResult> ServerArchive::storeBatch(const std::vector<TestToStore>& batch) {
    std::vector<StoreResult> results(batch.size(), StoreResult::Failed);
    if (!isOpen()) {
        fail("Not connected to the archive server");
        return results;
    }
    if (batch.empty()) return results;
    if (batch.size() > 1 && storeTogether(batch, results)) return results;
    if (!isOpen()) return results;
    // One at a time, each in its own transaction: a test the server refuses (its file
    // changed since it was indexed) waits, and the others go up.
    bool anyFailed = false;
    std::string firstReason;
    for (size_t i = 0; i < batch.size(); ++i) {
        std::vector<StoreResult> one(1, StoreResult::Failed);
        storeTogether({batch[i]}, one);
        results[i] = one[0];
        if (one[0] == StoreResult::Failed) {
            if (!anyFailed) firstReason = reason_;
            anyFailed = true;
            if (!isOpen()) break;  // the server went away or refuses this role: the rest waits
        }
    }
    if (anyFailed) reason_ = firstReason;
    return results;
}

namespace {

// In the order of their keys, on every station: two stations sending overlapping batches
// take the keys' locks in one order and wait for each other, never in a circle.
std::vector<size_t> inKeyOrder(const std::vector<ServerArchive::TestToStore>& batch) {
    std::vector<size_t> order(batch.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b) { return batch[a].test->sha256 < batch[b].test->sha256; });
    return order;
}

// The subjects the tests name, before the tests that name them. A subject keeps the name
// it had when it first reached the server.
void addTheirSubjects(pqxx::work& tx, const std::vector<ServerArchive::TestToStore>& batch) {
    std::vector<std::pair<std::string, std::string>> subjects;
    for (const ServerArchive::TestToStore& t : batch)
        if (!t.test->subjectId.empty()) subjects.emplace_back(t.test->subjectId, t.test->subject);
    std::sort(subjects.begin(), subjects.end());
    for (size_t i = 0; i < subjects.size(); ++i) {
        if (i > 0 && subjects[i].first == subjects[i - 1].first) continue;
        tx.exec_prepared(kAddSubject, subjects[i].first, subjects[i].second, foldedName(subjects[i].second));
    }
}

// One test's row with its bytes: true when it is new, false when another station (or an
// earlier run) was first. A second station sending the same test waits here for the
// first one's transaction and then finds the key taken: stored once, whoever was first.
bool addTest(pqxx::work& tx, const IndexedTest& test, std::string_view bytes, const std::string& station) {
    std::string weight, sex, height, offset;
    const pqxx::result r = tx.exec_prepared(
        kAddTest, test.sha256, pqxx::binarystring(bytes.data(), bytes.size()), static_cast<long long>(bytes.size()),
        test.path, static_cast<long long>(test.modified), test.subject, foldedName(test.subject), test.subjectId,
        static_cast<long long>(test.testTime), static_cast<int>(test.repetitions.size()), station,
        // NULL, not false, for a test whose station's setting is not known.
        test.sidesSwapped ? (*test.sidesSwapped ? "t" : "f") : static_cast<const char*>(nullptr),
        optionalNumber(test.weight, weight), optionalNumber(test.sex, sex), optionalNumber(test.height, height),
        optionalNumber(test.utcOffset, offset), test.timeZone);
    return !r.empty();
}

// The repetitions of every new test in one stream.
void addRepetitions(pqxx::work& tx, const std::vector<const IndexedTest*>& added) {
    pqxx::stream_to rows(tx, "vanta_repetitions",
                         std::vector<std::string>{"sha256", "number", "direction", "load", "radius", "sample_count",
                                                  "velocity_peak_index", "results"});
    for (const IndexedTest* test : added)
        for (const IndexedRepetition& r : test->repetitions)
            rows << std::make_tuple(test->sha256, r.number, r.direction, number(r.load), number(r.radius),
                                    r.sampleCount, r.velocityPeakIndex, resultsArray(r));
    rows.complete();
}

}  // namespace

bool ServerArchive::storeTogether(const std::vector<TestToStore>& batch, std::vector<StoreResult>& results) {
    CallWords words;
    words.failed = "The archive server refused the test";
    // Every test would be refused alike: the sync ends here, the outbox as it was.
    words.denied = "The archive server does not let this role store tests (permission denied): the lab grants a "
                   "station's role INSERT on the archive's tables. ";
    words.unchecked = batch.size() == 1 ? "The file's bytes are not the test " + batch[0].test->sha256 +
                                              " (changed since it was indexed)"
                                        : "The archive server refused a test of the batch";
    const bool ok = call(words, [&](Call& call) {
        if (!prepared_) {
            prepareStore(db_->c);
            prepared_ = true;
        }
        addTheirSubjects(call.tx, batch);
        std::vector<const IndexedTest*> added;
        for (size_t i : inKeyOrder(batch)) {
            call.watched.renew();
            const bool isNew = addTest(call.tx, *batch[i].test, batch[i].bytes, station_);
            results[i] = isNew ? StoreResult::Added : StoreResult::AlreadyThere;
            if (isNew) added.push_back(batch[i].test);
        }
        if (!added.empty()) {
            call.watched.renew();
            addRepetitions(call.tx, added);
        }
        return true;
    });
    if (!ok)
        for (StoreResult& r : results) r = StoreResult::Failed;
    return ok;
}

bool ServerArchive::settleSides(const std::vector<SidesOf>& tests, int& differing, int& replaced) {
    differing = replaced = 0;
    if (tests.empty()) return isOpen() || fail(ServerError::NotConnected, "Not connected to the archive server");
    CallWords words;
    words.failed = "The archive server cannot compare the sides setting";
    words.denied = "The archive server does not let this role correct the sides setting (permission denied): the "
                   "lab grants a station's role UPDATE (sides_swapped) on vanta_tests. ";
    int differ = 0, changed = 0;
    const bool ok = call(words, [&](Call& call) {
        std::vector<const SidesOf*> order;
        for (const SidesOf& t : tests) order.push_back(&t);
        std::sort(order.begin(), order.end(), [](auto a, auto b) { return a->sha256 < b->sha256; });
        for (const SidesOf* t : order) {
            if (!t->sidesSwapped) continue;
            call.watched.renew();
            // Corrected by hand (archive sides): this station's setting replaces the server's.
            if (t->corrected)
                changed += static_cast<int>(call.tx
                                                .exec_params("UPDATE vanta_tests SET sides_swapped = $2 WHERE sha256 = $1"
                                                             " AND sides_swapped IS DISTINCT FROM $2",
                                                             t->sha256, *t->sidesSwapped)
                                                .affected_rows());
            else
                differ += static_cast<int>(call.tx
                                               .exec_params("SELECT 1 FROM vanta_tests WHERE sha256 = $1"
                                                            " AND sides_swapped IS DISTINCT FROM $2",
                                                            t->sha256, *t->sidesSwapped)
                                               .size());
        }
        return true;
    });
    if (!ok) return false;
    differing = differ;
    replaced = changed;
    return true;
}

bool ServerArchive::withdraw(const std::vector<std::string>& sha256s, const std::string& reason, int& changed,
                             std::vector<std::string>& unknown) {
    changed = 0;
    unknown.clear();
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        for (const std::string& sha : sha256s) {
            watched.renew();
            if (tx.exec_params("SELECT 1 FROM vanta_tests WHERE sha256 = $1", sha).empty()) {
                unknown.push_back(sha);
                continue;
            }
            changed += static_cast<int>(
                tx.exec_params("UPDATE vanta_tests SET withdrawn_at = now(), withdrawn_by = current_user, "
                               "withdrawn_reason = $2 WHERE sha256 = $1 AND withdrawn_at IS NULL",
                               sha, reason)
                    .affected_rows());
        }
        tx.commit();
        return true;
    } catch (const pqxx::insufficient_privilege& e) {
        return fail(std::string("This role may not withdraw tests (permission denied): the lab's owner, or a role "
                                "it grants UPDATE (withdrawn_at, withdrawn_by, withdrawn_reason) on vanta_tests, "
                                "withdraws them. ") +
                    e.what());
    } catch (const std::exception& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        return fail(std::string("The archive server cannot withdraw the tests: ") + e.what());
    }
}

bool ServerArchive::restore(const std::string& sha256, int& changed) {
    changed = 0;
    if (!isOpen()) return fail("Not connected to the archive server");
    try {
        Watched watched(*this);
        pqxx::work tx(db_->c);
        if (tx.exec_params("SELECT 1 FROM vanta_tests WHERE sha256 = $1", sha256).empty())
            return fail("No test " + sha256 + " on the archive server");
        changed = static_cast<int>(
            tx.exec_params("UPDATE vanta_tests SET withdrawn_at = NULL, withdrawn_by = NULL, withdrawn_reason = NULL "
                           "WHERE sha256 = $1 AND withdrawn_at IS NOT NULL",
                           sha256)
                .affected_rows());
        tx.commit();
        return true;
    } catch (const pqxx::insufficient_privilege& e) {
        return fail(std::string("This role may not restore tests (permission denied): the lab's owner, or a role "
                                "it grants UPDATE (withdrawn_at, withdrawn_by, withdrawn_reason) on vanta_tests, "
                                "restores them. ") +
                    e.what());
    } catch (const std::exception& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        return fail(std::string("The archive server cannot restore the test: ") + e.what());
    }
}

bool ServerArchive::fetch(const std::string& sha256, std::string& bytes) {
    bytes.clear();
    return call("The archive server cannot send the test", [&](Call& call) {
        pqxx::work& tx = call.tx;
        const pqxx::result r = tx.exec_params("SELECT bytes FROM vanta_tests WHERE sha256 = $1", sha256);
        if (r.empty()) return fail("No test " + sha256 + " on the archive server");
        const pqxx::binarystring blob(r[0][0]);
        bytes.assign(reinterpret_cast<const char*>(blob.data()), blob.size());
        return true;
    });
}

}  // namespace vanta::archive
