// The CPUs a run may use: the affinity mask and the cgroup's quota.
#include "UsableCpus.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorix {
namespace {

TEST(UsableCpus, QuotaTexts) {
    const struct {
        const char* text;
        int cpus;
    } cases[] = {
        {"max 100000", 0}, {"100000 100000", 1}, {"150000 100000", 2}, {"50000 100000", 1},
        {"400000 100000", 4}, {"", 0}, {"max", 0}, {"x 100000", 0}, {"100000 0", 0}, {"-5 100000", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(CpusOfQuota(c.text), c.cpus) << c.text;
}

// As under "taskset -c 0": one CPU, whatever the machine has.
TEST(UsableCpus, FollowTheAffinityMask) {
    const pid_t child = fork();
    if (child == 0) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(0, &one);
        if (sched_setaffinity(0, sizeof one, &one) != 0) _exit(3);
        _exit(UsableCpus() == 1 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_GE(UsableCpus(), 1);
}

}  // namespace
}  // namespace quorix
