// Hundreds of shader files through the hot-reload path on the real driver:
// no broken one may crash it or replace the working program, and memory
// stays flat over any number of saves.
#include "render/egl_context.h"
#include "core/shader_tools.h"
#include "test_files.h"

#include <EGL/egl.h>
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {

// Unbuffered as on the console, so stdout and stderr lines do not split
// each other when both go to one file.
const int unbuffered = (setvbuf(stdout, nullptr, _IONBF, 0), 0);

template <class F> F egl_proc(const char *name) { return reinterpret_cast<F>(egl_proc_address(name)); }

unsigned create_shader_programv(unsigned type, int count, const char *const *strings)
{
    return egl_proc<PFNGLCREATESHADERPROGRAMVPROC>("glCreateShaderProgramv")(type, count, strings);
}
void get_programiv(unsigned program, unsigned pname, int *params)
{
    egl_proc<PFNGLGETPROGRAMIVPROC>("glGetProgramiv")(program, pname, params);
}
void get_program_info_log(unsigned program, int size, int *length, char *log)
{
    egl_proc<PFNGLGETPROGRAMINFOLOGPROC>("glGetProgramInfoLog")(program, size, length, log);
}
void get_shaderiv(unsigned shader, unsigned pname, int *params)
{
    egl_proc<PFNGLGETSHADERIVPROC>("glGetShaderiv")(shader, pname, params);
}
void get_shader_info_log(unsigned shader, int size, int *length, char *log)
{
    egl_proc<PFNGLGETSHADERINFOLOGPROC>("glGetShaderInfoLog")(shader, size, length, log);
}
unsigned char is_program(unsigned program) { return egl_proc<PFNGLISPROGRAMPROC>("glIsProgram")(program); }
void get_attached_shaders(unsigned program, int max_count, int *count, unsigned *shaders)
{
    egl_proc<PFNGLGETATTACHEDSHADERSPROC>("glGetAttachedShaders")(program, max_count, count, shaders);
}
void use_program(unsigned program) { egl_proc<PFNGLUSEPROGRAMPROC>("glUseProgram")(program); }
void get_active_uniform(unsigned program, unsigned index, int size, int *length, int *array_size,
                        unsigned *type, char *name)
{
    egl_proc<PFNGLGETACTIVEUNIFORMPROC>("glGetActiveUniform")(program, index, size, length, array_size,
                                                              type, name);
}
int get_uniform_location(unsigned program, const char *name)
{
    return egl_proc<PFNGLGETUNIFORMLOCATIONPROC>("glGetUniformLocation")(program, name);
}
void uniform3f(int location, float x, float y, float z)
{
    egl_proc<PFNGLUNIFORM3FPROC>("glUniform3f")(location, x, y, z);
}
void delete_program(unsigned program) { egl_proc<PFNGLDELETEPROGRAMPROC>("glDeleteProgram")(program); }
void get_integerv(unsigned pname, int *params) { glGetIntegerv(pname, params); }
void cursor_pos(int *x, int *y) { *x = 960, *y = 540; }
bool right_button_down() { return true; }

} // namespace

ShaderToolsGl shader_gl = {
    create_shader_programv, get_programiv, get_program_info_log, get_shaderiv,
    get_shader_info_log, is_program, get_attached_shaders, use_program,
    get_programiv, get_active_uniform, get_uniform_location, uniform3f, delete_program,
    get_integerv, cursor_pos, right_button_down,
};

namespace {

const char *const valid_shader =
    "#version 430\n"
    "layout(location = 1) uniform ivec2 v;\n"
    "uniform sampler2D m;\n"
    "uniform vec3 i;\n"
    "out vec4 f;\n"
    "void main()\n"
    "{\n"
    "    vec2 uv = gl_FragCoord.xy / vec2(1920.0, 1080.0);\n"
    "    f = vec4(uv, i.z, 1.0) + 0.0 * texture(m, uv) * float(v.x);\n"
    "}\n";

// Broken sources of many kinds, all certain not to build.
std::string broken_source(int k, std::mt19937 &rng)
{
    std::string valid = valid_shader;
    auto byte = [&] { return (char)(rng() & 0xFF); };
    switch (k % 7) {
    case 0: {   // random bytes, NULs included
        std::string s(1 + rng() % 4096, ' ');
        for (char &c : s) c = byte();
        return s;
    }
    case 1: {   // cut before the closing brace of main
        return valid.substr(0, rng() % (valid.size() - 2));
    }
    case 2: {   // a NUL early on hides the rest of a valid text
        std::string s = valid;
        s[rng() % (s.size() / 2)] = '\0';
        return s;
    }
    case 3: {   // one very long line of garbage
        std::string s = "#version 430\n";
        s += std::string(100000 + rng() % 400000, "x+-*(;"[rng() % 6]);
        return s;
    }
    case 4:     // empty, or only a NUL
        return rng() % 2 ? std::string() : std::string(1, '\0');
    case 5: {   // valid text with a few bytes corrupted inside main's body
        std::string s = valid;
        size_t body = s.find("vec2 uv");
        for (int j = 0; j < 3; ++j) s[body + rng() % 20] = "@#$\x01\x7f\xff"[rng() % 6];
        return s;
    }
    default: {  // valid text without main
        std::string s = valid;
        s.replace(s.find("void main()"), 11, "void mane()");
        return s;
    }
    }
}

int current_gl_program()
{
    int p = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &p);
    return p;
}

TEST(ReloadRobustness, BrokenFilesNeverReplaceTheWorkingProgram)
{
    // Use the binary's context where another test made one current.
    EglContext own;
    if (eglGetCurrentContext() == EGL_NO_CONTEXT) {
        std::string error;
        ASSERT_TRUE(egl_context_create(own, error)) << error;
    }
    int outer_program = current_gl_program();

    char dir[] = "/tmp/intro-robust-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/shader.glsl";
    shader_reload = ShaderReloadState();
    time_t t = 1700000000;

    // Everything the tools print goes to a file while the files are fed.
    unsigned working = 0, recovered = 0;
    int after_valid = 0, after_recovery = 0, kept = 0;
    const int count = 350;
    std::string log = capture([&] {
        write_file(path, valid_shader, t);
        hotreload(path.c_str());   // first sight
        write_file(path, valid_shader, ++t);
        hotreload(path.c_str());
        working = shader_reload.reloaded_program;
        after_valid = current_gl_program();

        std::mt19937 rng(20250215);
        for (int k = 0; k < count; ++k) {
            write_file(path, broken_source(k, rng), ++t);
            hotreload(path.c_str());
            if (current_gl_program() == (int)working) ++kept;
        }
        // A good edit after all that still goes through.
        std::string second = valid_shader;
        second.replace(second.find("i.z"), 3, "1.0 - i.z");
        write_file(path, second, ++t);
        hotreload(path.c_str());
        recovered = shader_reload.reloaded_program;
        after_recovery = current_gl_program();
    }, true).out;

    auto occurrences = [&](const std::string &what) {
        int n = 0;
        for (size_t p = log.find(what); p != std::string::npos; p = log.find(what, p + 1)) ++n;
        return n;
    };

    ASSERT_NE(working, 0u);
    EXPECT_EQ(after_valid, (int)working);
    EXPECT_EQ(kept, count);
    EXPECT_EQ(occurrences("hotreload updated\n"), count + 2);
    EXPECT_EQ(occurrences("ERROR: CheckProgram: failed to link " + path + "!\n"), count);
    EXPECT_NE(recovered, working);
    EXPECT_EQ(after_recovery, (int)recovered);
    // The mouse line was printed for every poll with the new program's "i".
    EXPECT_EQ(occurrences("iMouse "), count + 3);

    use_program((unsigned)outer_program);
    // Lookups on failed programs leave GL errors; later tests here check for them.
    for (int k = 0; k < 16 && glGetError() != GL_NO_ERROR; ++k) {}
    if (own.display) egl_context_destroy(own);
    if (getenv("KEEP")) { fprintf(stderr, "kept %s\n", dir); return; }
    std::string cmd = std::string("rm -rf '") + dir + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

// Resident memory of this process, in bytes.
long resident_bytes()
{
    long size = 0, resident = 0;
    if (FILE *f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld %ld", &size, &resident) != 2) resident = 0;
        fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

TEST(ReloadRobustness, MemoryStaysFlatOverHundredsOfSaves)
{
    EglContext own;
    if (eglGetCurrentContext() == EGL_NO_CONTEXT) {
        std::string error;
        ASSERT_TRUE(egl_context_create(own, error)) << error;
    }
    int outer_program = current_gl_program();
    char dir[] = "/tmp/intro-soak-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    std::string path = std::string(dir) + "/shader.glsl";
    shader_reload = ShaderReloadState();

    // Each program is drawn once into a small target, as the window would:
    // the driver compiles its code at the first draw.
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 16, 16, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    ASSERT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), (GLenum)GL_FRAMEBUFFER_COMPLETE);
    glViewport(0, 0, 16, 16);

    // Two working texts in turn, every third save a broken one.
    std::string other = valid_shader;
    other.replace(other.find("i.z"), 3, "1.0 - i.z");
    const std::string texts[] = {valid_shader, other, "#version 430\nvoid main() { broken }\n"};
    time_t t = 1700000000;
    long before = 0, after = 0;
    int drawing = 0;
    capture([&] {
        write_file(path, valid_shader, t);
        hotreload(path.c_str());   // first sight
        for (int k = 0; k < 400; ++k) {   // the driver's pools have grown after the first 100
            if (k == 100) before = resident_bytes();
            write_file(path, texts[k % 3], ++t);
            hotreload(path.c_str());
            glRects(-1, -1, 1, 1);
            glFinish();
            drawing += shader_reload.drawn_program && current_gl_program() == (int)shader_reload.drawn_program;
        }
        after = resident_bytes();
    });
    EXPECT_EQ(drawing, 400) << "the last working program draws";
    // Kept, even these small programs cost llvmpipe about 0.13 MB a save:
    // 38 MB over these 300.
    EXPECT_LT(after - before, 8l << 20) << "resident memory grew from " << before << " to " << after << " bytes";

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
    use_program((unsigned)outer_program);
    for (int k = 0; k < 16 && glGetError() != GL_NO_ERROR; ++k) {}
    if (own.display) egl_context_destroy(own);
    std::string cmd = std::string("rm -rf '") + dir + "'";
    EXPECT_EQ(system(cmd.c_str()), 0);
}

} // namespace
