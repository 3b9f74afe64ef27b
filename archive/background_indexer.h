// The window's indexing of the tests it saves and opens: the file is handed over and
// indexed on a thread of its own, so the operator never waits for it. The thread starts
// with the first file and keeps its own connections to the index and the register.
//
// A file that does not read, or an index that cannot be opened, is skipped (the window's
// own open or save has already told the operator what matters); lastProblem() keeps the
// reason. `archive index` over the folders indexes anything skipped later.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace vanta::archive {

class BackgroundIndexer {
public:
    // The index of `dataRoot` (DATA/archive.sqlite beside the subject register).
    explicit BackgroundIndexer(std::string dataRoot);
    // Indexes the files already handed over, then ends the thread: a test saved just
    // before the station closes is still in the index.
    ~BackgroundIndexer();
    BackgroundIndexer(const BackgroundIndexer&) = delete;
    BackgroundIndexer& operator=(const BackgroundIndexer&) = delete;

    // Returns at once. `sidesSwapped` is the station's "Swap left and right" now: a test
    // new to the index keeps it, so its sides are read later as this station named them.
    void add(const std::string& path, std::optional<bool> sidesSwapped = std::nullopt);
    // Until every file handed over is done.
    void waitUntilIdle();

    // Runs on the indexer's thread after each file it put into the index (the window's
    // archive worker sends the test then, not at its next half-minute run). Once this
    // returns, the one it replaced is never called again, so it may be cleared before
    // whatever it calls goes.
    void setOnIndexed(std::function<void()> onIndexed);

    int64_t indexedCount() const;
    // The files handed over that are done with, indexed or skipped.
    int64_t doneCount() const;
    std::string lastProblem() const;

private:
    void run();

    const std::string dataRoot_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::pair<std::string, std::optional<bool>>> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    int64_t indexed_ = 0;
    int64_t done_ = 0;
    std::string lastProblem_;
    std::mutex callbackLock_;  // held while onIndexed_ runs
    std::function<void()> onIndexed_;
    std::thread thread_;
};

}  // namespace vanta::archive
