// What the server archive's files share and nobody else sees: the connection with its
// answer watch, and the watch over one call.
#pragma once

#include <pqxx/pqxx>

#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "archive/server_archive.h"

namespace vanta::archive {

// Ends a call on a server that has stopped answering. A server process that is stopped
// (or a machine that hangs) leaves the line open and its kernel still acknowledges what
// is sent, so neither keepalives nor the server's own statement timeout ever end the wait.
// While a call runs, this thread watches the clock; when the call has had no answer for
// the whole limit it shuts the socket down, and the call returns as a broken connection.
class AnswerWatch {
public:
    ~AnswerWatch() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            quit_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable()) thread_.join();
    }
    // From now on the call on `socket` must be answered within `limit`.
    void arm(int socket, std::chrono::milliseconds limit) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            socket_ = socket;
            deadline_ = std::chrono::steady_clock::now() + limit;
            armed_ = true;
            if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        }
        wake_.notify_one();
    }
    // The call returned: the socket is no longer watched (it may be closed right after).
    void disarm() {
        std::lock_guard<std::mutex> lock(mutex_);
        armed_ = false;
    }
    bool fired() const { return fired_.load(); }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!quit_) {
            if (!armed_) {
                wake_.wait(lock);
                continue;
            }
            if (wake_.wait_until(lock, deadline_) == std::cv_status::timeout && armed_ &&
                std::chrono::steady_clock::now() >= deadline_) {
                fired_ = true;
                armed_ = false;
                ::shutdown(socket_, SHUT_RDWR);
            }
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
    std::chrono::steady_clock::time_point deadline_;
    int socket_ = -1;
    bool armed_ = false;
    bool quit_ = false;
    std::atomic<bool> fired_{false};
};

struct ServerArchive::Connection {
    explicit Connection(const std::string& text) : c(text) {}
    pqxx::connection c;
    AnswerWatch watch;
};

// One call to the server under the watch: armed for its whole run, disarmed when it ends
// whichever way. renew() gives the next statement of a long call its own limit.
class ServerArchive::Watched {
public:
    explicit Watched(ServerArchive& a) : a_(a) { renew(); }
    ~Watched() {
        if (a_.db_) a_.db_->watch.disarm();
    }
    void renew() {
        if (a_.db_) a_.db_->watch.arm(a_.db_->c.sock(), a_.answerLimit_);
    }

private:
    ServerArchive& a_;
};

struct ServerArchive::Call {
    pqxx::work& tx;
    Watched& watched;  // renew() gives the next statement of a long call its own limit
};

// Brings the tables from `layout` to the next one inside `tx` (from 0: makes them in an
// empty database) and answers the layout it made; a layout it knows no step from is
// answered as it is, and the caller stops there.
int upgradeStep(pqxx::work& tx, int layout);

// The LIKE pattern of the names that contain `text`, folded as the register folds names:
// LIKE's own characters in it are taken as they are. The index of the folded names'
// three-letter pieces (layout 6) serves LIKE, where strpos would read every test.
std::string namePartPattern(const std::string& text);

}  // namespace vanta::archive
