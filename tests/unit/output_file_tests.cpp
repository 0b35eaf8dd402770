// Result files written through a temporary name: what is left behind when a
// write fails or the process is stopped in the middle of one.
#include "core/output_file.h"
#include "core/tga_file.h"

#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

class OutputFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[] = "/tmp/intro-output-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        tmp = dir;
    }
    void TearDown() override
    {
        std::string cmd = "rm -rf '" + tmp + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::vector<std::string> entries()
    {
        std::vector<std::string> names;
        if (DIR *d = opendir(tmp.c_str())) {
            while (dirent *e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
            closedir(d);
        }
        return names;
    }
    // Runs `body` in a child process and returns its wait status.
    template <class F> int in_child(F body)
    {
        fflush(nullptr);
        pid_t pid = fork();
        if (pid == 0) {
            body();
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        return status;
    }
    std::string tmp;
};

TEST_F(OutputFiles, SignalDuringTheWriteRemovesTheTemporaryFile)
{
    std::string path = tmp + "/out.png";
    for (int sig : {SIGTERM, SIGINT}) {
        int status = in_child([&] {
            OutputFile out;
            std::string error;
            if (!output_open(out, path.c_str(), error)) _exit(3);
            output_write(out, "partial", 7);
            raise(sig);
            _exit(4);
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(entries(), std::vector<std::string>{}) << "signal " << sig;
    }
}

TEST_F(OutputFiles, FailedWritesSayWhyAndLeaveNothing)
{
    // A file size limit: EFBIG, not a kill, and not a generic I/O error.
    std::string path = tmp + "/grab.tga";
    std::vector<uint8_t> pixels(64 * 64 * 3, 0);
    int status = in_child([&] {
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        bool ok = write_tga(path.c_str(), 64, 64, pixels.data(), &error);
        _exit(!ok && error == "File too large" ? 0 : 5);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(entries(), std::vector<std::string>{});

    // A full device is written in place and its error reported.
    std::string error;
    EXPECT_FALSE(write_tga("/dev/full", 64, 64, pixels.data(), &error));
    EXPECT_EQ(error, "No space left on device");

    // An earlier file survives a failed overwrite.
    ASSERT_TRUE(write_tga(path.c_str(), 1, 1, pixels.data()));
    ASSERT_EQ(chmod(tmp.c_str(), 0555), 0);
    bool ok = write_tga(path.c_str(), 2, 2, pixels.data(), &error);
    ASSERT_EQ(chmod(tmp.c_str(), 0755), 0);
    if (geteuid() != 0) {   // root may write anyway
        EXPECT_FALSE(ok);
        EXPECT_EQ(error, "Permission denied");
    }
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, ok ? 18 + 12 : 18 + 3);
    EXPECT_EQ(entries(), std::vector<std::string>{"grab.tga"});
}

} // namespace
