#include "site/site_writer.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "archive/sha256.h"
#include "site/site_pages.h"
#include "storage/atomic_file.h"

namespace vanta::site {

namespace fs = std::filesystem;

namespace {

constexpr const char* kManifestHead = "vanta-site 1";

std::string localStamp(int64_t t) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&tt, &tm)) return "?";
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M %z", &tm);
    return text;
}

}  // namespace

std::string athleteDigest(const std::string& id, const std::string& name,
                          const std::vector<archive::IndexedTest>& tests, int64_t since) {
    // Each field ends with a character no field holds, so two lists never read alike.
    std::string made = pageDesignDigest() + '\x1f' + id + '\x1f' + name + '\x1f' + std::to_string(since) + '\x1e';
    for (const archive::IndexedTest& t : tests) {
        // The local time as the page shows it: a change of the zone rewrites the page.
        made += t.sha256 + '\x1f' + t.path + '\x1f' + std::to_string(t.testTime) + '\x1f' + localStamp(t.testTime) +
                '\x1f' + t.station + '\x1f' + (t.sidesSwapped ? (*t.sidesSwapped ? "1" : "0") : "-") + '\x1e';
    }
    return archive::sha256Hex(made);
}

bool SiteFolder::open(const std::string& dir, std::string& message) {
    dir_ = dir;
    std::error_code ec;
    const fs::path root(dir);
    const fs::path manifest = root / kManifestName;
    if (fs::exists(root, ec) && !fs::is_directory(root, ec)) {
        message = dir + " is a file, not a folder";
        return false;
    }
    if (fs::is_directory(root, ec) && !fs::exists(manifest, ec) && !fs::is_empty(root, ec)) {
        message = dir + " holds files and no " + kManifestName + ": the site goes into a new or empty folder";
        return false;
    }
    fs::create_directories(root / "athletes", ec);
    if (ec) {
        message = dir + ": " + ec.message();
        return false;
    }
    std::ifstream in(manifest);
    if (in) {
        std::string line;
        if (!std::getline(in, line) || line != kManifestHead) {
            message = (manifest).string() + " is not a manifest this station wrote";
            return false;
        }
        while (std::getline(in, line)) {
            const size_t tab = line.find('\t');
            if (tab == std::string::npos) continue;
            const std::string page = line.substr(0, tab);
            // Only pages of the site's own shape: a damaged manifest removes nothing else.
            const bool own = page == "index.html" || page == "latest.html" ||
                             (page.rfind("athletes/", 0) == 0 && page.find("..") == std::string::npos &&
                              page.find('/', 9) == std::string::npos && page.size() > 14 &&
                              page.compare(page.size() - 5, 5, ".html") == 0);
            if (own) previous_[page] = line.substr(tab + 1);
        }
    }
    return true;
}

bool SiteFolder::keeps(const std::string& key, const std::string& digest) {
    const std::string page = "athletes/" + key + ".html";
    auto it = previous_.find(page);
    std::error_code ec;
    if (it == previous_.end() || it->second != digest || !fs::is_regular_file(fs::path(dir_) / page, ec)) return false;
    current_[page] = digest;
    ++kept_;
    return true;
}

bool SiteFolder::write(const std::string& page, const std::string& digest, const std::string& html,
                       std::string& message) {
    int error = 0;
    const std::string path = (fs::path(dir_) / page).string();
    if (!writeFileAtomically(path, html, &error)) {
        message = path + ": " + std::strerror(error);
        return false;
    }
    current_[page] = digest;
    written_.push_back(page);
    return true;
}

bool SiteFolder::writeAthlete(const std::string& key, const std::string& digest, const std::string& html,
                              std::string& message) {
    return write("athletes/" + key + ".html", digest, html, message);
}

bool SiteFolder::writePage(const std::string& name, const std::string& html, std::string& message) {
    const std::string digest = archive::sha256Hex(html);
    auto it = previous_.find(name);
    std::error_code ec;
    if (it != previous_.end() && it->second == digest && fs::is_regular_file(fs::path(dir_) / name, ec)) {
        current_[name] = digest;
        return true;
    }
    return write(name, digest, html, message);
}

bool SiteFolder::finish(std::string& message) {
    for (const auto& [page, digest] : previous_) {
        if (current_.count(page)) continue;
        std::error_code ec;
        fs::remove(fs::path(dir_) / page, ec);
        if (ec) {
            message = (fs::path(dir_) / page).string() + ": " + ec.message();
            return false;
        }
        removed_.push_back(page);
    }
    std::string manifest = std::string(kManifestHead) + "\n";
    for (const auto& [page, digest] : current_) manifest += page + "\t" + digest + "\n";
    int error = 0;
    const std::string path = (fs::path(dir_) / kManifestName).string();
    if (!writeFileAtomically(path, manifest, &error)) {
        message = path + ": " + std::strerror(error);
        return false;
    }
    return true;
}

}  // namespace vanta::site
