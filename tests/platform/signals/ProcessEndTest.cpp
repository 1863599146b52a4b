#include "platform/signals/ProcessEnd.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

// A process whose own ending hangs (here: it never returns) still ends, with the code it was
// given; a process that ends by itself first keeps its own code.
TEST(ProcessEnd, EndsAProcessThatWouldNotEnd)
{
    const pid_t hung = ::fork();
    ASSERT_GE(hung, 0);
    if (hung == 0) {
        orv::EndProcessWithin(20, 7);
        for (;;)
            ::pause();
    }
    const pid_t prompt = ::fork();
    ASSERT_GE(prompt, 0);
    if (prompt == 0) {
        orv::EndProcessWithin(60000, 7);
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(hung, &status, 0), hung);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 7);
    ASSERT_EQ(::waitpid(prompt, &status, 0), prompt);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3);
}
