#include "storage/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
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

        // A new file cannot be made there, and a read-only file is not written at all.
        EXPECT_FALSE(writeFileAtomically(path("new.kvq"), "x", &error));
        EXPECT_EQ(error, EACCES);
        EXPECT_FALSE(writeFileAtomically(path("locked.kvq"), "x", &error));
        EXPECT_EQ(slurp(path("locked.kvq")), "locked");
    });
    EXPECT_EQ(names(), (std::vector<std::string>{"locked.kvq", "shared.kvq"}));
}

}  // namespace
}  // namespace vanta
