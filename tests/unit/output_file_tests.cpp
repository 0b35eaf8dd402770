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

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
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
    static std::string contents(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::string tmp;
};

TEST_F(OutputFiles, SignalDuringTheWriteRemovesTheTemporaryFile)
{
    std::string path = tmp + "/out.png";
    for (int sig : {SIGTERM, SIGINT}) {
        int status = in_child([&] {
            // A shell starts background jobs with SIGINT ignored, which the
            // writer rightly leaves alone.
            signal(sig, SIG_DFL);
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

TEST_F(OutputFiles, AWriteThatFailsMidwayLeavesTheOldFileByteForByte)
{
    // The new file outgrows the size limit halfway: written in place, the old
    // one would have been cut short and its start overwritten.
    std::string path = tmp + "/picture.png";
    std::string old_bytes(8192, '\0'), error;
    for (size_t i = 0; i < old_bytes.size(); ++i) old_bytes[i] = (char)(i * 7 + 1);
    ASSERT_TRUE(output_write_file(path.c_str(), old_bytes.data(), old_bytes.size(), error)) << error;
    std::string new_bytes(8192, 'n');
    int status = in_child([&] {
        struct rlimit limit = {4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        bool ok = output_write_file(path.c_str(), new_bytes.data(), new_bytes.size(), error);
        _exit(!ok && error == "File too large" ? 0 : 5);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(contents(path) == old_bytes);
    EXPECT_EQ(entries(), std::vector<std::string>{"picture.png"});
}

TEST_F(OutputFiles, ANewFileNeverReplacesOneMadeWhileItWasWritten)
{
    std::string first = tmp + "/intro_0001.tga", second = tmp + "/intro_0002.tga", error;
    OutputFile out;
    ASSERT_TRUE(output_open_new(out, first.c_str(), error)) << error;
    output_write(out, "grab", 4);
    // Another program takes the name meanwhile.
    ASSERT_TRUE(output_write_file(first.c_str(), "other", 5, error)) << error;
    EXPECT_EQ(output_claim(out, first), EEXIST);
    EXPECT_EQ(output_claim(out, second), 0);
    EXPECT_EQ(contents(first), "other");
    EXPECT_EQ(contents(second), "grab");
    std::vector<std::string> names = entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"intro_0001.tga", "intro_0002.tga"}));
    // Given up on after a taken name: nothing is left behind.
    ASSERT_TRUE(output_open_new(out, first.c_str(), error)) << error;
    EXPECT_EQ(output_claim(out, first), EEXIST);
    output_discard(out);
    EXPECT_EQ(entries().size(), 2u);
}

TEST_F(OutputFiles, SetIdAndStickyBitsAreNotCarriedToTheNewFile)
{
    std::string path = tmp + "/picture.png", error;
    ASSERT_TRUE(output_write_file(path.c_str(), "old", 3, error)) << error;
    for (mode_t mode : {04755, 02750, 01644, 06711}) {
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        if ((st.st_mode & 07000) != (mode & 07000)) continue;   // refused to this user
        ASSERT_TRUE(output_write_file(path.c_str(), "new", 3, error)) << error;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode & 0777) << std::oct << mode;
    }
}

TEST_F(OutputFiles, AReplacedFileKeepsItsMode)
{
    std::string path = tmp + "/picture.png", link = tmp + "/latest.png", error;
    ASSERT_TRUE(output_write_file(path.c_str(), "old", 3, error)) << error;
    ASSERT_EQ(symlink("picture.png", link.c_str()), 0);
    // Unlike a new file's 0666 less the umask; also through a link.
    for (mode_t mode : {0600, 0664, 0400}) {
        ASSERT_EQ(chmod(path.c_str(), mode), 0);
        for (const std::string &name : {path, link}) {
            ASSERT_TRUE(output_write_file(name.c_str(), "new", 3, error)) << error;
            struct stat st;
            ASSERT_EQ(stat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, mode) << name;
            EXPECT_EQ(contents(path), "new");
        }
    }
    // Root, writing someone else's picture, leaves it theirs.
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), 12345, 12346), 0);
        ASSERT_TRUE(output_write_file(path.c_str(), "new", 3, error)) << error;
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 12345u);
        EXPECT_EQ(st.st_gid, 12346u);
    }
}

} // namespace
