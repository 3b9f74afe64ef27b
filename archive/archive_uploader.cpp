#include "archive/archive_uploader.h"

#include <algorithm>
#include <cstdlib>

#include "archive/archive_url.h"

namespace vanta::archive {

std::string archiveStatusText(const ArchiveStatus& status) {
    std::string text = status.waiting == 0 ? std::string("Archive: up to date")
                                           : "Archive: " + std::to_string(status.waiting) + " tests waiting";
    if (!status.configured) {
        if (status.waiting > 0) text += " (no archive server set)";
    } else if (!status.lastFailure.empty()) {
        text += " - " + status.lastFailure.substr(0, status.lastFailure.find('\n'));
    }
    return text;
}

std::chrono::milliseconds retryPause(int failures, std::chrono::milliseconds first, std::chrono::milliseconds longest) {
    if (failures <= 0) return std::chrono::milliseconds(0);
    std::chrono::milliseconds pause = first;
    for (int i = 1; i < failures && pause < longest; ++i) pause *= 2;
    return std::min(pause, longest);
}

ArchiveUploader::ArchiveUploader(OutboxFactory outbox, std::string connection, StatusCallback onStatus,
                                 std::chrono::milliseconds firstPause, std::chrono::milliseconds idlePause)
    : makeOutbox_(std::move(outbox)),
      connection_(std::move(connection)),
      onStatus_(std::move(onStatus)),
      firstPause_(firstPause),
      idlePause_(idlePause) {}

ArchiveUploader::~ArchiveUploader() { stop(); }

void ArchiveUploader::start() {
    if (thread_.joinable()) return;
    stopping_ = false;
    thread_ = std::thread([this] { run(); });
}

void ArchiveUploader::nudge() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        nudged_ = true;
    }
    wake_.notify_one();
}

void ArchiveUploader::stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void ArchiveUploader::run() {
    std::unique_ptr<Outbox> outbox = makeOutbox_();
    ServerArchive server;
    server.setStation(stationName(std::getenv(kStationNameVariable)));
    int failures = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            // A nudge wakes the worker at once; otherwise it looks again after the idle pause
            // (tests the window indexed without a nudge), or after the retry pause.
            const auto ready = [this] { return stopping_.load() || nudged_; };
            wake_.wait_for(lock, failures == 0 ? idlePause_ : retryPause(failures, firstPause_), ready);
            if (stopping_) return;
            nudged_ = false;
        }
        ArchiveStatus status;
        status.configured = !connection_.empty();
        if (!outbox) {
            outbox = makeOutbox_();
            if (!outbox) {
                status.lastFailure = "The station's archive index cannot be opened";
                ++failures;
                if (onStatus_) onStatus_(status);
                continue;
            }
        }
        if (!status.configured) {
            // No server: the tests simply wait; only their count is news.
            std::vector<IndexedTest> pending;
            outbox->pendingUploads(pending);
            status.waiting = static_cast<int>(pending.size());
            failures = 0;
        } else {
            const SendReport report = sendOutbox(*outbox, server, connection_, &stopping_);
            status.waiting = report.waiting;
            status.lastFailure = report.failure;
            failures = report.failure.empty() ? 0 : failures + 1;
        }
        if (onStatus_) onStatus_(status);
    }
}

}  // namespace vanta::archive
