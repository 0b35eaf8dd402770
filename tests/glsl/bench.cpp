#include "bench.h"

#include "render/egl_context.h"

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <regex>
#include <sstream>

namespace {

const int picture_width = 1920;
const int picture_height = 1080;
// Width of the grid of fragments that glsl_eval spreads its inputs over.
const int eval_grid_width = 256;

struct BenchGl {
    bool tried = false;
    bool ok = false;
    std::string error;
    EglContext context;
    std::map<std::string, GLuint> programs;    // by source text; 0 = failed
    std::map<std::string, std::string> logs;   // driver's log of failed ones
};

BenchGl &bench_gl()
{
    static BenchGl gl;
    return gl;
}

// The one context of this binary, created on first use. Fails the current
// test when there is none: these tests must never pass without a GPU path.
bool bench_context()
{
    BenchGl &gl = bench_gl();
    if (!gl.tried) {
        gl.tried = true;
        gl.ok = egl_context_create(gl.context, gl.error);
    }
    if (!gl.ok)
        ADD_FAILURE() << "GLSL bench: no OpenGL context: " << gl.error;
    return gl.ok;
}

std::string program_log(GLuint program)
{
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    std::string log(length > 0 ? length : 1, '\0');
    glGetProgramInfoLog(program, (GLsizei)log.size(), nullptr, &log[0]);
    log.resize(std::strlen(log.c_str()));
    return log;
}

// Builds a separable fragment-only program, as the host does, or returns 0
// after failing the current test with the driver's log.
GLuint bench_program(const std::string &source)
{
    BenchGl &gl = bench_gl();
    auto found = gl.programs.find(source);
    if (found == gl.programs.end()) {
        const char *text = source.c_str();
        GLuint program = glCreateShaderProgramv(GL_FRAGMENT_SHADER, 1, &text);
        GLint linked = 0;
        if (program) glGetProgramiv(program, GL_LINK_STATUS, &linked);
        if (!linked) {
            gl.logs[source] = program ? program_log(program) : "glCreateShaderProgramv returned 0";
            if (program) glDeleteProgram(program);
            program = 0;
        }
        found = gl.programs.emplace(source, program).first;
    }
    if (!found->second)
        ADD_FAILURE() << "GLSL bench: shader does not compile or link:\n" << gl.logs[source];
    return found->second;
}

struct Target {
    GLuint framebuffer = 0;
    GLuint texture = 0;
    int width = 0;
    int height = 0;
    GLenum format = 0;
};

// Binds a colour-only framebuffer of the given size and format, reusing the
// previous one when it fits.
void bind_target(Target &target, int width, int height, GLenum format)
{
    if (target.framebuffer && (target.width != width || target.height != height || target.format != format)) {
        glDeleteFramebuffers(1, &target.framebuffer);
        glDeleteTextures(1, &target.texture);
        target = Target();
    }
    if (!target.framebuffer) {
        glGenTextures(1, &target.texture);
        glBindTexture(GL_TEXTURE_2D, target.texture);
        glTexImage2D(GL_TEXTURE_2D, 0, format, width, height, 0, GL_RGBA,
                     format == GL_RGBA8 ? GL_UNSIGNED_BYTE : GL_FLOAT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenFramebuffers(1, &target.framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.texture, 0);
        target.width = width;
        target.height = height;
        target.format = format;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        ADD_FAILURE() << "GLSL bench: render target is not complete";
    glViewport(0, 0, width, height);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

// Errors left by code outside the bench are not the bench's to report.
void drain_gl_errors()
{
    while (glGetError() != GL_NO_ERROR) {
    }
}

void check_gl_errors(const char *where)
{
    GLenum error = glGetError();
    if (error != GL_NO_ERROR)
        ADD_FAILURE() << "GLSL bench: GL error 0x" << std::hex << error << " in " << where;
    drain_gl_errors();
}

std::vector<Vec4> nan_results(size_t count)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return std::vector<Vec4>(count, Vec4{nan, nan, nan, nan});
}

// Inputs go in as RGBA32UI so their bits reach the shader untouched (no
// float path that might flush denormals or quieten NaNs).
GLuint upload_bits(const std::vector<Vec4> &values, int width, int height)
{
    std::vector<uint32_t> bits((size_t)width * height * 4, 0u);
    std::memcpy(bits.data(), values.data(), values.size() * sizeof(Vec4));
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32UI, width, height, 0, GL_RGBA_INTEGER, GL_UNSIGNED_INT,
                 bits.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return texture;
}

const char *const eval_main = R"(
void main()
{
    ivec2 bench_cell = ivec2(gl_FragCoord.xy);
    vec4 bench_a = uintBitsToFloat(texelFetch(bench_in_a, bench_cell, 0));
    vec4 bench_b = uintBitsToFloat(texelFetch(bench_in_b, bench_cell, 0));
    // The shader's own main sets up this fragment; with v.y = 0 it runs no pass.
    v = ivec2(0, 0);
    bench_shader_main();
    v = ivec2(0, 1);
    f = bench_eval(bench_a, bench_b);
}
)";

// The project's shader with `main` renamed and `v` made an ordinary global,
// so the renamed main can be run for its set-up alone and the pass it would
// select is dead code the compiler drops.
bool eval_source(const std::string &shader, const std::string &code, std::string &source)
{
    static const std::regex main_definition(R"(\bvoid\s+main\s*\(\s*(void\s*)?\))");
    static const std::regex v_declaration(R"((layout\s*\([^)]*\)\s*)?uniform\s+ivec2\s+v\s*;)");
    if (!std::regex_search(shader, main_definition)) {
        ADD_FAILURE() << "GLSL bench: the shader has no `void main()` to rename";
        return false;
    }
    if (!std::regex_search(shader, v_declaration)) {
        ADD_FAILURE() << "GLSL bench: the shader does not declare `uniform ivec2 v`";
        return false;
    }
    source = std::regex_replace(shader, main_definition, "void bench_shader_main()",
                                std::regex_constants::format_first_only);
    source = std::regex_replace(source, v_declaration, "ivec2 v;", std::regex_constants::format_first_only);
    source += "\nlayout(binding = 1) uniform usampler2D bench_in_a;\n"
              "layout(binding = 2) uniform usampler2D bench_in_b;\n"
              "#line 1 1\n";   // errors in `code` read as 1:<line>
    source += code;
    source += "\n#line 1 2\n";
    source += eval_main;
    return true;
}

} // namespace

std::string project_shader_text()
{
    std::ifstream in(INTRO_SHADER_PATH, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "GLSL bench: cannot read " << INTRO_SHADER_PATH;
        return std::string();
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<Vec4> glsl_eval(const std::string &code, const std::vector<Vec4> &a,
                            const std::vector<Vec4> &b, const std::string &shader)
{
    if (a.empty()) return {};
    if (!b.empty() && b.size() != a.size()) {
        ADD_FAILURE() << "GLSL bench: " << a.size() << " a inputs but " << b.size() << " b inputs";
        return nan_results(a.size());
    }
    std::string source;
    if (!bench_context() || !eval_source(shader, code, source)) return nan_results(a.size());
    drain_gl_errors();
    GLuint program = bench_program(source);
    if (!program) return nan_results(a.size());

    const int count = (int)a.size();
    const int width = count < eval_grid_width ? count : eval_grid_width;
    const int height = (count + width - 1) / width;
    static Target target;
    bind_target(target, width, height, GL_RGBA32F);

    GLuint textures[2] = {upload_bits(a, width, height), upload_bits(b, width, height)};
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, textures[0]);
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, textures[1]);
    glActiveTexture(GL_TEXTURE0);

    glUseProgram(program);
    glRecti(-1, -1, 1, 1);
    glUseProgram(0);

    std::vector<Vec4> grid((size_t)width * height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_FLOAT, grid.data());
    glDeleteTextures(2, textures);
    check_gl_errors("glsl_eval");
    grid.resize(a.size());
    return grid;
}

std::vector<Vec4> glsl_render_pixels(const std::string &shader, int vx, int vy,
                                     const std::vector<std::array<int, 2>> &pixels,
                                     const std::vector<uint8_t> *input_rgba8, bool float_target)
{
    for (const auto &pixel : pixels) {
        if (pixel[0] < 0 || pixel[0] >= picture_width || pixel[1] < 0 || pixel[1] >= picture_height) {
            ADD_FAILURE() << "GLSL bench: pixel (" << pixel[0] << ", " << pixel[1] << ") is off the picture";
            return nan_results(pixels.size());
        }
    }
    if (input_rgba8 && input_rgba8->size() != (size_t)picture_width * picture_height * 4) {
        ADD_FAILURE() << "GLSL bench: input picture has " << input_rgba8->size() << " bytes";
        return nan_results(pixels.size());
    }
    if (!bench_context()) return nan_results(pixels.size());
    drain_gl_errors();
    GLuint program = bench_program(shader);
    if (!program) return nan_results(pixels.size());

    static Target float_rt;
    static Target byte_rt;
    bind_target(float_target ? float_rt : byte_rt, picture_width, picture_height,
                float_target ? GL_RGBA32F : GL_RGBA8);

    // The averaged picture as the host leaves it: one level, GL_RGBA8, linear
    // minification, magnification and wrap at their defaults.
    GLuint picture = 0;
    glActiveTexture(GL_TEXTURE0);
    if (input_rgba8) {
        glGenTextures(1, &picture);
        glBindTexture(GL_TEXTURE_2D, picture);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, picture_width, picture_height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     input_rgba8->data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    } else {
        glBindTexture(GL_TEXTURE_2D, 0);
    }

    glUseProgram(program);
    glUniform2i(1, vx, vy);
    glGetError();   // a shader that does not read `v` has no location 1
    glEnable(GL_SCISSOR_TEST);
    for (const auto &pixel : pixels) {
        glScissor(pixel[0], pixel[1], 1, 1);
        glRecti(-1, -1, 1, 1);
    }
    glDisable(GL_SCISSOR_TEST);
    glUseProgram(0);

    std::vector<Vec4> out(pixels.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (size_t i = 0; i < pixels.size(); ++i)
        glReadPixels(pixels[i][0], pixels[i][1], 1, 1, GL_RGBA, GL_FLOAT, out[i].data());
    if (picture) {
        glBindTexture(GL_TEXTURE_2D, 0);
        glDeleteTextures(1, &picture);
    }
    check_gl_errors("glsl_render_pixels");
    return out;
}

uint32_t float_bits(float f)
{
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}
