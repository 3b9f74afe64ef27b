// archive: the station's index of its tests from the command line (index, list).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <deque>
#include <filesystem>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "archive/local_index.h"
#include "cli/archive_server_commands.h"
#include "archive/subject_ids.h"
#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/station_folders.h"
#include "core/side_by_side.h"

namespace vanta::cli {

namespace {

namespace fs = std::filesystem;
using archive::IndexedTest;
using archive::LocalIndex;

// The data folder the station itself uses: that of its subject register, where the index
// lies beside it.
std::string stationDataFolder() { return stationFolders().subjectLibraryDirectory; }

bool openIndex(const std::string& data, LocalIndex& index, std::string& message) {
    if (index.open(data)) return true;
    message = index.lastMessage();
    return false;
}

int64_t modifiedNanoseconds(const struct stat& st) {
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool isTestFileName(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".kvq";
}

std::string seconds(double s) {
    char text[32];
    if (s < 60) std::snprintf(text, sizeof text, "%.0f s", s);
    else if (s < 3600) std::snprintf(text, sizeof text, "%d min %02d s", static_cast<int>(s) / 60, static_cast<int>(s) % 60);
    else std::snprintf(text, sizeof text, "%d h %02d min", static_cast<int>(s) / 3600, static_cast<int>(s) / 60 % 60);
    return text;
}

int runArchiveIndex(const Args& args) {
    std::string data;
    std::vector<std::string> roots;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--data") {
            if (i + 1 >= args.size() || args[i + 1].empty()) return fail("--data needs a folder");
            data = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return fail("Unknown option " + a + " (see vantacheck-cli archive --help)");
        } else {
            roots.push_back(a);
        }
    }
    if (roots.empty()) return fail("archive index needs one or more folders (see vantacheck-cli archive --help)");
    if (data.empty()) data = stationDataFolder();
    LocalIndex index;
    std::string message;
    if (!openIndex(data, index, message)) return fail(message);

    // The walk: every *.kvq below the folders named (a file named itself is taken as it
    // is). Folders that cannot be read are named and passed by.
    const auto started = std::chrono::steady_clock::now();
    int status = 0;
    struct Candidate {
        std::string path;
        int64_t size;
        int64_t modified;
    };
    std::vector<Candidate> changed;
    int64_t unchanged = 0;
    auto consider = [&](const fs::path& p) {
        struct stat st {};
        const std::string path = fs::absolute(p).lexically_normal().string();
        if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
        const int64_t modified = modifiedNanoseconds(st);
        if (index.isUnchanged(path, st.st_size, modified)) ++unchanged;
        else if (index.lastError() != archive::IndexError::None) throw std::runtime_error(index.lastMessage());
        else changed.push_back({path, st.st_size, modified});
    };
    try {
        for (const std::string& root : roots) {
            std::error_code ec;
            if (fs::is_regular_file(root, ec)) {
                consider(root);
                continue;
            }
            if (!fs::is_directory(root, ec)) {
                std::cerr << root << ": no such folder\n";
                status = 2;
                continue;
            }
            fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
            for (; !ec && it != end; it.increment(ec)) {
                std::error_code fileEc;
                if (it->is_regular_file(fileEc) && isTestFileName(it->path())) consider(it->path());
            }
            if (ec) {
                std::cerr << root << ": " << ec.message() << "\n";
                status = 2;
            }
        }
    } catch (const std::exception& e) {
        return fail(e.what());
    }

    // The reading: every core reads files numbers-only; this thread stores what they
    // read in batches (one transaction each) and shows the progress on a terminal.
    const int total = static_cast<int>(changed.size());
    const unsigned threads = threadsFor(0, std::max(total, 1));
    struct Done {
        std::optional<IndexedTest> test;
        std::string error;
    };
    // Files are stored this many to a transaction: each transaction writes the index's
    // pages it touches into the log again, so one per file would write it over and over.
    constexpr size_t kStoreTogether = 64;
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Done> finished;
    int read = 0;  // files the readers are through with (under the lock)
    std::atomic<int> next{0};
    std::vector<std::thread> readers;
    if (total > 0) index.foldLogRarely();
    for (unsigned t = 0; t < threads && total > 0; ++t)
        readers.emplace_back([&] {
            for (int i; (i = next.fetch_add(1)) < total;) {
                Done d;
                IndexedTest test;
                std::string why;
                if (archive::readIndexedTest(changed[static_cast<size_t>(i)].path, test, &why, 1))
                    d.test = std::move(test);
                else
                    d.error = changed[static_cast<size_t>(i)].path + ": " + why;
                std::lock_guard<std::mutex> g(lock);
                finished.push_back(std::move(d));
                ++read;
                if (finished.size() >= kStoreTogether || read == total) ready.notify_one();
            }
        });

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    std::unique_ptr<archive::SubjectIds> subjects;  // the register is read once there is something to index
    int handled = 0, indexed = 0, unreadable = 0;
    std::string storeError;
    auto lastShown = std::chrono::steady_clock::time_point{};
    const auto readingStarted = std::chrono::steady_clock::now();
    auto show = [&](bool force) {
        if (!terminal) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - lastShown < std::chrono::milliseconds(200)) return;
        lastShown = now;
        const double elapsed = std::chrono::duration<double>(now - readingStarted).count();
        const double rate = elapsed > 0 ? handled / elapsed : 0;
        std::string line = "\r" + std::to_string(handled) + " of " + std::to_string(total) + " files";
        if (rate > 0) {
            char r[32];
            std::snprintf(r, sizeof r, ", %.0f files/s", rate);
            line += r;
            line += ", " + seconds((total - handled) / rate) + " left";
        }
        line += "\x1b[K";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    };
    while (handled < total) {
        std::vector<Done> batch;
        {
            std::unique_lock<std::mutex> g(lock);
            // Woken for a full batch or the last file; on a terminal the progress moves on
            // meanwhile with what is there.
            ready.wait_for(g, std::chrono::milliseconds(200),
                           [&] { return finished.size() >= kStoreTogether || read == total; });
            while (!finished.empty()) {
                batch.push_back(std::move(finished.front()));
                finished.pop_front();
            }
        }
        std::vector<IndexedTest> tests;
        for (Done& d : batch) {
            if (d.test) {
                if (!subjects) subjects = std::make_unique<archive::SubjectIds>(data);
                d.test->subjectId = subjects->of(*d.test);
                tests.push_back(std::move(*d.test));
            } else {
                if (terminal) std::fputs("\r\x1b[K", stderr);
                std::cerr << d.error << "\n";
                ++unreadable;
            }
        }
        handled += static_cast<int>(batch.size());
        if (!tests.empty()) {
            if (!index.store(tests)) {
                // The index cannot be written (disk full, another station holding it too
                // long): the readers stop after the files in their hands.
                storeError = index.lastMessage();
                next.store(total);
                break;
            }
            indexed += static_cast<int>(tests.size());
        }
        show(false);
    }
    for (std::thread& t : readers) t.join();
    if (terminal && total > 0) std::fputs("\r\x1b[K", stderr);
    if (!storeError.empty()) return fail(storeError);

    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char line[200];
    std::snprintf(line, sizeof line, "Files: %d indexed, %lld unchanged, %d unreadable (%.1f s)\n", indexed,
                  static_cast<long long>(unchanged), unreadable, took);
    std::fputs(line, stdout);
    if (unreadable > 0) status = 2;
    return status;
}

// "YYYY-MM-DD" as the first second of that day in local time (the station's dates are
// local), false for anything else.
bool parseDay(const std::string& text, int64_t& seconds) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    long long y = 0, m = 0, d = 0;
    if (!parseInteger(text.substr(0, 4), 1970, 9999, y) || !parseInteger(text.substr(5, 2), 1, 12, m) ||
        !parseInteger(text.substr(8, 2), 1, 31, d))
        return false;
    std::tm t{};
    t.tm_year = static_cast<int>(y) - 1900;
    t.tm_mon = static_cast<int>(m) - 1;
    t.tm_mday = static_cast<int>(d);
    t.tm_isdst = -1;
    const std::time_t at = std::mktime(&t);
    // mktime moves 31 February on to March: such a day is refused, not shifted.
    if (at == static_cast<std::time_t>(-1) || t.tm_mday != d || t.tm_mon != m - 1) return false;
    seconds = at;
    return true;
}

int64_t nextDay(int64_t dayStart) {
    std::time_t at = static_cast<std::time_t>(dayStart);
    std::tm t{};
    localtime_r(&at, &t);
    t.tm_mday += 1;
    t.tm_hour = 0;
    t.tm_min = 0;
    t.tm_sec = 0;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

float peakPower(const archive::IndexedRepetition& r) { return r.at(PeakAll, ResultColumn::Power); }

std::string listJson(const std::vector<IndexedTest>& tests) {
    std::string out = "{\"tests\": [";
    for (size_t i = 0; i < tests.size(); ++i) {
        const IndexedTest& t = tests[i];
        out += i ? ",\n  " : "\n  ";
        out += "{\"sha256\": " + jsonString(t.sha256) + ", \"path\": " + jsonString(t.path) +
               ", \"subject\": " + jsonString(t.subject) +
               ", \"subjectId\": " + (t.subjectId.empty() ? std::string("null") : jsonString(t.subjectId)) +
               ", \"testTime\": " + std::to_string(t.testTime) +
               (t.station.empty() ? std::string() : ", \"station\": " + jsonString(t.station)) + ", \"repetitions\": [";
        for (size_t k = 0; k < t.repetitions.size(); ++k) {
            const archive::IndexedRepetition& r = t.repetitions[k];
            out += k ? ", " : "";
            out += "{\"number\": " + std::to_string(r.number) + ", \"direction\": " + std::to_string(r.direction) +
                   ", \"load\": " + jsonNumber(static_cast<float>(r.load)) +
                   ", \"peakPower\": " + jsonNumber(peakPower(r)) + "}";
        }
        out += "]}";
    }
    out += tests.empty() ? "]}\n" : "\n]}\n";
    return out;
}

std::string listCsv(const std::vector<IndexedTest>& tests) {
    std::string out = summaryHeader();
    for (const IndexedTest& t : tests)
        for (const archive::IndexedRepetition& r : t.repetitions)
            out += summaryRow(t.path, t.subject, static_cast<int32_t>(t.testTime), r.number, static_cast<float>(r.load),
                              static_cast<float>(r.radius), r.sampleCount, r.results);
    return out;
}

std::string listText(const std::vector<IndexedTest>& tests) {
    std::string out;
    for (const IndexedTest& t : tests) {
        out += localDateTime(static_cast<int32_t>(t.testTime)) + "  " + t.subject + "  " + t.path +
               (t.station.empty() ? std::string() : "  station " + t.station) + "\n";
        for (const archive::IndexedRepetition& r : t.repetitions) {
            char line[160];
            std::snprintf(line, sizeof line, "  %3d  direction %+d  load %s kg  peak power %s W\n", r.number,
                          r.direction, jsonNumber(static_cast<float>(r.load)).c_str(), jsonNumber(peakPower(r)).c_str());
            out += line;
        }
    }
    out += std::to_string(tests.size()) + (tests.size() == 1 ? " test\n" : " tests\n");
    return out;
}

int runArchiveList(const Args& args) {
    std::string data, url;
    archive::TestQuery query;
    enum { Text, Json, Csv } format = Text;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--data") {
            if (!hasValue || args[i + 1].empty()) return fail("--data needs a folder");
            data = args[++i];
        } else if (a == "--url") {
            if (!hasValue || args[i + 1].empty()) return fail("--url needs a connection string");
            url = args[++i];
        } else if (a == "--subject") {
            if (!hasValue) return fail("--subject needs a name or part of one");
            query.subject = args[++i];
        } else if (a == "--from" || a == "--to") {
            int64_t day = 0;
            if (!hasValue || !parseDay(args[i + 1], day)) return fail(a + " needs a date YYYY-MM-DD");
            if (a == "--from") query.from = day;
            else query.to = nextDay(day);  // the whole of that day
            ++i;
        } else if (a == "--json" || a == "--csv") {
            if (format != Text) return fail("archive list takes one of --json and --csv");
            format = a == "--json" ? Json : Csv;
        } else {
            return fail("Unknown option " + a + " (see vantacheck-cli archive --help)");
        }
    }
    std::vector<IndexedTest> tests;
    std::string message;
    if (!url.empty()) {
        // The lab's shared archive: the paths are where the tests were when indexed.
        if (!listArchiveServer(url, query, tests, message)) return fail(message);
    } else {
        if (data.empty()) data = stationDataFolder();
        // Listing makes nothing: a mistyped folder is not given an empty index.
        std::error_code ec;
        if (!fs::exists(fs::path(data) / LocalIndex::kFileName, ec))
            return fail("There is no test index in " + data + " (archive index DIR... builds it).");
        LocalIndex index;
        if (!openIndex(data, index, message)) return fail(message);
        if (!index.listTests(query, tests)) return fail(index.lastMessage());
    }
    const std::string out = format == Json ? listJson(tests) : format == Csv ? listCsv(tests) : listText(tests);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (std::fflush(stdout) != 0) return fail("Cannot write the output.");
    return 0;
}

int runArchive(const Args& args) {
    if (args.empty()) return fail("archive needs index, list, sync or fetch (see vantacheck-cli archive --help)");
    const Args rest(args.begin() + 1, args.end());
    if (args[0] == "index") return runArchiveIndex(rest);
    if (args[0] == "list") return runArchiveList(rest);
    if (args[0] == "sync") return runArchiveSync(rest, stationDataFolder());
    if (args[0] == "fetch") return runArchiveFetch(rest, stationDataFolder());
    return fail("Unknown archive command " + args[0] + " (see vantacheck-cli archive --help)");
}

}  // namespace

const std::vector<Command>& archiveCommands() {
    static const std::vector<Command> commands = {
        {"archive", "archive index DIR... | list [...] | sync | fetch SHA256   the lab's archive of tests",
         "Usage: vantacheck-cli archive index DIR... [--data DIR]\n"
         "       vantacheck-cli archive list [--subject TEXT] [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
         "                                   [--json | --csv] [--data DIR | --url URL]\n"
         VANTA_ARCHIVE_SERVER_USAGE
         "index reads every .kvq file below the folders named (numbers only, one file per\n"
         "processor core) into the station's index, DATA/archive.sqlite. A file whose path,\n"
         "size and time are unchanged since it was indexed is not read again. A file that does\n"
         "not read is named on standard error and left out (exit status 2); the others are\n"
         "indexed. On a terminal it shows the progress; otherwise only the summary line.\n"
         "list prints the tests of the index, oldest first, with each repetition's direction,\n"
         "load and peak power. --subject keeps the tests whose subject's name contains TEXT,\n"
         "in any case and with or without accents; --from and --to keep the tests of those\n"
         "days (local time, both days included). --json prints one JSON object, --csv the\n"
         "rows of summary (one per repetition, the file column being the indexed path).\n"
         VANTA_ARCHIVE_SERVER_HELP
         "  --data DIR  the station's data folder whose index is used, the one holding its\n"
         "              subject register (default: the station's own)\n",
         runArchive},
    };
    return commands;
}

}  // namespace vanta::cli
