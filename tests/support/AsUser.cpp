#include "tests/support/AsUser.h"

#include <cstdio>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qv::test {

void asUnprivilegedUser(const std::function<void()>& check) {
    if (geteuid() != 0) {
        check();
        return;
    }
    const passwd* nobody = getpwnam("nobody");
    const uid_t uid = nobody ? nobody->pw_uid : 65534;
    const gid_t gid = nobody ? nobody->pw_gid : 65534;
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_NE(child, -1) << "fork failed";
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) {
            std::perror("dropping to the user nobody");
            _exit(3);
        }
        // The child never returns into the test program, which would run the remaining cases twice.
        try {
            check();
        } catch (...) {
            ADD_FAILURE() << "the check raised an exception";
        }
        std::fflush(nullptr);
        _exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the unprivileged check did not end normally (status " << status << ")";
    ASSERT_NE(WEXITSTATUS(status), 3) << "could not drop to the user nobody (uid " << uid << ")";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check failed as the user nobody (uid " << uid << "), see above";
}

} // namespace qv::test
