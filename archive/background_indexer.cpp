#include "archive/background_indexer.h"

#include <sys/stat.h>

#include <memory>

#include "archive/local_index.h"
#include "archive/subject_ids.h"

namespace vanta::archive {

BackgroundIndexer::BackgroundIndexer(std::string dataRoot) : dataRoot_(std::move(dataRoot)) {}

BackgroundIndexer::~BackgroundIndexer() {
    {
        std::lock_guard<std::mutex> g(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void BackgroundIndexer::add(const std::string& path, std::optional<bool> sidesSwapped) {
    {
        std::lock_guard<std::mutex> g(lock_);
        queue_.emplace_back(path, sidesSwapped);
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_one();
}

void BackgroundIndexer::waitUntilIdle() {
    std::unique_lock<std::mutex> g(lock_);
    idle_.wait(g, [this] { return queue_.empty() && !busy_; });
}

void BackgroundIndexer::setOnIndexed(std::function<void()> onIndexed) {
    std::lock_guard<std::mutex> g(callbackLock_);
    onIndexed_ = std::move(onIndexed);
}

int64_t BackgroundIndexer::doneCount() const {
    std::lock_guard<std::mutex> g(lock_);
    return done_;
}

int64_t BackgroundIndexer::indexedCount() const {
    std::lock_guard<std::mutex> g(lock_);
    return indexed_;
}

std::string BackgroundIndexer::lastProblem() const {
    std::lock_guard<std::mutex> g(lock_);
    return lastProblem_;
}

void BackgroundIndexer::run() {
    // Opened here and used only here: one SQLite connection per thread.
    LocalIndex index;
    std::unique_ptr<SubjectIds> subjects;
    for (;;) {
        std::string path;
        std::optional<bool> sidesSwapped;
        {
            std::unique_lock<std::mutex> g(lock_);
            busy_ = false;
            if (queue_.empty()) idle_.notify_all();
            wake_.wait(g, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping, and everything handed over is done
            path = std::move(queue_.front().first);
            sidesSwapped = queue_.front().second;
            queue_.pop_front();
            busy_ = true;
        }
        std::string problem;
        if (!index.isOpen() && !index.open(dataRoot_)) {
            problem = index.lastMessage();
        } else {
            // The register is read afresh for each file: the operator may have added the
            // subject since the last one.
            subjects = std::make_unique<SubjectIds>(dataRoot_);
            IndexedTest test;
            std::string message;
            struct stat st {};
            if (::stat(path.c_str(), &st) == 0 &&
                index.isUnchanged(path, st.st_size, modifiedNanoseconds(st))) {
                // Opened again as it was: only a subject the index did not know yet is added.
                if (index.testAt(path, test) && test.subjectId.empty()) {
                    const std::string id = subjects->of(test);
                    if (!id.empty() && !index.indexFile(path, nullptr, id)) problem = index.lastMessage();
                }
            } else if (!readIndexedTest(path, test, &message, 1)) {
                problem = path + ": " + message;
            } else {
                test.subjectId = subjects->of(test);
                test.sidesSwapped = sidesSwapped;
                std::vector<std::string> refused;
                if (!index.store({test}, &refused)) problem = index.lastMessage();
                else if (!refused.empty()) problem = refused.front();
            }
        }
        {
            std::lock_guard<std::mutex> g(lock_);
            if (problem.empty()) ++indexed_;
            ++done_;
            lastProblem_ = problem;
        }
        if (problem.empty()) {
            std::lock_guard<std::mutex> g(callbackLock_);
            if (onIndexed_) onIndexed_();
        }
    }
}

}  // namespace vanta::archive
