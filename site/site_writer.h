// The report site's folder: its manifest records what each page was made from, so a run
// rewrites only what changed and removes the pages of athletes who are gone. Every page is
// written atomically (a temporary file renamed over it): a reader or a web server never
// sees half a page, and a run that dies leaves the previous site whole.
//
// The folder holds index.html, latest.html, athletes/<key>.html and the manifest
// `site-manifest.txt` (one line per page: its path in the folder, a tab, the digest of
// what it was made from). A folder that holds files but no manifest is no report site of
// this station's and is never written into.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/archive_types.h"

namespace vanta::site {

inline constexpr const char* kManifestName = "site-manifest.txt";

// What an athlete's page is made from: her id and name, each test's identity, time (and
// the local date and time it shows as), station and sides setting, the since date and the
// pages' own design. The same digest is the same page.
std::string athleteDigest(const std::string& id, const std::string& name,
                          const std::vector<archive::IndexedTest>& tests, int64_t since);

class SiteFolder {
public:
    // Creates the folder (and athletes/) where missing and reads its manifest. False with
    // the reason when it cannot be written or holds files without a manifest.
    bool open(const std::string& dir, std::string& message);

    // True when the athlete's page is there and was made from `digest`: it stays as it is.
    bool keeps(const std::string& key, const std::string& digest);
    // Writes her page (athletes/<key>.html) atomically.
    bool writeAthlete(const std::string& key, const std::string& digest, const std::string& html,
                      std::string& message);
    // A page of the folder itself (index.html, latest.html), written only when its bytes
    // changed since the manifest's run.
    bool writePage(const std::string& name, const std::string& html, std::string& message);

    // Removes the pages of the previous run that this run did not make (athletes who are
    // gone, or no longer chosen), then writes the manifest.
    bool finish(std::string& message);

    const std::vector<std::string>& written() const { return written_; }
    const std::vector<std::string>& removed() const { return removed_; }
    int kept() const { return kept_; }

private:
    bool write(const std::string& path, const std::string& digest, const std::string& html, std::string& message);

    std::string dir_;
    std::map<std::string, std::string> previous_, current_;  // page path -> digest
    std::vector<std::string> written_, removed_;
    int kept_ = 0;
};

}  // namespace vanta::site
