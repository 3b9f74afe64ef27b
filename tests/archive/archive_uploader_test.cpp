// The window's archive worker against a real server and a real local index: a server that
// is not there yet keeps the tests in the outbox and the worker tries again after growing
// pauses; once the server is there every test goes up and the status says so.
#include "archive/archive_uploader.h"

#include <gtest/gtest.h>

#include <pqxx/pqxx>

#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "archive/local_index.h"
#include "archive/local_outbox.h"
#include "archive/outbox_sender.h"
#include "archive/server_archive.h"
#include "core/demo_test.h"
#include "storage/test_file.h"
#include "tests/support/temp_dir.h"

namespace vanta::archive {
namespace {

std::string readLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

TEST(ArchiveStatusText, SaysWhatWaitsAndWhy) {
    EXPECT_EQ(archiveStatusText({0, true, ""}), "Archive: up to date");
    EXPECT_EQ(archiveStatusText({2, true, "The archive server cannot be reached: no route\nmore"}),
              "Archive: 2 tests waiting - The archive server cannot be reached: no route");
    EXPECT_EQ(archiveStatusText({3, false, ""}), "Archive: 3 tests waiting (no archive server set)");
}

TEST(ArchiveRetryPause, GrowsToItsLongest) {
    using std::chrono::seconds;
    EXPECT_EQ(retryPause(1), seconds(2));
    EXPECT_EQ(retryPause(2), seconds(4));
    EXPECT_EQ(retryPause(5), seconds(32));
    EXPECT_EQ(retryPause(9), seconds(300));
    EXPECT_EQ(retryPause(1000), seconds(300));
}

TEST(ArchiveUploader, KeepsTheOutboxWhileTheServerIsAwayAndSendsItOnceItIsThere) {
    const char* dir = std::getenv("VANTA_TEST_PG_DIR");
    ASSERT_TRUE(dir && *dir);
    const std::string port = readLine(std::string(dir) + "/port");
    const std::string db = "up" + std::to_string(::getpid());
    const std::string admin = "postgresql://postgres@/postgres?host=" + std::string(dir) + "&port=" + port;
    const std::string url = "postgresql://postgres@/" + db + "?host=" + std::string(dir) + "&port=" + port;
    {
        pqxx::connection c(admin);
        pqxx::nontransaction(c).exec("DROP DATABASE IF EXISTS " + db);
    }

    vanta::testing::TempDir tmp;
    const std::string data = tmp.file("DATA");
    {
        LocalIndex index;
        ASSERT_TRUE(index.open(data)) << index.lastMessage();
        for (int k = 0; k < 2; ++k) {
            auto test = std::make_unique<TestRecord>();
            fillDemoTest(*test, DemoOptions{2, 1500, static_cast<uint64_t>(k + 1)});
            const std::string path = tmp.file("t" + std::to_string(k) + ".kvq");
            ASSERT_TRUE(writeTestFile(path, *test));
            ASSERT_TRUE(index.indexFile(path)) << index.lastMessage();
        }
    }

    std::mutex m;
    std::condition_variable cv;
    std::vector<ArchiveStatus> seen;
    std::vector<std::chrono::steady_clock::time_point> when;
    auto makeOutbox = [data]() -> std::unique_ptr<Outbox> {
        auto o = std::make_unique<LocalIndexOutbox>();
        if (!o->open(data)) return nullptr;
        return o;
    };
    ArchiveUploader uploader(
        makeOutbox, url,
        [&](const ArchiveStatus& s) {
            std::lock_guard<std::mutex> lock(m);
            seen.push_back(s);
            when.push_back(std::chrono::steady_clock::now());
            cv.notify_all();
        },
        std::chrono::milliseconds(100), std::chrono::hours(1));
    uploader.start();
    const auto waitFor = [&](auto done) {
        std::unique_lock<std::mutex> lock(m);
        return cv.wait_for(lock, std::chrono::seconds(30), [&] { return done(); });
    };
    // The database is not there: failed runs, each with both tests waiting, each pause
    // at least twice the one before (a busy machine only makes them longer).
    ASSERT_TRUE(waitFor([&] { return seen.size() >= 5; }));
    {
        std::lock_guard<std::mutex> lock(m);
        for (const ArchiveStatus& s : seen) {
            EXPECT_EQ(s.waiting, 2);
            EXPECT_NE(s.lastFailure.find("cannot be reached"), std::string::npos) << s.lastFailure;
        }
        for (int k = 1; k < 5; ++k)
            EXPECT_GE(when[k] - when[k - 1], retryPause(k, std::chrono::milliseconds(100)))
                << "the pause after failure " << k;
    }
    {
        pqxx::connection c(admin);
        pqxx::nontransaction(c).exec("CREATE DATABASE " + db);
    }
    // The next retry finds it; no nudge needed (the idle pause is an hour).
    ASSERT_TRUE(waitFor([&] { return seen.back().waiting == 0; }));
    EXPECT_EQ(archiveStatusText(seen.back()), "Archive: up to date");
    uploader.stop();
    {
        pqxx::connection c(url);
        EXPECT_EQ(pqxx::nontransaction(c).exec("SELECT count(*) FROM vanta_tests")[0][0].as<int>(), 2);
    }
    LocalIndex index;
    ASSERT_TRUE(index.open(data));
    int64_t waiting = -1;
    ASSERT_TRUE(index.pendingCount(waiting));
    EXPECT_EQ(waiting, 0);
    pqxx::connection c(admin);
    pqxx::nontransaction(c).exec("DROP DATABASE " + db + " WITH (FORCE)");
}

// A file changed after it was indexed is not the test its key names: the server refuses
// it, the sync says so and the test stays in the outbox, while the others go up.
TEST(ArchiveSync, ATestTheServerRefusesStaysInTheOutbox) {
    const char* dir = std::getenv("VANTA_TEST_PG_DIR");
    ASSERT_TRUE(dir && *dir);
    const std::string port = readLine(std::string(dir) + "/port");
    const std::string db = "refused" + std::to_string(::getpid());
    const std::string admin = "postgresql://postgres@/postgres?host=" + std::string(dir) + "&port=" + port;
    const std::string url = "postgresql://postgres@/" + db + "?host=" + std::string(dir) + "&port=" + port;
    {
        pqxx::connection c(admin);
        pqxx::nontransaction(c).exec("DROP DATABASE IF EXISTS " + db);
        pqxx::nontransaction(c).exec("CREATE DATABASE " + db);
    }
    vanta::testing::TempDir tmp;
    const std::string data = tmp.file("DATA");
    std::vector<std::string> paths;
    {
        LocalIndex index;
        ASSERT_TRUE(index.open(data)) << index.lastMessage();
        for (int k = 0; k < 3; ++k) {
            auto test = std::make_unique<TestRecord>();
            fillDemoTest(*test, DemoOptions{2, 1500, static_cast<uint64_t>(k + 1)});
            paths.push_back(tmp.file("t" + std::to_string(k) + ".kvq"));
            ASSERT_TRUE(writeTestFile(paths.back(), *test));
            ASSERT_TRUE(index.indexFile(paths.back())) << index.lastMessage();
        }
        auto changed = std::make_unique<TestRecord>();
        fillDemoTest(*changed, DemoOptions{2, 1500, 99});
        ASSERT_TRUE(writeTestFile(paths[1], *changed));  // after indexing
    }
    LocalIndexOutbox outbox;
    ASSERT_TRUE(outbox.open(data));
    ServerArchive server;
    const SendReport report = sendOutbox(outbox, server, url);
    EXPECT_EQ(report.sent, 2);
    EXPECT_EQ(report.waiting, 1);
    EXPECT_NE(report.failure.find("changed since it was indexed"), std::string::npos) << report.failure;
    std::vector<IndexedTest> pending;
    ASSERT_TRUE(outbox.pendingUploads(pending));
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].path, paths[1]);
    server.close();
    {
        pqxx::connection c(url);
        EXPECT_EQ(pqxx::nontransaction(c).exec("SELECT count(*) FROM vanta_tests")[0][0].as<int>(), 2);
    }
    pqxx::connection c(admin);
    pqxx::nontransaction(c).exec("DROP DATABASE " + db + " WITH (FORCE)");
}

}  // namespace
}  // namespace vanta::archive
