// The shader must pass the reference GLSL front end as a 4.30 fragment
// shader, not only the driver the tests happen to run on.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct CommandResult {
    int status = -1;
    std::string output;
};

CommandResult run_command(const std::string &command)
{
    CommandResult result;
    FILE *pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

TEST(ShaderValidator, ProjectShaderIsValidGlsl430Fragment)
{
    CommandResult version = run_command("glslangValidator --version");
    ASSERT_EQ(version.status, 0) << "glslangValidator (glslang-tools) is not available:\n" << version.output;

    CommandResult check = run_command(std::string("glslangValidator -S frag '") + INTRO_SHADER_PATH + "'");
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(check.output.find("ERROR"), std::string::npos) << check.output;
}

// Guards the check above against a validator call that accepts anything.
TEST(ShaderValidator, BrokenShaderIsRejected)
{
    char path[] = "/tmp/intro_validator_XXXXXX.frag";
    int fd = mkstemps(path, 5);
    ASSERT_GE(fd, 0);
    const std::string text = "#version 430\nout vec4 f;\nvoid main() { f = vec3(1.0); }\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), (ssize_t)text.size());
    close(fd);
    CommandResult check = run_command(std::string("glslangValidator -S frag '") + path + "'");
    unlink(path);
    EXPECT_NE(check.status, 0) << check.output;
    EXPECT_NE(check.output.find("ERROR"), std::string::npos) << check.output;
}

TEST(ShaderValidator, FirstLineIsVersion430)
{
    FILE *file = std::fopen(INTRO_SHADER_PATH, "rb");
    ASSERT_NE(file, nullptr) << INTRO_SHADER_PATH;
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, file), nullptr);
    std::fclose(file);
    EXPECT_EQ(std::string(line), "#version 430\n");
}

} // namespace
