// The standard descriptors' guard, in a child process whose descriptors can
// be closed freely.
#include "core/std_descriptors.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

bool on_null_device(int fd)
{
    struct stat null_device, st;
    return stat("/dev/null", &null_device) == 0 && fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) &&
           st.st_rdev == null_device.st_rdev;
}

} // namespace

TEST(StdDescriptors, ClosedOnesAreHeldOnTheNullDeviceSoNoFileTakesTheirNumber)
{
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int ends[2];
        if (pipe(ends) != 0 || dup2(ends[1], 1) != 1) _exit(32);
        close(0);
        close(2);
        int status = 0;
        if (std_descriptors_guard() != (kStdinClosed | kStderrClosed)) status |= 1;
        if (!on_null_device(0) || !on_null_device(2)) status |= 2;
        struct stat st;
        if (fstat(1, &st) != 0 || !S_ISFIFO(st.st_mode)) status |= 4;   // an open one is left alone
        int next = open("/dev/zero", O_RDONLY);
        if (next <= 2) status |= 8;
        if (std_descriptors_guard() != 0) status |= 16;
        _exit(status);
    }
    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, 0), pid);
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0) << "1: the mask, 2: not on /dev/null, 4: an open one replaced, "
                                      "8: a file took a standard number, 16: a second call, 32: no pipe";
}
