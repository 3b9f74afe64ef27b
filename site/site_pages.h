// The coach's report site: the athletes page and one page per athlete, as HTML made from
// templates that escape every text (Mustache), with the plots drawn as SVG by the same
// drawing code as the History and Profile screens. Each page stands alone: its style (and
// the athletes page's few lines of search) inside it, allowed by a Content-Security-Policy
// that lets nothing else in, so the folder can be served by any web server or opened from
// a shared folder. No Qt.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/archive_types.h"
#include "history/history.h"
#include "profile/profile.h"

namespace vanta::site {

// One athlete as the pages show her, built by the caller with the functions `history` and
// `profile` use, so the numbers are theirs.
struct AthleteData {
    std::string key;   // the page's file name without ".html": the subject's id, or one made from the name
    std::string id;    // the lab's id ("" for tests known by name only)
    std::string name;
    std::vector<archive::IndexedTest> tests;  // oldest first; rows only
    History history;
    // The load-power profile of her latest test day, and of the 30 days that end with it.
    Profile latestDay, last30Days;
    int64_t latestDayStart = 0, last30Start = 0, latestDayEnd = 0;  // local midnights, end exclusive
    int latestDayTests = 0, last30Tests = 0;
};

// One row of the athletes page.
struct AthleteRow {
    std::string key, name, foldedName;
    int tests = 0;
    int64_t lastTest = 0;  // 0: no test
    // Per side the latest change at each load: "10.00 kg: +12.3 W, a real change".
    struct Change {
        std::string text;
        bool real = false;
    };
    std::vector<Change> changes[2];
};

AthleteRow athleteRow(const AthleteData& athlete);

// The athlete's page, written at athletes/<key>.html.
std::string athletePage(const AthleteData& athlete);

// The athletes page: by name (index.html) or by the latest test, newest first (latest.html).
enum class AthleteOrder { Name, LastTest };
std::string athletesPage(std::vector<AthleteRow> rows, AthleteOrder order, const std::string& source);

// What every page is made with (templates, style, script): part of what the manifest
// records, so a new version of the pages rewrites them all.
const std::string& pageDesignDigest();

}  // namespace vanta::site
