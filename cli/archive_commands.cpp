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
#include <fstream>
#include <iterator>
#include <span>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "archive/indexed_test.h"
#include "archive/local_index.h"
#include "archive/sha256.h"
#include "archive/station_facts.h"
#include "cli/archive_server_commands.h"
#include "archive/subject_ids.h"
#include "cli/cli_output.h"
#include "cli/commands.h"
#include "cli/local_days.h"
#include "cli/station_folders.h"
#include "core/side_by_side.h"
#include "core/sides.h"
#include "storage/settings_file.h"
#include "storage/test_file.h"

namespace vanta::cli {

namespace {

namespace fs = std::filesystem;
using archive::IndexedTest;
using archive::LocalIndex;

struct ArchiveIndexOptions {
    std::vector<std::string> folders;
    std::string data;
    std::optional<bool> sidesSwapped;  // --sides; unset: the station's own setting
};

struct ArchiveListOptions {
    archive::TestQuery query;
    std::string data;
    std::string url;
    bool json = false;
    bool csv = false;
    bool swapSides = false;
    ResultColumns columns = ResultColumns::Report;
    bool columnsGiven = false;
};

// The data folder the station itself uses: that of its subject register, where the index
// lies beside it.
std::string stationDataFolder() { return stationFolders().subjectLibraryDirectory; }

bool openIndex(const std::string& data, LocalIndex& index, std::string& message,
               archive::Access access = archive::Access::ReadWrite) {
    if (index.open(data, access)) return true;
    message = index.lastMessage();
    return false;
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

// A file the walk found that the index does not hold as it is now.
struct Candidate {
    std::string path;
    int64_t size;
    int64_t modified;
};

// What the walk over the folders named found.
struct Walk {
    std::vector<Candidate> changed;
    int64_t unchanged = 0;
    std::vector<std::string> folders;   // the folders walked, absolute, for forgetting gone files
    std::vector<std::string> problems;  // a folder missing or unreadable, one line each
};

// Counts the file as unchanged or takes it for reading; false when the index cannot be read.
bool consider(LocalIndex& index, const fs::path& p, Walk& walk) {
    struct stat st {};
    const std::string path = fs::absolute(p).lexically_normal().string();
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return true;
    const int64_t modified = archive::modifiedNanoseconds(st);
    if (index.isUnchanged(path, st.st_size, modified)) ++walk.unchanged;
    else if (index.lastError() != archive::IndexError::None) return false;
    else walk.changed.push_back({path, st.st_size, modified});
    return true;
}

// Every *.kvq below `root`, folder by folder. A folder that cannot be read is named and
// passed by; the files of the others are still taken. False when the index cannot be read.
bool walkFolder(LocalIndex& index, const fs::path& root, Walk& walk) {
    std::vector<fs::path> folders{root};
    while (!folders.empty()) {
        const fs::path folder = std::move(folders.back());
        folders.pop_back();
        std::error_code ec;
        fs::directory_iterator it(folder, ec);
        for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
            std::error_code typeEc;
            // A link to a folder is not followed (a link back up would never end).
            if (it->is_directory(typeEc) && !it->is_symlink(typeEc)) folders.push_back(it->path());
            else if (isTestFileName(it->path()) && it->is_regular_file(typeEc) && !consider(index, it->path(), walk))
                return false;
        }
        if (ec) walk.problems.push_back(folder.string() + ": " + ec.message());
    }
    return true;
}

// The walk over the folders named (a file named itself is taken as it is); false with the
// index's message when the index cannot be read.
bool walkRoots(LocalIndex& index, const std::vector<std::string>& roots, Walk& walk) {
    for (const std::string& root : roots) {
        std::error_code ec;
        if (fs::is_regular_file(root, ec)) {
            if (!consider(index, root, walk)) return false;
        } else if (!fs::is_directory(root, ec)) {
            walk.problems.push_back(root + ": no such folder");
        } else {
            walk.folders.push_back(fs::absolute(root).lexically_normal().string());
            if (!walkFolder(index, root, walk)) return false;
        }
    }
    return true;
}

// The progress line on a terminal: files done of all, files per second, time left.
class Progress {
public:
    explicit Progress(int total) : total_(total), shown_(::isatty(STDERR_FILENO) == 1) {}
    void show(int handled) {
        if (!shown_) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        const double elapsed = std::chrono::duration<double>(now - started_).count();
        const double rate = elapsed > 0 ? handled / elapsed : 0;
        std::string line = "\r" + std::to_string(handled) + " of " + std::to_string(total_) + " files";
        if (rate > 0) {
            char r[32];
            std::snprintf(r, sizeof r, ", %.0f files/s", rate);
            line += r;
            line += ", " + seconds((total_ - handled) / rate) + " left";
        }
        line += "\x1b[K";
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
    }
    // A line of its own on standard error, the progress line cleared first.
    void say(const std::string& text) {
        if (shown_) std::fputs("\r\x1b[K", stderr);
        std::cerr << text << "\n";
    }
    void clear() {
        if (shown_ && total_ > 0) std::fputs("\r\x1b[K", stderr);
    }

private:
    int total_;
    bool shown_;
    std::chrono::steady_clock::time_point last_{};
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

// Files are stored this many to a transaction: each transaction writes the index's pages it
// touches into the log again, so one per file would write it over and over.
constexpr size_t kStoreTogether = 64;

// The files the reader threads are through with, waiting to be stored.
struct ReadFiles {
    struct Done {
        std::optional<IndexedTest> test;
        std::string error;
    };
    std::mutex lock;
    std::condition_variable ready;
    std::deque<Done> finished;
    int read = 0;  // files the readers are through with (under the lock)
    std::atomic<int> next{0};
};

// One reader thread: files numbers-only, one after the other, until none is left.
void readFiles(const std::vector<Candidate>& files, ReadFiles& shared) {
    const int total = static_cast<int>(files.size());
    for (int i; (i = shared.next.fetch_add(1)) < total;) {
        ReadFiles::Done d;
        IndexedTest test;
        std::string why;
        if (archive::readIndexedTest(files[static_cast<size_t>(i)].path, test, &why, 1)) d.test = std::move(test);
        else d.error = files[static_cast<size_t>(i)].path + ": " + why;
        std::lock_guard<std::mutex> g(shared.lock);
        shared.finished.push_back(std::move(d));
        ++shared.read;
        if (shared.finished.size() >= kStoreTogether || shared.read == total) shared.ready.notify_one();
    }
}

// What is read waits to be stored; woken for a full batch or the last file (on a terminal
// the progress moves on meanwhile with what is there).
std::vector<ReadFiles::Done> nextBatch(ReadFiles& shared, int total) {
    std::vector<ReadFiles::Done> batch;
    std::unique_lock<std::mutex> g(shared.lock);
    shared.ready.wait_for(g, std::chrono::milliseconds(200),
                          [&] { return shared.finished.size() >= kStoreTogether || shared.read == total; });
    while (!shared.finished.empty()) {
        batch.push_back(std::move(shared.finished.front()));
        shared.finished.pop_front();
    }
    return batch;
}

struct StoreCount {
    int indexed = 0;
    int unreadable = 0;     // files that did not read, or that the index could not hold
    std::string storeError; // the index could not be written: the run stops
};

// Every core reads files numbers-only; this thread stores what they read in batches (one
// transaction each) and shows the progress on a terminal.
StoreCount readAndStore(LocalIndex& index, const std::string& data, const std::vector<Candidate>& files,
                        bool sidesSwapped) {
    const int total = static_cast<int>(files.size());
    StoreCount count;
    if (total == 0) return count;
    ReadFiles shared;
    std::vector<std::thread> readers;
    index.foldLogRarely();
    for (unsigned t = 0; t < threadsFor(0, total); ++t) readers.emplace_back([&] { readFiles(files, shared); });
    Progress progress(total);
    std::unique_ptr<archive::SubjectIds> subjects;  // the register is read once there is something to index
    for (int handled = 0; handled < total;) {
        std::vector<ReadFiles::Done> batch = nextBatch(shared, total);
        handled += static_cast<int>(batch.size());
        std::vector<IndexedTest> tests;
        for (ReadFiles::Done& d : batch) {
            if (!d.test) {
                progress.say(d.error);
                ++count.unreadable;
                continue;
            }
            if (!subjects) subjects = std::make_unique<archive::SubjectIds>(data);
            d.test->subjectId = subjects->of(*d.test);
            d.test->sidesSwapped = sidesSwapped;  // as the station that recorded them named the sides
            tests.push_back(std::move(*d.test));
        }
        std::vector<std::string> refused;
        if (!tests.empty() && !index.store(tests, &refused)) {
            // The index cannot be written (disk full, another station holding it too long):
            // the readers stop after the files in their hands.
            count.storeError = index.lastMessage();
            shared.next.store(total);
            break;
        }
        for (const std::string& r : refused) progress.say(r);
        count.unreadable += static_cast<int>(refused.size());
        count.indexed += static_cast<int>(tests.size() - refused.size());
        progress.show(handled);
    }
    for (std::thread& t : readers) t.join();
    progress.clear();
    return count;
}

// Indexes every test file below the folders named into the index of `data`.
int indexFolders(const std::string& data, const std::vector<std::string>& roots, bool sidesSwapped) {
    const auto started = std::chrono::steady_clock::now();
    LocalIndex index;
    std::string message;
    if (!openIndex(data, index, message)) return fail(message);
    Walk walk;
    if (!walkRoots(index, roots, walk)) return fail(index.lastMessage());
    for (const std::string& problem : walk.problems) std::cerr << problem << "\n";
    // A file deleted since the folder was last indexed leaves the index (and the outbox).
    int64_t gone = 0;
    std::vector<std::string> gonePaths;
    for (const std::string& folder : walk.folders) {
        int64_t forgotten = 0;
        if (!index.forgetGoneBelow(folder, &forgotten, &gonePaths)) return fail(index.lastMessage());
        gone += forgotten;
    }
    const StoreCount count = readAndStore(index, data, walk.changed, sidesSwapped);
    if (!count.storeError.empty()) return fail(count.storeError);

    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char line[200];
    std::snprintf(line, sizeof line, "Files: %d indexed, %lld unchanged, %d unreadable", count.indexed,
                  static_cast<long long>(walk.unchanged), count.unreadable);
    // A deleted file leaves this index; its test stays in the lab's archive until withdrawn.
    std::string summary;
    for (const std::string& path : gonePaths)
        summary += "Gone: " + plainText(path) + " (the lab's archive keeps its test until archive withdraw)\n";
    summary += line;
    if (gone > 0) summary += ", " + std::to_string(gone) + " gone";
    std::snprintf(line, sizeof line, " (%.1f s)\n", took);
    summary += line;
    if (writeStandardOutput(summary) != 0) return 2;
    return count.unreadable > 0 || !walk.problems.empty() ? 2 : 0;
}

// The station's Setup > "Swap left and right", as its settings file holds it (a station
// never started has the sides as they are).
bool stationSidesSwapped() {
    StationSettings settings;
    loadSettings(stationFolders().settingsPath, settings);
    return settings.sidesSwapped != 0;
}

int runArchiveIndex(const ArchiveIndexOptions& options) {
    const std::string data = options.data.empty() ? stationDataFolder() : options.data;
    // The sides as the station of that data folder names them: --sides, else what the
    // folder says of its station (station.conf), else this station's own setting.
    const std::optional<bool> folders = archive::readStationFacts(data).sidesSwapped;
    return indexFolders(data, options.folders, options.sidesSwapped.value_or(folders.value_or(stationSidesSwapped())));
}

struct ArchiveSidesOptions {
    std::string setting;  // normal or swapped
    std::vector<std::string> files;
    std::string data;
};

// Corrects the sides setting kept with tests indexed wrongly; the lab's archive learns it
// at the next sync.
int runArchiveSides(const ArchiveSidesOptions& options) {
    if (options.setting != "normal" && options.setting != "swapped")
        return fail("archive sides needs normal or swapped, then the test files");
    const std::string data = options.data.empty() ? stationDataFolder() : options.data;
    std::error_code ec;
    if (!fs::exists(fs::path(data) / LocalIndex::kFileName, ec))
        return fail("There is no test index in " + data + " (archive index DIR... builds it).");
    LocalIndex index;
    std::string message;
    if (!openIndex(data, index, message)) return fail(message);
    std::vector<std::string> paths, missing;
    for (const std::string& f : options.files) {
        const std::string path = fs::absolute(f, ec).lexically_normal().string();
        IndexedTest known;
        if (index.testAt(path, known)) paths.push_back(path);
        else if (index.lastError() == archive::IndexError::NotFound) missing.push_back(f);
        else return fail(index.lastMessage());
    }
    int64_t changed = 0;
    if (!index.correctSides(paths, options.setting == "swapped", &changed)) return fail(index.lastMessage());
    for (const std::string& m : missing) std::cerr << m << ": not in the test index (archive index it first)\n";
    const std::string line = std::to_string(changed) + (changed == 1 ? " test" : " tests") + " now " + options.setting +
                             ", " + std::to_string(paths.size() - static_cast<size_t>(changed)) +
                             " already so; the lab's archive learns it at the next sync\n";
    if (writeStandardOutput(line) != 0) return 2;
    return missing.empty() ? 0 : 2;
}

float peakPower(const archive::IndexedRepetition& r) { return r.at(PeakAll, ResultColumn::Power); }

std::string listJson(const std::vector<IndexedTest>& tests, bool swapSides) {
    std::string out = "{\"tests\": [";
    for (size_t i = 0; i < tests.size(); ++i) {
        const IndexedTest& t = tests[i];
        out += i ? ",\n  " : "\n  ";
        out += "{\"sha256\": " + jsonString(t.sha256) + ", \"path\": " + jsonString(t.path) +
               ", \"subject\": " + jsonString(t.subject) +
               ", \"subjectId\": " + (t.subjectId.empty() ? std::string("null") : jsonString(t.subjectId)) +
               ", \"testTime\": " + std::to_string(t.testTime) +
               (t.utcOffset ? ", \"utcOffset\": " + std::to_string(*t.utcOffset) : std::string()) +
               (t.timeZone.empty() ? std::string() : ", \"timeZone\": " + jsonString(t.timeZone)) +
               (t.withdrawnAt == 0 ? std::string()
                                   : ", \"withdrawn\": {\"at\": " + std::to_string(t.withdrawnAt) +
                                         ", \"by\": " + jsonString(t.withdrawnBy) +
                                         ", \"reason\": " + jsonString(t.withdrawnReason) + "}") +
               (t.station.empty() ? std::string() : ", \"station\": " + jsonString(t.station)) + ", \"repetitions\": [";
        for (size_t k = 0; k < t.repetitions.size(); ++k) {
            const archive::IndexedRepetition& r = t.repetitions[k];
            out += k ? ", " : "";
            out += "{\"number\": " + std::to_string(r.number) + ", \"direction\": " + std::to_string(r.direction) +
                   ", \"load\": " + jsonNumber(static_cast<float>(r.load)) +
                   ", \"peakPower\": " + jsonNumber(peakPower(r));
            const std::optional<Side> side = sideOfDirection(r.direction, t.sidesSwapped.value_or(swapSides));
            out += std::string(", \"side\": ") + (side ? "\"" + std::string(sideName(*side)) + "\"" : "null") + "}";
        }
        out += "]}";
    }
    out += tests.empty() ? "]}\n" : "\n]}\n";
    return out;
}

// A test indexed before the index kept the body mass, sex and height: they come from the
// indexed file itself, and only while it is still the very test indexed (the same SHA-256);
// a file since changed or gone leaves them empty rather than give another test's subject.
void addSubjectBody(const IndexedTest& t, StudyColumns& study) {
    std::ifstream in(t.path, std::ios::binary);
    if (!in) return;
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) return;
    if (archive::sha256Hex(bytes) != t.sha256) return;
    auto test = std::make_unique<TestRecord>();
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    if (!readTestBytes(std::span<const uint8_t>(data, bytes.size()), *test, nullptr, SampleStorage::Discard)) return;
    study.weight = test->subject.weight;
    study.sex = test->subject.sex;
    study.height = test->subject.height;
}

std::string listCsv(const std::vector<IndexedTest>& tests, bool fromFiles, bool swapSides, ResultColumns columns) {
    // Each test's sides as its station named them where the archive kept it, else as
    // --swap-sides says.
    std::string out = summaryHeader(columns);
    for (const IndexedTest& t : tests) {
        StudyColumns study;
        study.sha256 = t.sha256;
        study.subjectId = t.subjectId;
        study.station = t.station;
        study.testTime = t.testTime;
        study.utcOffset = t.utcOffset;
        study.sidesSwapped = t.sidesSwapped.value_or(swapSides);
        if (t.weight || t.sex || t.height) {
            study.weight = t.weight;
            study.sex = t.sex;
            study.height = t.height;
        } else if (fromFiles) {
            addSubjectBody(t, study);  // indexed before the index kept the body
        }
        for (const archive::IndexedRepetition& r : t.repetitions)
            out += summaryRow(t.path, t.subject, static_cast<int32_t>(t.testTime), r.number, static_cast<float>(r.load),
                              static_cast<float>(r.radius), r.sampleCount, r.results, r.direction, study, columns);
    }
    return out;
}

std::string listText(const std::vector<IndexedTest>& tests, bool swapSides) {
    std::string out;
    for (const IndexedTest& t : tests) {
        out += localDateTime(static_cast<int32_t>(t.testTime), t.utcOffset) + "  " + plainText(t.subject) + "  " + plainText(t.path) +
               (t.station.empty() ? std::string() : "  station " + plainText(t.station)) + "\n";
        if (t.withdrawnAt != 0)
            out += "  withdrawn " + localDateTime(static_cast<int32_t>(t.withdrawnAt)) + " by " +
                   plainText(t.withdrawnBy) + ": " + plainText(t.withdrawnReason) + "\n";
        for (const archive::IndexedRepetition& r : t.repetitions) {
            // The side as history and profile name it: the recording station's where known.
            const std::optional<Side> side = sideOfDirection(r.direction, t.sidesSwapped.value_or(swapSides));
            char line[160];
            std::snprintf(line, sizeof line, "  %3d  %-5s  load %s kg  peak power %s W\n", r.number,
                          side ? sideName(*side) : "-", jsonNumber(static_cast<float>(r.load)).c_str(),
                          jsonNumber(peakPower(r)).c_str());
            out += line;
        }
    }
    out += std::to_string(tests.size()) + (tests.size() == 1 ? " test\n" : " tests\n");
    return out;
}

int runArchiveList(const ArchiveListOptions& options) {
    if (options.json && options.csv) return fail("archive list takes one of --json and --csv");
    if (options.columnsGiven && !options.csv) return fail("archive list takes --columns with --csv");
    if (options.query.withdrawn && options.url.empty())
        return fail("archive list --withdrawn lists the shared archive's withdrawn tests: it needs --url");
    std::string data = options.data;
    const std::string& url = options.url;
    const archive::TestQuery& query = options.query;
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
        if (!openIndex(data, index, message, archive::Access::ReadOnly)) return fail(message);
        if (!index.listTests(query, tests)) return fail(index.lastMessage());
    }
    return writeStandardOutput(options.json ? listJson(tests, options.swapSides) : options.csv ? listCsv(tests, url.empty(), options.swapSides, options.columns)
                                                    : listText(tests, options.swapSides));
}

}  // namespace

void addArchiveCommand(CommandLine& line) {
    Command archive = line.add("archive", "the lab's archive of tests",
                               "The station's index of its tests, DATA/archive.sqlite, and the lab's shared\n"
                               "archive (PostgreSQL).\n");
    archive.incomplete(
        "archive needs index, list, sides, sync, fetch, withdraw or restore (see vantacheck-cli archive --help)");
    const std::string dataHelp =
        "the station's data folder whose index is used, the one holding its\n"
        "subject register (default: the station's own)";

    auto index = std::make_shared<ArchiveIndexOptions>();
    archive.sub("index", "read folders of tests into the index",
                "Reads every .kvq file below the folders named (numbers only, one file per\n"
                "processor core) into the station's index, DATA/archive.sqlite. A file whose path,\n"
                "size and time are unchanged since it was indexed is not read again. A file that does\n"
                "not read is named on standard error and left out (exit status 2); the others are\n"
                "indexed. On a terminal it shows the progress; otherwise only the summary line.\n")
        .files("DIR", index->folders, "the folders (or test files) to index").required()
        .text("--data", index->data, "DIR", dataHelp, "--data needs a folder")
        .value("--sides", "normal|swapped",
               "how the station that recorded these tests named left and right (its\n"
               "Setup > Swap left and right), kept with each test new to the index so\n"
               "history, profile and the lab's archive name its sides as it did\n"
               "(default: this station's own setting)",
               "--sides needs normal or swapped",
               [index](const std::string& t) {
                   if (t != "normal" && t != "swapped") return false;
                   index->sidesSwapped = t == "swapped";
                   return true;
               })
        .incomplete("archive index needs one or more folders (see vantacheck-cli archive --help)")
        .runs([index] { return runArchiveIndex(*index); });

    auto sides = std::make_shared<ArchiveSidesOptions>();
    archive.sub("sides", "correct the sides setting kept with tests",
                "Sets how the station that recorded these tests named left and right (its Setup >\n"
                "Swap left and right), for tests indexed with the wrong one (--sides, or a data\n"
                "folder of another station). The index keeps it at once; the lab's archive takes\n"
                "it at the next archive sync.\n")
        .file("normal|swapped", sides->setting, "the station's setting").required()
        .files("FILE.kvq", sides->files, "the indexed test files").required()
        .text("--data", sides->data, "DIR", dataHelp, "--data needs a folder")
        .incomplete("archive sides needs normal or swapped, then the test files")
        .runs([sides] { return runArchiveSides(*sides); });

    auto list = std::make_shared<ArchiveListOptions>();
    archive.sub("list", "the tests of the index, or of the shared archive",
                "Prints the tests of the index, oldest first, with each repetition's side, load\n"
                "and peak power. A test's sides are named as the station that indexed it named\n"
                "them; --swap-sides serves the tests indexed before stations kept that.\n")
        .value("--subject", "TEXT",
               "the tests whose subject's name contains TEXT, in any case and with\n"
               "or without accents",
               "--subject needs a name or part of one",
               [list](const std::string& t) {
                   list->query.subject = t;
                   return true;
               })
        .value("--from", "YYYY-MM-DD", "the tests of that day and later (local time)", "--from needs a date YYYY-MM-DD",
               [list](const std::string& t) {
                   int64_t day = 0;
                   if (!parseDay(t, day)) return false;
                   list->query.from = day;
                   return true;
               })
        .value("--to", "YYYY-MM-DD", "the tests of that day and earlier (local time)", "--to needs a date YYYY-MM-DD",
               [list](const std::string& t) {
                   int64_t day = 0;
                   if (!parseDay(t, day)) return false;
                   list->query.to = nextDay(day);  // the whole of that day
                   return true;
               })
        .flag("--json", list->json, "one JSON object")
        .flag("--withdrawn", list->query.withdrawn,
              "the shared archive's withdrawn tests instead, each with who withdrew it,\n"
              "when and why (with --url)")
        .flag("--csv", list->csv,
              "the rows of summary (one per repetition, the file column being the\n"
              "indexed path) with the archive's subject_id and station, and the body\n"
              "mass, sex and height the test's file holds")
        .value("--columns", "report|view",
               "the result columns: report (default: the report's means and whole-stroke\n"
               "peaks under the report's names, as scripts have always read them) or view\n"
               "(all 30 results under the lab view's names, for a statistics package)",
               "--columns needs report or view",
               [list](const std::string& t) {
                   if (t != "report" && t != "view") return false;
                   list->columns = t == "view" ? ResultColumns::View : ResultColumns::Report;
                   list->columnsGiven = true;
                   return true;
               })
        .flag("--swap-sides", list->swapSides,
              "direction +1 is the left side, as the station's setting, for the\n"
              "tests whose station's setting the archive does not know")
        .text("--data", list->data, "DIR", dataHelp, "--data needs a folder")
        .text("--url", list->url, "URL", "list the shared archive's tests instead of the index's",
              "--url needs a connection string")
        .runs([list] { return runArchiveList(*list); });

    addArchiveServerCommands(archive, stationDataFolder);
}

}  // namespace vanta::cli
