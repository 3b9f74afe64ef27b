// Tests about permissions mean nothing to root, and CI runs as root: such a test runs its
// body in a child process that has dropped to the unprivileged user "nobody" (when the
// tests already run unprivileged, the child just runs it).
#pragma once

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace vanta::testing_support {

inline constexpr uid_t kNobody = 65534;

// Hands a file or folder made by the test to the user the body will run as.
inline void giveToUnprivileged(const std::string& path) {
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), kNobody, kNobody), 0) << path;
    }
}

// Runs `body` (which uses EXPECT_/ASSERT_ as usual) unprivileged; fails when any of its
// checks failed or it did not run to its end.
template <typename Body>
void runUnprivileged(Body body) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(3);
        if (::geteuid() == 0) ::_exit(3);
        body();
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the unprivileged part died";
    ASSERT_NE(WEXITSTATUS(status), 3) << "cannot drop to an unprivileged user";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the unprivileged part failed (its messages are above)";
}

}  // namespace vanta::testing_support
