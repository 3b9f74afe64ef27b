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

// What the version table calls this station's tables: a database whose version table
// names another program is not ours to touch.
constexpr const char* kProgram = "vantacheck archive";

// Any one number for the lock that lets only one station at a time create or upgrade the
// tables; a second one waits and then finds them made.
constexpr long long kSchemaLock = 0x56414e5441; // "VANTA"

// Layout 1. The checks let the server itself refuse a file whose bytes are not the ones
// its key names, and a repetition without its 30 results. The subject key is the name
// folded as the register folds it, so a search finds "Novák" by "novak" on the server too.
const char* const kCreateVersion1[] = {
    "CREATE TABLE vanta_archive_schema ("
    "  program text NOT NULL,"
    "  version integer NOT NULL)",
    "CREATE TABLE vanta_subjects ("
    "  id uuid PRIMARY KEY,"
    "  name text NOT NULL)",
    "CREATE TABLE vanta_tests ("
    "  sha256 text PRIMARY KEY CHECK (sha256 ~ '^[0-9a-f]{64}$'),"
    "  bytes bytea%s NOT NULL,"
    "  size bigint NOT NULL,"
    "  path text NOT NULL,"
    "  modified bigint NOT NULL,"
    "  subject text NOT NULL,"
    "  subject_key text NOT NULL,"
    "  subject_id uuid REFERENCES vanta_subjects (id),"
    "  test_time bigint NOT NULL,"
    "  repetition_count integer NOT NULL,"
    "  uploaded timestamptz NOT NULL DEFAULT now(),"
    "  CHECK (octet_length(bytes) = size),"
    "  CHECK (encode(sha256(bytes), 'hex') = sha256))",
    "CREATE INDEX vanta_tests_time ON vanta_tests (test_time)",
    "CREATE INDEX vanta_tests_subject_id ON vanta_tests (subject_id)",
    "CREATE TABLE vanta_repetitions ("
    "  sha256 text NOT NULL REFERENCES vanta_tests (sha256),"
    "  number integer NOT NULL,"
    "  direction integer NOT NULL,"
    "  load double precision NOT NULL,"
    "  radius double precision NOT NULL,"
    "  sample_count integer NOT NULL,"
    "  velocity_peak_index integer NOT NULL,"
    "  results real[] NOT NULL CHECK (cardinality(results) = 30),"
    "  PRIMARY KEY (sha256, number))",
};

// The tables of every layout this station has written, for telling a fresh database
// from one that holds another program's tables.
const char* const kOurTables[] = {"vanta_archive_schema", "vanta_subjects", "vanta_tests", "vanta_repetitions"};

// Layout 2: each test names the station that sent it (NULL for tests sent before stations
// named themselves); the subject's tests are found by index in time order, by id and by
// folded name, for the history and profile of one subject; and the researchers' view.
const char* const kUpgradeTo2[] = {
    "ALTER TABLE vanta_tests ADD COLUMN station text",
    "CREATE INDEX vanta_tests_subject_id_time ON vanta_tests (subject_id, test_time)",
    "DROP INDEX IF EXISTS vanta_tests_subject_id",
    "CREATE INDEX vanta_tests_subject_key_time ON vanta_tests (subject_key, test_time)",
};

// Layout 3: the subjects table is the lab's register. Its name key (the name folded as the
// register folds it) lets a station find a subject another station added before it makes
// an id of its own; the key of names already there is filled in by the upgrading station.
const char* const kUpgradeTo3[] = {
    "ALTER TABLE vanta_subjects ADD COLUMN name_key text, ADD COLUMN sex integer, "
    "  ADD COLUMN height integer, ADD COLUMN weight integer, ADD COLUMN comments text, "
    "  ADD COLUMN merged_into uuid REFERENCES vanta_subjects (id)",
    "CREATE INDEX vanta_subjects_name_key ON vanta_subjects (name_key)",
    "CREATE INDEX vanta_subjects_merged_into ON vanta_subjects (merged_into)",
};

// Layout 4: whether the sending station had left and right swapped when it indexed the
// test (NULL: not known, sent before stations said so), and the subject's body as the file
// holds it, at the test's own time. The view's side then names the side as that station
// did; a test sent before gives the body the lab's register holds now.
const char* const kUpgradeTo4[] = {
    "ALTER TABLE vanta_tests ADD COLUMN sides_swapped boolean, ADD COLUMN weight integer, "
    "  ADD COLUMN sex integer, ADD COLUMN height integer",
};

// Layout 6: the recording station's clock, its offset from UTC at the test time (seconds
// east) and its zone's name, so the view's local time and date are the station's whatever
// the server's zone (NULL: sent before stations said so; the server's zone then).
const char* const kUpgradeTo6[] = {
    "ALTER TABLE vanta_tests ADD COLUMN utc_offset integer, ADD COLUMN time_zone text",
};

// Layout 7: a test withdrawn from the lab's archive (archive withdraw) keeps its rows with
// when, by which role and why; the view and every list leave it out until it is restored.
const char* const kUpgradeTo7[] = {
    "ALTER TABLE vanta_tests ADD COLUMN withdrawn_at timestamptz, ADD COLUMN withdrawn_by text, "
    "  ADD COLUMN withdrawn_reason text",
};

// The researchers' view. From layout 4 its side is the recording station's and the flag
// follows at the end (a view replaced in place keeps its columns and may only add more).
std::string resultsViewStatement(int layout) {
    const char* side = layout >= 4 ? "CASE r.direction * CASE WHEN t.sides_swapped THEN -1 ELSE 1 END "
                                     "WHEN 1 THEN 'right' WHEN -1 THEN 'left' END AS side, "
                                   : "CASE r.direction WHEN 1 THEN 'right' WHEN -1 THEN 'left' END AS side, ";
    std::string sql = std::string(layout >= 4 ? "CREATE OR REPLACE VIEW" : "CREATE VIEW") +
                      " vanta_results AS SELECT "
                      "t.subject, t.subject_id, to_timestamp(t.test_time) AS test_time, t.station, " +
                      side +
                      "r.load AS load_kg, r.radius AS radius_cm, r.number AS repetition, r.direction, "
                      "r.sample_count, t.sha256";
    for (const ResultColumnName& c : resultColumnNames())
        sql += ", r.results[" + std::to_string(c.row * kResultColumnCount + c.column + 1) + "] AS " + c.name;
    if (layout < 4) return sql + " FROM vanta_tests t JOIN vanta_repetitions r ON r.sha256 = t.sha256";
    sql += ", t.sides_swapped, coalesce(t.weight, s.weight) AS body_mass_kg, "
           "CASE coalesce(t.sex, s.sex) WHEN 0 THEN 'female' WHEN 1 THEN 'male' END AS sex, "
           "coalesce(t.height, s.height) AS height_cm ";
    if (layout < 5)
        return sql + "FROM vanta_tests t JOIN vanta_repetitions r ON r.sha256 = t.sha256 "
                     "LEFT JOIN vanta_subjects s ON s.id = t.subject_id";
    // From layout 5 `subject_id` is the athlete's kept id (an id merged away counts as the
    // one it went into, so counting distinct ids counts athletes), the id the test was sent
    // under follows as `recorded_subject_id`, and `athlete` is her name as the lab calls her
    // now, with its folded key for a search that ignores case and accents.
    const size_t at = sql.find("t.subject_id, ");
    sql.replace(at, 14, "coalesce(s.merged_into, t.subject_id) AS subject_id, ");
    sql += ", t.subject_id AS recorded_subject_id, coalesce(k.name, t.subject) AS athlete, "
           "coalesce(k.name_key, t.subject_key) AS athlete_key ";
    if (layout >= 6) {
        // The station's wall clock; a session is one athlete (her kept id) at one station on
        // one of its days.
        const std::string local = "CASE WHEN t.utc_offset IS NULL THEN to_timestamp(t.test_time)::timestamp "
                                  "ELSE to_timestamp(t.test_time + t.utc_offset) AT TIME ZONE 'UTC' END";
        sql += ", " + local + " AS test_time_local, (" + local + ")::date AS test_date_local, "
               "t.utc_offset, t.time_zone, "
               "concat_ws('|', coalesce(coalesce(s.merged_into, t.subject_id)::text, t.subject_key), "
               "coalesce(t.station, ''), (" + local + ")::date) AS session_key ";
    }
    return sql +
           "FROM vanta_tests t JOIN vanta_repetitions r ON r.sha256 = t.sha256 "
           "LEFT JOIN vanta_subjects s ON s.id = t.subject_id "
           "LEFT JOIN vanta_subjects k ON k.id = coalesce(s.merged_into, s.id)" +
           std::string(layout >= 7 ? " WHERE t.withdrawn_at IS NULL" : "");
}

}  // namespace

int upgradeStep(pqxx::work& tx, int layout) {
    switch (layout) {
        case 0: {
            // The files are kept compressed with lz4 where the server has it: pglz, the
            // default, made an upload three times slower for 15 % less disk.
            const bool lz4 = tx.exec("SELECT 1 FROM pg_settings WHERE name = 'default_toast_compression' "
                                     "AND 'lz4' = ANY (enumvals)")
                                 .size() == 1;
            for (std::string statement : kCreateVersion1) {
                const size_t at = statement.find("%s");
                if (at != std::string::npos) statement.replace(at, 2, lz4 ? " COMPRESSION lz4" : "");
                tx.exec(statement);
            }
            tx.exec_params("INSERT INTO vanta_archive_schema (program, version) VALUES ($1, 1)", kProgram);
            return 1;
        }
        case 1:
            for (const char* statement : kUpgradeTo2) tx.exec(statement);
            tx.exec(resultsViewStatement(2));
            return 2;
        case 2: {
            for (const char* statement : kUpgradeTo3) tx.exec(statement);
            const pqxx::result named = tx.exec("SELECT id::text, name FROM vanta_subjects");
            for (const auto& row : named)
                tx.exec_params("UPDATE vanta_subjects SET name_key = $2 WHERE id = $1::uuid", row[0].c_str(),
                               foldedName(row[1].c_str()));
            return 3;
        }
        case 3:
            for (const char* statement : kUpgradeTo4) tx.exec(statement);
            tx.exec(resultsViewStatement(4));
            return 4;
        case 4: {
            // Names are searched with runs of spaces as one: the keys of names written with
            // more are made again (a subject's and a test's alike).
            const pqxx::result named = tx.exec("SELECT id::text, name FROM vanta_subjects");
            for (const auto& row : named)
                tx.exec_params("UPDATE vanta_subjects SET name_key = $2 WHERE id = $1::uuid", row[0].c_str(),
                               foldedName(row[1].c_str()));
            const pqxx::result spaced =
                tx.exec("SELECT DISTINCT subject FROM vanta_tests WHERE subject ~ '(^\\s|\\s$|\\s\\s|[\\t\\r\\n])'");
            for (const auto& row : spaced)
                tx.exec_params("UPDATE vanta_tests SET subject_key = $2 WHERE subject = $1", row[0].c_str(),
                               foldedName(row[0].c_str()));
            // Each name keeps the time it was set, so the newer of two spellings wins.
            tx.exec("ALTER TABLE vanta_subjects ADD COLUMN name_set bigint");
            tx.exec(resultsViewStatement(5));
            return 5;
        }
        case 5:
            for (const char* statement : kUpgradeTo6) tx.exec(statement);
            tx.exec(resultsViewStatement(6));
            return 6;
        case 6:
            for (const char* statement : kUpgradeTo7) tx.exec(statement);
            tx.exec(resultsViewStatement(7));
            return 7;
        case 7:
            // A part of a name ("nov" for every Novák and Novotná) is found through an index
            // of the folded names' three-letter pieces (pg_trgm, from the server's contrib
            // package) rather than by reading every test. A server without pg_trgm takes the
            // layout without the index and answers the same, by reading the tests. The
            // extension may be there already, in a schema of the lab's choosing: its
            // operator class is named in that schema.
            if (!tx.exec("SELECT 1 FROM pg_available_extensions WHERE name = 'pg_trgm'").empty()) {
                tx.exec("CREATE EXTENSION IF NOT EXISTS pg_trgm");
                const std::string schema =
                    tx.exec("SELECT quote_ident(n.nspname) FROM pg_extension e "
                            "JOIN pg_namespace n ON n.oid = e.extnamespace WHERE e.extname = 'pg_trgm'")[0][0]
                        .c_str();
                tx.exec("CREATE INDEX vanta_tests_subject_key_part ON vanta_tests USING gin (subject_key " + schema +
                        ".gin_trgm_ops)");
            }
            return 8;
        default:
            return layout;
    }
}

namespace {

// From the layout found to this station's, step by step inside `tx`: a station that
// stops half-way leaves the layout it found. False where a step does not move the layout
// on (a layout this station has no step from), before the version says otherwise.
bool upgradeFrom(pqxx::work& tx, int layout) {
    while (layout < kServerSchemaVersion) {
        const int made = upgradeStep(tx, layout);
        if (made <= layout) return false;
        tx.exec_params("UPDATE vanta_archive_schema SET version = $1", made);
        layout = made;
    }
    return true;
}

}  // namespace

bool ServerArchive::ensureSchema() {
    try {
        for (int attempt = 0; attempt < 2; ++attempt) {
            Watched watched(*this);
            pqxx::work tx(db_->c);
            // The second look holds the lock under which one station at a time makes or
            // upgrades the tables; another one waits here and then finds them done.
            if (attempt == 1) tx.exec_params("SELECT pg_advisory_xact_lock($1)", kSchemaLock);
            // Only the schema the connection writes into counts (the first of its search path).
            const pqxx::result tables = tx.exec(
                "SELECT table_name FROM information_schema.tables "
                "WHERE table_schema = current_schema()");
            bool haveVersion = false;
            int others = 0;
            int ours = 0;
            for (const auto& row : tables) {
                const std::string name = row[0].c_str();
                if (name == "vanta_archive_schema") haveVersion = true;
                bool known = false;
                for (const char* t : kOurTables) known = known || name == t || name == "vanta_results";
                (known ? ours : others) += 1;
            }
            int version = 0;
            if (haveVersion) {
                const pqxx::result v = tx.exec("SELECT program, version FROM vanta_archive_schema");
                if (v.size() != 1 || std::string(v[0][0].c_str()) != kProgram)
                    return fail("The archive server's database holds another program's tables; "
                                "the station leaves it as it is");
                version = v[0][1].as<int>();
                if (version > kServerSchemaVersion)
                    return fail("The archive server's tables are of a newer station (layout " +
                                std::to_string(version) + ", this station knows " +
                                std::to_string(kServerSchemaVersion) +
                                "): update this station; the server is left as it is");
                if (version == kServerSchemaVersion) return true;
            } else if (others > 0 || ours > 0) {
                return fail("The archive server's database holds another program's tables; "
                            "the station leaves it as it is");
            }
            if (attempt == 0) continue;  // again, under the lock: another station may be at it
            if (!upgradeFrom(tx, version))
                return fail("The archive server's tables are of layout " + std::to_string(version) +
                            ", which this station cannot bring up to date; the server is left as it is");
            tx.commit();
            return true;
        }
    } catch (const pqxx::insufficient_privilege& e) {
        return fail(std::string("The archive server's tables are missing or of an older layout, and this role "
                                "may not create or upgrade them (the lab's database owner connects once to do "
                                "it): ") +
                    e.what());
    } catch (const std::exception& e) {
        if (db_ && db_->watch.fired()) return brokenBySilence();
        return fail(std::string("The archive server's tables cannot be read: ") + e.what());
    }
    return fail("The archive server's tables cannot be read");
}

}  // namespace vanta::archive
