// Hot reload, program checks and the mouse uniform against a fake GL.
#include "core/shader_file.h"
#include "core/shader_tools.h"
#include "test_files.h"

#include "core/gl_api.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

// Interleaved stdout/stderr only keep their order unbuffered, as on the console.
const int unbuffered = (setvbuf(stdout, nullptr, _IONBF, 0), 0);

struct FakeProgram {
    bool linked = true;
    std::string log;
    std::vector<std::string> uniforms;
    std::vector<unsigned> attached;
};

struct FakeShader {
    bool compiled = true;
    std::string log;
};

struct FakeGl {
    std::map<unsigned, FakeProgram> programs;
    std::map<unsigned, FakeShader> shaders;
    unsigned next_name = 3;
    int current = 1;                 // the embedded program
    std::vector<std::string> sources;
    std::vector<unsigned> used;
    std::vector<unsigned> deleted;
    std::vector<unsigned> attach_next;   // shaders the next program reports as attached
    std::vector<unsigned> location_lookups;
    int cursor_x = 0, cursor_y = 0;
    bool right_button = false;
    struct Uniform { int location; float x, y, z; };
    std::vector<Uniform> uniform_sets;
};
FakeGl fake;

// A source with "error" fails to link; "uniform vec3 i" gives the uniform.
unsigned fake_create(unsigned type, int count, const char *const *strings)
{
    EXPECT_EQ(type, (unsigned)GL_FRAGMENT_SHADER);
    EXPECT_EQ(count, 1);
    std::string text = strings[0];
    fake.sources.push_back(text);
    FakeProgram p;
    if (text.find("error") != std::string::npos) {
        p.linked = false;
        p.log = "0:3(1): error: syntax error, unexpected IDENTIFIER";
    } else {
        p.uniforms = {"m", "v"};
        if (text.find("no_v") != std::string::npos) p.uniforms = {"m"};
        if (text.find("uniform vec3 i") != std::string::npos) p.uniforms.push_back("i");
    }
    p.attached = fake.attach_next;
    unsigned name = fake.next_name++;
    fake.programs[name] = p;
    return name;
}

void fake_programiv(unsigned program, unsigned pname, int *params)
{
    auto it = fake.programs.find(program);
    if (it == fake.programs.end()) return;   // GL error: params untouched
    const FakeProgram &p = it->second;
    if (pname == GL_LINK_STATUS) *params = p.linked ? GL_TRUE : GL_FALSE;
    if (pname == GL_INFO_LOG_LENGTH) *params = p.log.empty() ? 0 : (int)p.log.size() + 1;
    if (pname == GL_ACTIVE_UNIFORMS) *params = p.linked ? (int)p.uniforms.size() : 0;
}

void fake_program_log(unsigned program, int size, int *, char *log)
{
    snprintf(log, (size_t)size, "%s", fake.programs[program].log.c_str());
}

void fake_shaderiv(unsigned shader, unsigned pname, int *params)
{
    const FakeShader &s = fake.shaders[shader];
    if (pname == GL_COMPILE_STATUS) *params = s.compiled ? GL_TRUE : GL_FALSE;
    if (pname == GL_INFO_LOG_LENGTH) *params = s.log.empty() ? 0 : (int)s.log.size() + 1;
}

void fake_shader_log(unsigned shader, int size, int *, char *log)
{
    snprintf(log, (size_t)size, "%s", fake.shaders[shader].log.c_str());
}

unsigned char fake_is_program(unsigned program) { return fake.programs.count(program) ? 1 : 0; }

void fake_attached(unsigned program, int max_count, int *count, unsigned *shaders)
{
    const auto &list = fake.programs[program].attached;
    *count = 0;
    for (unsigned s : list)
        if (*count < max_count) shaders[(*count)++] = s;
}

void fake_use(unsigned program)
{
    fake.used.push_back(program);
    fake.current = (int)program;
}

void fake_active_uniform(unsigned program, unsigned index, int size, int *length, int *array_size,
                         unsigned *type, char *name)
{
    const std::string &u = fake.programs[program].uniforms.at(index);
    snprintf(name, (size_t)size, "%s", u.c_str());
    *length = (int)std::min(u.size(), (size_t)size - 1);
    *array_size = 1;
    *type = u == "m" ? GL_SAMPLER_2D : u == "v" ? GL_INT_VEC2 : GL_FLOAT_VEC3;
}

int fake_location(unsigned program, const char *name)
{
    fake.location_lookups.push_back(program);
    auto it = fake.programs.find(program);
    if (it == fake.programs.end() || !it->second.linked) return -1;
    const auto &u = it->second.uniforms;
    for (size_t k = 0; k < u.size(); ++k)
        if (u[k] == name) return u[k] == "v" ? 1 : (int)k + 4;
    return -1;
}

void fake_uniform3f(int location, float x, float y, float z) { fake.uniform_sets.push_back({location, x, y, z}); }

void fake_delete(unsigned program)
{
    EXPECT_EQ(fake.programs.erase(program), 1u) << "deleted twice or never made: " << program;
    fake.deleted.push_back(program);
}

void fake_integerv(unsigned pname, int *params)
{
    if (pname == GL_CURRENT_PROGRAM) *params = fake.current;
}

void fake_cursor(int *x, int *y)
{
    *x = fake.cursor_x;
    *y = fake.cursor_y;
}

bool fake_right_button() { return fake.right_button; }

} // namespace

ShaderToolsGl shader_gl = {
    fake_create, fake_programiv, fake_program_log, fake_shaderiv, fake_shader_log,
    fake_is_program, fake_attached, fake_use, fake_programiv, fake_active_uniform,
    fake_location, fake_uniform3f, fake_delete, fake_integerv, fake_cursor, fake_right_button,
};

namespace {


const char *const good_shader = "#version 430\nuniform vec3 i;\nvoid main(){}\n";

class ShaderReload : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = FakeGl();
        fake.programs[1] = FakeProgram{true, "", {"m", "v"}, {}};
        shader_reload = ShaderReloadState();
        char dir[] = "/tmp/intro-reload-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        tmp = dir;
        path = tmp + "/shader.glsl";
        ASSERT_NE(getcwd(old_cwd, sizeof old_cwd), nullptr);
        // dbg_check_program writes into the working directory.
        ASSERT_EQ(chdir(tmp.c_str()), 0);
    }
    void TearDown() override
    {
        ASSERT_EQ(chdir(old_cwd), 0);
        std::string cmd = "rm -rf '" + tmp + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    Output poll(bool merged = false)
    {
        return capture([&] { hotreload(path.c_str()); }, merged);
    }
    bool exists(const std::string &p)
    {
        struct stat st;
        return stat(p.c_str(), &st) == 0;
    }
    std::string tmp, path;
    char old_cwd[4096];
};

TEST_F(ShaderReload, FirstSightIsOnlyRecordedAndAnUnchangedFileIsNeverBuilt)
{
    write_file(path, good_shader, 1700000000);
    for (int k = 0; k < 3; ++k) {
        Output o = poll();
        EXPECT_EQ(o.out.find("hotreload updated"), std::string::npos);
        EXPECT_EQ(o.err, "");
    }
    EXPECT_TRUE(fake.sources.empty());
    EXPECT_EQ(shader_reload.watch.stamp.mtime_s, 1700000000);
    EXPECT_EQ(shader_reload.reloaded_program, 0u);
}

TEST_F(ShaderReload, NewerTimeBuildsAndPrintsInOrder)
{
    write_file(path, "#version 430\nvoid main(){}\n", 1700000000);
    poll();
    write_file(path, good_shader, 1700000005);
    Output o = poll(true);
    unsigned p = shader_reload.reloaded_program;
    ASSERT_NE(p, 0u);
    std::string expected = "hotreload updated\n"
                           "Loaded shader from \"" + path + "\"\n"
                           "Active Uniforms(#" + std::to_string(p) + "): 3\n"
                           "\tUniform #0 Type: " + std::to_string(GL_SAMPLER_2D) + " Name: m\n"
                           "\tUniform #1 Type: " + std::to_string(GL_INT_VEC2) + " Name: v\n"
                           "\tUniform #2 Type: " + std::to_string(GL_FLOAT_VEC3) + " Name: i\n";
    EXPECT_EQ(o.out, expected);
    EXPECT_EQ(fake.sources.back(), good_shader);
    EXPECT_EQ(fake.used, std::vector<unsigned>{p});
    EXPECT_EQ(shader_reload.watch.stamp.mtime_s, 1700000005);
    // The mouse uniform is now looked up in the new program.
    EXPECT_EQ(fake.location_lookups.back(), p);
    EXPECT_EQ(fake.uniform_sets.back().location, 6);
}

TEST_F(ShaderReload, UnchangedFileIsIgnoredAndAnyOtherTimeIsASave)
{
    write_file(path, good_shader, 1700000010);
    poll();
    write_file(path, good_shader, 1700000010);   // rewritten as it was
    poll();
    EXPECT_TRUE(fake.sources.empty());
    // An older copy put back, a save stamped in the future, the next
    // ordinary save after that: each one is built.
    const time_t times[] = {1699999999, time(nullptr) + 100000, 1700000020};
    for (time_t t : times) {
        write_file(path, good_shader, t);
        EXPECT_NE(poll().out.find("hotreload updated"), std::string::npos) << t;
        EXPECT_EQ(shader_reload.watch.stamp.mtime_s, (int64_t)t);
    }
    EXPECT_EQ(fake.sources.size(), 3u);
    poll();
    EXPECT_EQ(fake.sources.size(), 3u);
}

TEST_F(ShaderReload, EveryCompletedSaveIsBuiltAlsoWithinOneTick)
{
    const std::string full = "#version 430\nuniform vec3 i;\nvoid main() { /* done */ }\n";
    write_file(path, good_shader, 1700000000);
    poll();
    // Polled half written, completed at the same time.
    write_file(path, full.substr(0, 20), 1700000001);
    poll();
    write_file(path, full, 1700000001);
    poll();
    ASSERT_EQ(fake.sources.size(), 2u);
    EXPECT_EQ(fake.sources.back(), full);

    // Just saved: another save at the very same time and size is told by
    // its contents; once it is unchanged, nothing more is built.
    time_t now = time(nullptr);
    std::string same_size = full;
    same_size[same_size.find("done")] = 'D';
    write_file(path, full, now);
    poll();
    write_file(path, same_size, now);
    poll();
    poll();
    ASSERT_EQ(fake.sources.size(), 4u);
    EXPECT_EQ(fake.sources.back(), same_size);
}

TEST_F(ShaderReload, SameTimeSavesAreToldByContentsOnlyWhileTheClockCouldGiveThem)
{
    // Recorded within its clock tick: a later poll, however late, compares
    // the contents, and once the clock has moved on it stops reading them.
    FileWatch watch;
    FileStamp stamp;
    auto update = [&](const std::string &text, time_t mtime, int64_t wall) {
        write_file(path, text, mtime);
        EXPECT_EQ(file_stamp(path.c_str(), stamp), 0);
        return file_watch_update(watch, path.c_str(), stamp, wall);
    };
    EXPECT_EQ(update("void main(){A}\n", 1000, 1000), FileChange::first_seen);
    EXPECT_EQ(update("void main(){B}\n", 1000, 1001), FileChange::saved);
    EXPECT_EQ(update("void main(){C}\n", 1000, 1100), FileChange::saved);
    EXPECT_EQ(update("void main(){C}\n", 1000, 1100), FileChange::unchanged);
    EXPECT_FALSE(watch.same_time_possible);
    // Not read while nothing in the stamp moves; the change time moving is
    // a reason to read it.
    FileStamp kept = stamp;
    write_file(path, "void main(){D}\n", 1000);
    EXPECT_EQ(file_watch_update(watch, path.c_str(), kept, 1200), FileChange::unchanged);
    EXPECT_EQ(update("void main(){D}\n", 1000, 1200), FileChange::saved);
    EXPECT_EQ(update("void main(){B}\n", 999, 1200), FileChange::saved);
}

TEST_F(ShaderReload, AFileStampedAheadIsReadOnlyWhileASaveCouldShareItsTime)
{
    // A stamp that never moves, as on a clock of whole seconds: a rewrite in
    // its second is caught, and a few seconds later the file is left alone.
    int64_t wall = 1700000000;
    write_file(path, "void main(){A}\n", (time_t)wall + 3600);
    FileWatch watch;
    FileStamp stamp;
    ASSERT_EQ(file_stamp(path.c_str(), stamp), 0);
    auto update = [&](const char *text, int64_t at) {
        write_file(path, text, (time_t)wall + 3600);
        return file_watch_update(watch, path.c_str(), stamp, at);
    };
    EXPECT_EQ(update("void main(){A}\n", wall), FileChange::first_seen);
    EXPECT_EQ(update("void main(){B}\n", wall + 1), FileChange::saved);
    EXPECT_EQ(update("void main(){B}\n", wall + 2), FileChange::unchanged);
    EXPECT_EQ(update("void main(){B}\n", wall + 6), FileChange::unchanged);
    EXPECT_FALSE(watch.same_time_possible);
    EXPECT_EQ(update("void main(){C}\n", wall + 7), FileChange::unchanged);
}

TEST_F(ShaderReload, RewritesKeepingSizeAndTimeAreSeenByChangeTimeOrFileIdentity)
{
    // Long after the files' time; the pauses let the coarse change-time
    // clock tick.
    int64_t wall = (int64_t)time(nullptr);
    FileWatch watch;
    FileStamp stamp;
    auto update = [&] {
        usleep(30000);
        EXPECT_EQ(file_stamp(path.c_str(), stamp), 0);
        return file_watch_update(watch, path.c_str(), stamp, wall);
    };
    write_file(path, "void main(){A}\n", 1000);
    EXPECT_EQ(update(), FileChange::first_seen);
    write_file(path, "void main(){B}\n", 1000);
    EXPECT_EQ(update(), FileChange::saved);
    // A mode change alone builds nothing.
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(update(), FileChange::unchanged);
    // Replaced by a rename: another file, though its contents are older.
    std::string temp = path + ".new";
    write_file(temp, "void main(){A}\n", 1000);
    ASSERT_EQ(rename(temp.c_str(), path.c_str()), 0);
    EXPECT_EQ(update(), FileChange::saved);
    EXPECT_EQ(update(), FileChange::unchanged);
}

TEST_F(ShaderReload, ProgramWithoutSampleIndexIsWarnedOnce)
{
    write_file(path, good_shader, 1700000000);
    poll();
    write_file(path, "#version 430\nvoid main(){} // no_v\n", 1700000001);
    Output o = poll();
    EXPECT_EQ(o.err, "WARNING: " + path + " has no uniform at location 1: it ignores the sample index, "
                     "so every sample is the same\n");
    o = poll();
    EXPECT_EQ(o.err, "");
    write_file(path, good_shader, 1700000002);
    EXPECT_EQ(poll().err, "");
}

TEST_F(ShaderReload, FailedBuildKeepsTheProgramAndNeverWritesTheErrorFile)
{
    write_file(path, good_shader, 1700000000);
    poll();
    write_file(path, good_shader, 1700000001);
    poll();
    unsigned working = shader_reload.reloaded_program;
    ASSERT_EQ(fake.current, (int)working);

    write_file(path, "#version 430\nsyntax error here\n", 1700000002);
    Output o = poll(true);
    unsigned failed = shader_reload.reloaded_program;
    EXPECT_NE(failed, working);
    EXPECT_EQ(fake.current, (int)working);
    EXPECT_EQ(fake.used, std::vector<unsigned>{working});
    std::string expected = "hotreload updated\n"
                           "Loaded shader from \"" + path + "\"\n"
                           "ERROR: CheckProgram: failed to link " + path + "!\n"
                           "0:3(1): error: syntax error, unexpected IDENTIFIER\n"
                           "Active Uniforms(#" + std::to_string(failed) + "): 0\n";
    EXPECT_EQ(o.out, expected);
    EXPECT_FALSE(exists(tmp + "/shader_error.txt"));
    // The mouse uniform goes to the failed program and finds no location.
    EXPECT_EQ(fake.uniform_sets.back().location, -1);

    // Each message on its own stream.
    write_file(path, "#version 430\nanother error\n", 1700000003);
    o = poll();
    EXPECT_EQ(o.err, "ERROR: CheckProgram: failed to link " + path + "!\n"
                     "0:3(1): error: syntax error, unexpected IDENTIFIER\n");
    EXPECT_EQ(o.out.find("ERROR"), std::string::npos);
    EXPECT_NE(o.out.find("hotreload updated\nLoaded shader from"), std::string::npos);

    // Failed programs are deleted at once, a replaced one once the new one
    // draws; the embedded one stays.
    EXPECT_EQ(fake.deleted, (std::vector<unsigned>{failed, shader_reload.reloaded_program}));
    write_file(path, good_shader, 1700000004);
    poll();
    EXPECT_EQ(fake.current, (int)shader_reload.reloaded_program);
    EXPECT_EQ(fake.deleted.back(), working);
    EXPECT_EQ(fake.deleted.size(), 3u);
    EXPECT_EQ(fake.programs.size(), 2u) << "the embedded program and the one drawing";
}

TEST_F(ShaderReload, AbsentFileIsReportedEveryPollAndRecordedWhenFirstSeen)
{
    Output o = poll();
    EXPECT_EQ(o.err, "Problem getting information: No such file or directory\n");
    EXPECT_EQ(o.out, "File " + path + " not found.\n");
    EXPECT_FALSE(shader_reload.watch.seen);
    o = poll();
    EXPECT_EQ(o.out, "File " + path + " not found.\n");

    write_file(path, good_shader, 1700000000);
    poll();   // created: only recorded
    EXPECT_TRUE(fake.sources.empty());
    write_file(path, good_shader, 1700000001);
    poll();
    EXPECT_EQ(fake.sources.size(), 1u);
}

TEST_F(ShaderReload, VanishedFileKeepsTheProgramAndLastTime)
{
    write_file(path, good_shader, 1700000000);
    poll();
    write_file(path, good_shader, 1700000001);
    poll();
    unsigned working = shader_reload.reloaded_program;
    unlink(path.c_str());
    Output o = poll();
    EXPECT_EQ(o.out, "File " + path + " not found.\n");
    EXPECT_EQ(shader_reload.watch.stamp.mtime_s, 1700000001);
    EXPECT_EQ(shader_reload.reloaded_program, working);

    // Gone between the time check and the read: nothing built, nothing used.
    o = capture([&] { EXPECT_FALSE(build_shader_program(path.c_str())); });
    EXPECT_EQ(o.out, "Input shader file at \"" + path + "\" not found!\n"
                     "Active Uniforms(#0): 0\n");
    EXPECT_EQ(shader_reload.reloaded_program, 0u);
    EXPECT_EQ(fake.current, (int)working);
    // With no reloaded program the mouse goes to the program current in GL.
    poll();
    EXPECT_EQ(fake.location_lookups.back(), working);
}

TEST_F(ShaderReload, RightButtonFeedsTheMouseUniform)
{
    write_file(path, good_shader, 1700000000);
    poll();
    write_file(path, good_shader, 1700000001);
    poll();
    fake.cursor_x = 960;
    fake.cursor_y = 540;
    fake.right_button = true;
    Output o = poll();
    EXPECT_EQ(o.out, "iMouse 6: 960, 540, 0.50, 0.50, 1.00\n");
    ASSERT_FALSE(fake.uniform_sets.empty());
    auto u = fake.uniform_sets.back();
    EXPECT_EQ(u.location, 6);
    EXPECT_FLOAT_EQ(u.x, 0.5f);
    EXPECT_FLOAT_EQ(u.y, 0.5f);
    EXPECT_FLOAT_EQ(u.z, 1.0f);

    // Released elsewhere: the last captured position stays, no line.
    fake.right_button = false;
    fake.cursor_x = 100;
    fake.cursor_y = 1000;
    o = poll();
    EXPECT_EQ(o.out, "");
    u = fake.uniform_sets.back();
    EXPECT_FLOAT_EQ(u.x, 0.5f);
    EXPECT_FLOAT_EQ(u.y, 0.5f);
    EXPECT_FLOAT_EQ(u.z, 0.0f);
}

TEST_F(ShaderReload, StartupCheckWritesTheErrorFileOnlyForANonEmptyLog)
{
    // Empty log: an earlier file stays as it was.
    write_file(tmp + "/shader_error.txt", "old\n", 1700000000);
    Output o = capture([] { dbg_check_program(1); });
    EXPECT_EQ(o.out, "dbg_check_program: program: 1\n");
    EXPECT_EQ(o.err, "");
    o = capture([] { EXPECT_EQ(system("cat shader_error.txt"), 0); });
    EXPECT_EQ(o.out, "old\n");

    fake.programs[9] = FakeProgram{false, "0:1(1): error: bad", {}, {}};
    o = capture([] { dbg_check_program(9); });
    EXPECT_EQ(o.out, "dbg_check_program: program: 9\n");
    EXPECT_EQ(o.err, "ERROR: CheckProgram: failed to link!\n0:1(1): error: bad\n");
    o = capture([] { EXPECT_EQ(system("cat shader_error.txt"), 0); });
    EXPECT_EQ(o.out, "0:1(1): error: bad\n");
}

TEST_F(ShaderReload, AttachedShadersAreAllCheckedAfterAFailure)
{
    fake.attach_next = {31, 32, 33};
    fake.shaders[31] = FakeShader{false, "first log"};
    fake.shaders[32] = FakeShader{true, ""};
    fake.shaders[33] = FakeShader{false, "third log"};
    write_file(path, good_shader, 1700000000);
    Output o = capture([&] { EXPECT_FALSE(build_shader_program(path.c_str())); });
    EXPECT_EQ(o.err, "ERROR: CheckShader: failed to compile " + path + "!\nfirst log\n"
                     "ERROR: CheckShader: failed to compile " + path + "!\nthird log\n");
    EXPECT_TRUE(fake.used.empty());
    o = capture([] { EXPECT_FALSE(CheckShader(0, "x.glsl")); });
    EXPECT_EQ(o.out + o.err, "");
}

TEST_F(ShaderReload, LongUniformNamesAreCutTo15Characters)
{
    fake.programs[12] = FakeProgram{true, "", {"a_very_long_uniform_name"}, {}};
    Output o = capture([] { print_active_uniforms(12); });
    EXPECT_EQ(o.out, "Active Uniforms(#12): 1\n\tUniform #0 Type: " + std::to_string(GL_FLOAT_VEC3) +
                         " Name: a_very_long_uni\n");
}

class ShaderFiles : public ShaderReload {};

TEST_F(ShaderFiles, TextEndsAtTheFirstNulAndLineEndsStay)
{
    std::string data("line one\r\nline two\n\0after the nul", 33);
    write_file(path, data, 1700000000);
    std::string text = "untouched";
    Output o = capture([&] { EXPECT_EQ(load_shader_file(path.c_str(), text), 0); });
    EXPECT_EQ(text, "line one\r\nline two\n");
    EXPECT_EQ(o.out, "Loaded shader from \"" + path + "\"\n");
}

TEST_F(ShaderFiles, UnreadableSourcesLeaveTheTextAloneAndSayWhy)
{
    std::string text = "untouched";
    Output o = capture([&] { EXPECT_EQ(load_shader_file((tmp + "/missing.glsl").c_str(), text), -1); });
    EXPECT_EQ(o.out, "Input shader file at \"" + tmp + "/missing.glsl\" not found!\n");
    EXPECT_EQ(o.err, "ERROR: Input shader file at \"" + tmp + "/missing.glsl\" could not be read: "
                     "No such file or directory\n");
    o = capture([&] { EXPECT_EQ(load_shader_file(tmp.c_str(), text), -1); });
    EXPECT_EQ(o.err, "ERROR: Input shader file at \"" + tmp + "\" could not be read: Is a directory\n");
    // Over the limit: refused before the driver sees it (a sparse file).
    std::string big = tmp + "/big.glsl";
    write_file(big, "void main(){}\n", 1700000000);
    ASSERT_EQ(truncate(big.c_str(), (off_t)kShaderFileLimit + 1), 0);
    o = capture([&] { EXPECT_EQ(load_shader_file(big.c_str(), text), -1); });
    EXPECT_NE(o.err.find("could not be read: too large: 16777217 bytes, more than the 16 MiB"), std::string::npos)
        << o.err;
    EXPECT_EQ(text, "untouched");
    unsigned program = 77;
    capture([&] { compile_shader_file(tmp.c_str(), program); });
    EXPECT_EQ(program, 77u);
    EXPECT_TRUE(fake.sources.empty());
}

TEST_F(ShaderFiles, FifoAndPipeAreRefusedWithoutBlockingAndAByteOrderMarkIsSkipped)
{
    // Nobody writes: opening either for a plain read would wait forever.
    std::string fifo = tmp + "/fifo.glsl";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string text = "untouched";
    for (std::string p : {fifo, "/proc/self/fd/" + std::to_string(fds[0])}) {
        Output o = capture([&] { EXPECT_EQ(load_shader_file(p.c_str(), text), -1); });
        EXPECT_EQ(o.err, "ERROR: Input shader file at \"" + p + "\" could not be read: not a regular file\n");
    }
    close(fds[0]);
    close(fds[1]);
    EXPECT_EQ(text, "untouched");

    write_file(path, "\xEF\xBB\xBF#version 430\n", 1700000000);
    capture([&] { EXPECT_EQ(load_shader_file(path.c_str(), text), 0); });
    EXPECT_EQ(text, "#version 430\n");
}

TEST_F(ShaderFiles, FileMtimeMessages)
{
    write_file(path, good_shader, 1234567890);
    Output o = capture([&] { EXPECT_EQ(file_mtime(path.c_str()), 1234567890u); });
    EXPECT_EQ(o.out + o.err, "");

    o = capture([&] { EXPECT_EQ(file_mtime((tmp + "/nope").c_str()), 0u); });
    EXPECT_EQ(o.err, "Problem getting information: No such file or directory\n");
    EXPECT_EQ(o.out, "File " + tmp + "/nope not found.\n");

    // Any other error number: the generic line.
    o = capture([&] { EXPECT_EQ(file_mtime((path + "/below_a_file").c_str()), 0u); });
    EXPECT_EQ(o.err, "Problem getting information: Not a directory\n");
    EXPECT_EQ(o.out, "Unexpected error in _stat.\n");
}

} // namespace
