// What the lab's archive knows of a test file: the rows of the local index, the same rows
// on the shared server, and what the history and profile screens read back from either.
// Plain data; the index never holds the only copy of anything (every row can be worked out
// again from the file it names).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/records.h"

namespace vanta::archive {

struct IndexedRepetition {
    int32_t number = 0;     // 1 is the first repetition of the file, as the station counts
    int32_t direction = 0;  // as stored: +1 or -1 for a recorded stroke
    double load = 0.0;      // kg, the stored float32 read as a double
    double radius = 0.0;    // cm, the same
    int32_t sampleCount = 0;
    int32_t velocityPeakIndex = -10;  // -10: the analysis found no peak
    // The 30 result values of the analysis, row by row as RepetitionResults holds them.
    float results[kResultRowCount][kResultColumnCount] = {};

    float at(ResultRow row, ResultColumn col) const { return results[row][static_cast<int>(col)]; }
};

struct IndexedTest {
    std::string sha256;     // 64 lowercase hex digits of the file's bytes: the test's identity
    std::string path;       // where the file was when it was indexed
    int64_t size = 0;       // bytes
    int64_t modified = 0;   // modification time, nanoseconds since 1970
    std::string subject;    // the subject's name as the file holds it (UTF-8)
    std::string subjectId;  // the register subject's UUID where known, else empty
    int64_t testTime = 0;   // seconds since 1970-01-01 UTC, as the file holds it
    std::string station;    // on the lab's archive: the station that sent it ("" unknown)
    // Whether the station that indexed the file had left and right swapped (its Setup >
    // "Swap left and right" then): which side a direction is, as that station named it.
    // Unknown for tests indexed before the index kept it; a reader then takes its own.
    std::optional<bool> sidesSwapped;
    // In the outbox: the sides setting was corrected by hand (archive sides) since the test
    // was sent, so the lab's archive takes it over the one it holds.
    bool sidesCorrected = false;
    // The subject's body as the file holds it (kg; 0 female, 1 male, -1 not chosen; cm):
    // a study's columns at the test's own time. Unknown for tests indexed before.
    std::optional<int32_t> weight, sex, height;
    // The recording station's clock: its offset from UTC at the test time (seconds east)
    // and its zone's name ("Europe/Prague"), so the test's local time is the station's on
    // any computer. Unknown for tests indexed before the index kept them.
    std::optional<int32_t> utcOffset;
    std::string timeZone;
    // On the lab's archive, a test taken out of histories, lists and the view (archive
    // withdraw): when (seconds since 1970, 0 while it counts), by which role and why.
    int64_t withdrawnAt = 0;
    std::string withdrawnBy, withdrawnReason;
    std::vector<IndexedRepetition> repetitions;
};

// What `archive list` and the history screen ask for; every field that is set must match.
struct TestQuery {
    std::optional<std::string> subject;    // folded as the register's search folds names
    std::optional<std::string> subjectId;  // exact UUID
    std::optional<int64_t> from;           // testTime >= from
    std::optional<int64_t> to;             // testTime <  to
    bool withdrawn = false;                // the lab's archive: the withdrawn tests instead
};

// A subject as the lab's archive keeps it: the lab's register, one id per athlete for
// every station. Sex, height and weight as the station's register holds them.
struct ArchivedSubject {
    std::string id;  // the UUID, lower case
    std::string name;
    int sex = -1;     // 0 female, 1 male, -1 not chosen
    int height = 0;   // cm
    int weight = 0;   // kg
    std::string comments;  // the register's comment lines, one per line
    // As the lab's archive answers a look-up: her tests (with those of ids merged into
    // hers) and the time of the last one (seconds since 1970, 0: none).
    long long tests = 0;
    int64_t lastTest = 0;
    // When the name was set at the station that named her (ms since 1970 UTC; 0: before
    // names had a time): the lab keeps the newer of two spellings, never the one sent last.
    int64_t nameSet = 0;
};

// One answer of the lab's archive to a question the window or the command line asked it.
struct LabAnswer {
    bool ok = false;
    std::vector<IndexedTest> tests;         // a list's or a subject's tests
    std::string bytes;                      // a fetched test's bytes
    std::vector<ArchivedSubject> subjects;  // the lab's subjects of a name
    std::string reason;                     // why not, when !ok
};

}  // namespace vanta::archive
