#include "storage/atomic_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "tests/support/unprivileged.h"

namespace vanta {
namespace {

namespace fs = std::filesystem;
using testing_support::giveToUnprivileged;
using testing_support::runUnprivileged;

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("atomic-test-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static void spit(const std::string& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

    fs::path dir_;
};

TEST_F(AtomicFileTest, AReplacedFileKeepsItsModeAndNothingIsLeftBeside) {
    spit(path("t.kvq"), "old content");
    ::chmod(path("t.kvq").c_str(), 0640);
    ASSERT_TRUE(writeFileAtomically(path("t.kvq"), "new"));
    EXPECT_EQ(slurp(path("t.kvq")), "new");
    struct stat st {};
    ::stat(path("t.kvq").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(names(), std::vector<std::string>{"t.kvq"});

    // A folder where the file should be, or a missing folder: refused, nothing changes.
    fs::create_directory(path("folder.kvq"));
    int error = 0;
    EXPECT_FALSE(writeFileAtomically(path("folder.kvq"), "x", &error));
    EXPECT_EQ(error, EISDIR);
    EXPECT_TRUE(fs::is_directory(path("folder.kvq")));
    EXPECT_FALSE(writeFileAtomically(path("no/such.kvq"), "x", &error));
    EXPECT_EQ(error, ENOENT);
}

TEST_F(AtomicFileTest, ASymbolicLinkStaysALinkAndItsTargetIsReplaced) {
    fs::create_directories(dir_ / "archive");
    fs::create_directories(dir_ / "links");
    spit(path("archive/t.kvq"), "old");
    fs::create_symlink("../archive/t.kvq", dir_ / "links" / "t.kvq");
    fs::create_symlink("t.kvq", dir_ / "links" / "chain.kvq");  // a link to the link

    AtomicFile file;
    ASSERT_TRUE(file.open(path("links/chain.kvq")));
    EXPECT_EQ(file.target(), path("links/../archive/t.kvq"));
    ASSERT_TRUE(file.write("new") && file.commit());
    EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "t.kvq"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "chain.kvq"));
    EXPECT_EQ(fs::read_symlink(dir_ / "links" / "t.kvq"), "../archive/t.kvq");
    EXPECT_EQ(slurp(path("archive/t.kvq")), "new");
    EXPECT_EQ(fs::directory_iterator(dir_ / "links")->path().filename().string().find(".saving-"), std::string::npos);

    // A link to a file not yet there makes the file where the link points.
    fs::create_symlink("../archive/later.kvq", dir_ / "links" / "later.kvq");
    ASSERT_TRUE(writeFileAtomically(path("links/later.kvq"), "first"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "links" / "later.kvq"));
    EXPECT_EQ(slurp(path("archive/later.kvq")), "first");
}

// A save in a child process: it opens and writes, tells the parent through a pipe, and
// then either dies on the spot or waits for the word to finish.
class ChildSave {
public:
    ChildSave(const std::string& target, bool dieHalfway) {
        int ready[2], go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            AtomicFile file;
            const char mark = file.open(target) && file.write("written by the child") ? 'y' : 'n';
            (void)!::write(ready[1], &mark, 1);
            if (dieHalfway) ::kill(::getpid(), SIGKILL);
            char c = 0;
            (void)!::read(go[0], &c, 1);  // the word, or the parent's end
            ::_exit(c == 'g' && file.commit() ? 0 : 1);
        }
        ::close(ready[1]);
        ::close(go[0]);
        if (dieHalfway) ::close(go[1]);  // nobody will read the word
        else go_ = go[1];
        char mark = 'n';
        started_ = ::read(ready[0], &mark, 1) == 1 && mark == 'y';
        ::close(ready[0]);
        if (dieHalfway) finish();
    }
    ~ChildSave() { finish(); }
    bool started() const { return started_; }
    // Tells the save to complete and waits for it; the exit status (a killed save: -1).
    int finish() {
        if (go_ >= 0) {
            (void)!::write(go_, "g", 1);
            ::close(go_);
            go_ = -1;
        }
        if (pid_ > 0) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
            pid_ = -1;
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return status_;
    }

private:
    pid_t pid_ = -1;
    int go_ = -1;
    int status_ = -1;
    bool started_ = false;
};

TEST_F(AtomicFileTest, TheNextSaveClearsDeadSavesLeftoversAndLeavesRunningSavesAlone) {
    ChildSave running(path("running.kvq"), false);
    ChildSave dead(path("dead.kvq"), true);  // its start leaves the running save's file alone
    ASSERT_TRUE(running.started() && dead.started());
    const std::vector<std::string> before = names();
    ASSERT_EQ(before.size(), 2u);
    EXPECT_EQ(before[0].rfind("dead.kvq.saving-", 0), 0u);
    EXPECT_EQ(before[1].rfind("running.kvq.saving-", 0), 0u);
    spit(path("notes.saving-1.txt"), "someone's own file");  // not a save's name

    ASSERT_TRUE(writeFileAtomically(path("other.kvq"), "x"));
    const std::vector<std::string> after = names();
    ASSERT_EQ(after.size(), 3u);
    EXPECT_EQ(after[0], "notes.saving-1.txt");
    EXPECT_EQ(after[1], "other.kvq");
    EXPECT_EQ(after[2], before[1]) << "the running save's file stays";

    EXPECT_EQ(running.finish(), 0) << "the running save still completes";
    EXPECT_EQ(slurp(path("running.kvq")), "written by the child");
}

TEST_F(AtomicFileTest, AWritableFileInAReadOnlyFolderIsWrittenInPlace) {
    spit(path("shared.kvq"), "the old and longer content");
    spit(path("locked.kvq"), "locked");
    ::chmod(path("shared.kvq").c_str(), 0666);
    ::chmod(path("locked.kvq").c_str(), 0444);
    giveToUnprivileged(path("shared.kvq"));
    giveToUnprivileged(path("locked.kvq"));
    giveToUnprivileged(dir_.string());
    ::chmod(dir_.c_str(), 0555);
    runUnprivileged([&] {
        bool inPlace = false;
        int error = 0;
        EXPECT_TRUE(writeFileAtomically(path("shared.kvq"), "new", &error, &inPlace)) << std::strerror(error);
        EXPECT_TRUE(inPlace);
        EXPECT_EQ(slurp(path("shared.kvq")), "new") << "cut to the new length";

        // A write error in place is still a failure.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{8, 8};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        EXPECT_FALSE(writeFileAtomically(path("shared.kvq"), "more than eight bytes", &error, &inPlace));
        EXPECT_TRUE(inPlace);
        EXPECT_EQ(error, EFBIG);
        EXPECT_EQ(slurp(path("shared.kvq")), "new") << "refused before the first byte";

        // A new file cannot be made there, and a read-only file is not written at all.
        EXPECT_FALSE(writeFileAtomically(path("new.kvq"), "x", &error));
        EXPECT_EQ(error, EACCES);
        EXPECT_FALSE(writeFileAtomically(path("locked.kvq"), "x", &error));
        EXPECT_EQ(slurp(path("locked.kvq")), "locked");
    });
    EXPECT_EQ(names(), (std::vector<std::string>{"locked.kvq", "shared.kvq"}));
}

TEST_F(AtomicFileTest, AReadOnlyFileInAWritableFolderIsNotReplacedByTheRename) {
    // The folder would let a rename replace the file; the operator may not write it.
    spit(path("locked.kvq"), "locked");
    ::chmod(path("locked.kvq").c_str(), 0444);
    giveToUnprivileged(path("locked.kvq"));
    giveToUnprivileged(dir_.string());
    runUnprivileged([&] {
        int error = 0;
        EXPECT_FALSE(writeFileAtomically(path("locked.kvq"), "new", &error));
        EXPECT_EQ(error, EACCES);
        EXPECT_EQ(slurp(path("locked.kvq")), "locked");
    });
    EXPECT_EQ(names(), std::vector<std::string>{"locked.kvq"});
}

std::vector<std::string> seenSteps;
void noteStep(std::string_view step) { seenSteps.emplace_back(step); }

TEST_F(AtomicFileTest, TheBytesAreSyncedBeforeTheRenameAndTheFolderAfterIt) {
    spit(path("t.kvq"), "old");
    seenSteps.clear();
    observeSaveSteps(noteStep);
    struct Stop {
        ~Stop() { observeSaveSteps(nullptr); }
    } stop;
    ASSERT_TRUE(writeFileAtomically(path("t.kvq"), "new"));
    EXPECT_EQ(seenSteps, (std::vector<std::string>{"sync file", "rename", "sync folder"}));

    // In place there is nothing to rename, but the bytes are still synced.
    seenSteps.clear();
    AtomicFile file;
    ASSERT_TRUE(file.open(path("t.kvq")));
    ASSERT_TRUE(file.write("newer"));
    EXPECT_TRUE(seenSteps.empty()) << "nothing lasts before the commit";
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(seenSteps.front(), "sync file");
}

// Runs `body` on a 64 kB disk of its own (a tmpfs in a user and mount namespace, which an
// unprivileged user may make where the system allows it), in a child process. Skips where
// the system forbids such namespaces.
template <typename Body>
void onASmallDisk(const std::string& mountPoint, Body body) {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(77);
        auto put = [](const char* file, const std::string& text) {
            const int fd = ::open(file, O_WRONLY | O_CLOEXEC);
            const bool ok = fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            if (fd >= 0) ::close(fd);
            return ok;
        };
        if (!put("/proc/self/setgroups", "deny") || !put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            ::_exit(77);
        if (::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0)
            ::_exit(77);
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the part on the small disk died";
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "this system allows no user and mount namespace for a small tmpfs";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the part on the small disk failed (its messages are above)";
}

TEST_F(AtomicFileTest, AFullDiskLeavesAFileWrittenInPlaceAsItWas) {
    const std::string disk = path("disk");
    fs::create_directory(disk);
    onASmallDisk(disk, [&] {
        const std::string file = disk + "/shared.kvq";
        const std::string old(20000, 'o');
        spit(file, old);
        ::chmod(file.c_str(), 0666);
        ::chmod(disk.c_str(), 0555);
        // Without its capabilities the namespace's root is the folder's owner like any
        // other: no new file in a 0555 folder, so the save goes in place.
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct none[2] = {};
        ASSERT_EQ(::syscall(SYS_capset, &header, none), 0);

        bool inPlace = false;
        int error = 0;
        EXPECT_FALSE(writeFileAtomically(file, std::string(100000, 'n'), &error, &inPlace));
        EXPECT_TRUE(inPlace);
        EXPECT_EQ(error, ENOSPC);
        EXPECT_TRUE(slurp(file) == old) << "the old file holds " << slurp(file).size() << " bytes now";

        // What fits is written.
        EXPECT_TRUE(writeFileAtomically(file, std::string(30000, 'n'), &error, &inPlace)) << std::strerror(error);
        EXPECT_TRUE(inPlace);
        EXPECT_EQ(slurp(file), std::string(30000, 'n'));
    });
}

}  // namespace
}  // namespace vanta
