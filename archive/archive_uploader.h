// The window's archive worker: a thread of its own that sends the outbox to the lab's shared
// archive when a test enters it (nudge) and every half minute, and retries while the server is away with growing
// pauses (so a lab whose server is down for a day is not hammered every second). The
// operator never waits for it; what it has to say goes to the status bar through a callback
// on the worker's thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "archive/outbox_sender.h"

namespace vanta::archive {

struct ArchiveStatus {
    int waiting = 0;          // tests in the outbox
    bool configured = false;  // a server is set
    std::string lastFailure;  // the reason of the last failure; "" after a run without one
};

// "Archive: up to date" or "Archive: N tests waiting", with the reason of the last failure
// after it (its first line), and "(no archive server set)" when there is none.
std::string archiveStatusText(const ArchiveStatus& status);

// The whole reason of a failure for the details box, with what to do where the reason is
// one an operator can mend ("fe_sendauth: no password supplied": the ~/.pgpass file).
std::string archiveFailureDetails(const std::string& reason);

// The pause before the next attempt after `failures` failed runs in a row: 2 s doubling to
// at most 5 minutes.
std::chrono::milliseconds retryPause(int failures, std::chrono::milliseconds first = std::chrono::seconds(2),
                                     std::chrono::milliseconds longest = std::chrono::minutes(5));

class ArchiveUploader {
public:
    // The outbox is opened on the worker's thread (a database connection belongs to the
    // thread that uses it). `onStatus` runs on the worker's thread after every run.
    using OutboxFactory = std::function<std::unique_ptr<Outbox>()>;
    using StatusCallback = std::function<void(const ArchiveStatus&)>;

    ArchiveUploader(OutboxFactory outbox, std::string connection, StatusCallback onStatus,
                    std::chrono::milliseconds firstPause = std::chrono::seconds(2),
                    std::chrono::milliseconds idlePause = std::chrono::seconds(30));
    ~ArchiveUploader();  // stops and joins the thread
    ArchiveUploader(const ArchiveUploader&) = delete;
    ArchiveUploader& operator=(const ArchiveUploader&) = delete;

    void start();
    // A test entered the outbox (or the operator asks): send now, pause or no pause.
    void nudge();
    // Ends the current upload after its transaction and joins the thread.
    void stop();

private:
    void run();

    OutboxFactory makeOutbox_;
    std::string connection_;
    StatusCallback onStatus_;
    std::chrono::milliseconds firstPause_;
    std::chrono::milliseconds idlePause_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool nudged_ = true;  // the first run goes at once
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace vanta::archive
