#include "gl/soft_accum.h"

#ifdef _WIN32
// opengl32.dll exports only OpenGL 1.1: everything newer comes from the
// driver, fetched once when the target is made.
#include "gl/gl_api.h"
#include "core/host_platform.h"

#define SOFT_ACCUM_GL_PROCS(X)                                                                  \
    X(PFNGLACTIVETEXTUREPROC, glActiveTexture)                                                  \
    X(PFNGLATTACHSHADERPROC, glAttachShader)                                                    \
    X(PFNGLBINDFRAMEBUFFERPROC, glBindFramebuffer)                                              \
    X(PFNGLBINDVERTEXARRAYPROC, glBindVertexArray)                                              \
    X(PFNGLBLENDEQUATIONPROC, glBlendEquation)                                                  \
    X(PFNGLBLENDEQUATIONSEPARATEPROC, glBlendEquationSeparate)                                  \
    X(PFNGLBLENDFUNCSEPARATEPROC, glBlendFuncSeparate)                                          \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, glCheckFramebufferStatus)                                \
    X(PFNGLCLEARBUFFERFVPROC, glClearBufferfv)                                                  \
    X(PFNGLCOMPILESHADERPROC, glCompileShader)                                                  \
    X(PFNGLCREATEPROGRAMPROC, glCreateProgram)                                                  \
    X(PFNGLCREATESHADERPROC, glCreateShader)                                                    \
    X(PFNGLDELETEFRAMEBUFFERSPROC, glDeleteFramebuffers)                                        \
    X(PFNGLDELETEPROGRAMPROC, glDeleteProgram)                                                  \
    X(PFNGLDELETESHADERPROC, glDeleteShader)                                                    \
    X(PFNGLDELETEVERTEXARRAYSPROC, glDeleteVertexArrays)                                        \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, glFramebufferTexture2D)                                    \
    X(PFNGLGENFRAMEBUFFERSPROC, glGenFramebuffers)                                              \
    X(PFNGLGENVERTEXARRAYSPROC, glGenVertexArrays)                                              \
    X(PFNGLGETPROGRAMIVPROC, glGetProgramiv)                                                    \
    X(PFNGLGETSHADERINFOLOGPROC, glGetShaderInfoLog)                                            \
    X(PFNGLGETSHADERIVPROC, glGetShaderiv)                                                      \
    X(PFNGLGETUNIFORMLOCATIONPROC, glGetUniformLocation)                                        \
    X(PFNGLLINKPROGRAMPROC, glLinkProgram)                                                      \
    X(PFNGLSHADERSOURCEPROC, glShaderSource)                                                    \
    X(PFNGLUNIFORM1FPROC, glUniform1f)                                                          \
    X(PFNGLUNIFORM1IPROC, glUniform1i)                                                          \
    X(PFNGLUSEPROGRAMPROC, glUseProgram)

#define SOFT_ACCUM_DECLARE(type, name) static type soft_##name = nullptr;
SOFT_ACCUM_GL_PROCS(SOFT_ACCUM_DECLARE)
#define glActiveTexture soft_glActiveTexture
#define glAttachShader soft_glAttachShader
#define glBindFramebuffer soft_glBindFramebuffer
#define glBindVertexArray soft_glBindVertexArray
#define glBlendEquation soft_glBlendEquation
#define glBlendEquationSeparate soft_glBlendEquationSeparate
#define glBlendFuncSeparate soft_glBlendFuncSeparate
#define glCheckFramebufferStatus soft_glCheckFramebufferStatus
#define glClearBufferfv soft_glClearBufferfv
#define glCompileShader soft_glCompileShader
#define glCreateProgram soft_glCreateProgram
#define glCreateShader soft_glCreateShader
#define glDeleteFramebuffers soft_glDeleteFramebuffers
#define glDeleteProgram soft_glDeleteProgram
#define glDeleteShader soft_glDeleteShader
#define glDeleteVertexArrays soft_glDeleteVertexArrays
#define glFramebufferTexture2D soft_glFramebufferTexture2D
#define glGenFramebuffers soft_glGenFramebuffers
#define glGenVertexArrays soft_glGenVertexArrays
#define glGetProgramiv soft_glGetProgramiv
#define glGetShaderInfoLog soft_glGetShaderInfoLog
#define glGetShaderiv soft_glGetShaderiv
#define glGetUniformLocation soft_glGetUniformLocation
#define glLinkProgram soft_glLinkProgram
#define glShaderSource soft_glShaderSource
#define glUniform1f soft_glUniform1f
#define glUniform1i soft_glUniform1i
#define glUseProgram soft_glUseProgram

static bool load_gl_procs(std::string &error)
{
#define SOFT_ACCUM_LOAD(type, name)                                                             \
    soft_##name = (type)gl_proc_address(#name);                                                 \
    if (!soft_##name) {                                                                         \
        error = "the driver has no " #name;                                                     \
        return false;                                                                           \
    }
    SOFT_ACCUM_GL_PROCS(SOFT_ACCUM_LOAD)
    return true;
}
#else
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

static bool load_gl_procs(std::string &) { return true; }
#endif

#include <vector>

namespace {

// One triangle that covers the viewport; no vertex buffers needed.
const char *const vertex_source = R"(#version 330 core
void main()
{
    vec2 corner = vec2(float((gl_VertexID & 1) << 2), float((gl_VertexID & 2) << 1));
    gl_Position = vec4(corner - 1.0, 0.0, 1.0);
}
)";

const char *const fragment_source = R"(#version 330 core
uniform sampler2D source;
uniform float scale;
out vec4 colour;
void main()
{
    colour = texelFetch(source, ivec2(gl_FragCoord.xy), 0) * scale;
}
)";

// GL state that add/return/clear touch, saved on entry and put back on exit.
struct SavedState {
    GLint program = 0;
    GLint draw_framebuffer = 0;
    GLint vertex_array = 0;
    GLint active_texture = 0;
    GLint texture_unit0 = 0;
    GLint viewport[4] = {0, 0, 0, 0};
    GLboolean blend = GL_FALSE;
    GLint blend_src_rgb = 0, blend_dst_rgb = 0, blend_src_alpha = 0, blend_dst_alpha = 0;
    GLint blend_eq_rgb = 0, blend_eq_alpha = 0;
};

SavedState save_state()
{
    SavedState s;
    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s.draw_framebuffer);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &s.vertex_array);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.active_texture);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture_unit0);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    s.blend = glIsEnabled(GL_BLEND);
    glGetIntegerv(GL_BLEND_SRC_RGB, &s.blend_src_rgb);
    glGetIntegerv(GL_BLEND_DST_RGB, &s.blend_dst_rgb);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &s.blend_src_alpha);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &s.blend_dst_alpha);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &s.blend_eq_rgb);
    glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &s.blend_eq_alpha);
    return s;
}

void restore_state(const SavedState &s)
{
    glUseProgram(s.program);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, s.draw_framebuffer);
    glBindVertexArray(s.vertex_array);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, s.texture_unit0);
    glActiveTexture(s.active_texture);
    glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    if (s.blend) glEnable(GL_BLEND); else glDisable(GL_BLEND);
    glBlendFuncSeparate(s.blend_src_rgb, s.blend_dst_rgb, s.blend_src_alpha, s.blend_dst_alpha);
    glBlendEquationSeparate(s.blend_eq_rgb, s.blend_eq_alpha);
}

GLuint compile(GLenum stage, const char *source, std::string &error)
{
    GLuint shader = glCreateShader(stage);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        GLint length = 0;
        glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
        std::vector<char> log(length > 1 ? length : 1, '\0');
        glGetShaderInfoLog(shader, (GLsizei)log.size(), nullptr, log.data());
        error = std::string("accumulation shader does not compile: ") + log.data();
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// Draws sum texel * scale (or source texel * scale) over the viewport.
void draw_scaled(SoftAccum &acc, GLuint source, float scale)
{
    glUseProgram(acc.program);
    glUniform1f(acc.scale_location, scale);
    glBindVertexArray(acc.vertex_array);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, source);
    glDrawArrays(GL_TRIANGLES, 0, 3);
}

} // namespace

bool soft_accum_init(SoftAccum &acc, int w, int h, std::string &error)
{
    acc = SoftAccum();
    if (w <= 0 || h <= 0) {
        error = "accumulation target must not be empty";
        return false;
    }
    if (!load_gl_procs(error)) return false;
    GLint previous_texture = 0, previous_framebuffer = 0, previous_active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &previous_active);
    glActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous_texture);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous_framebuffer);

    GLuint vs = compile(GL_VERTEX_SHADER, vertex_source, error);
    GLuint fs = vs ? compile(GL_FRAGMENT_SHADER, fragment_source, error) : 0;
    bool ok = vs && fs;
    if (ok) {
        acc.program = glCreateProgram();
        glAttachShader(acc.program, vs);
        glAttachShader(acc.program, fs);
        glLinkProgram(acc.program);
        GLint linked = GL_FALSE;
        glGetProgramiv(acc.program, GL_LINK_STATUS, &linked);
        if (!linked) {
            error = "accumulation program does not link";
            ok = false;
        }
    }
    if (vs) glDeleteShader(vs);
    if (fs) glDeleteShader(fs);
    if (ok) {
        GLint previous_program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &previous_program);
        glUseProgram(acc.program);
        glUniform1i(glGetUniformLocation(acc.program, "source"), 0);
        acc.scale_location = glGetUniformLocation(acc.program, "scale");
        glUseProgram(previous_program);

        glGenVertexArrays(1, &acc.vertex_array);
        glGenTextures(1, &acc.texture);
        glBindTexture(GL_TEXTURE_2D, acc.texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, w, h, 0, GL_RGBA, GL_FLOAT, nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glGenFramebuffers(1, &acc.framebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, acc.framebuffer);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, acc.texture, 0);
        if (glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
            error = "the driver cannot render into a 32-bit float target";
            ok = false;
        } else {
            const GLfloat zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            glClearBufferfv(GL_COLOR, 0, zero);
        }
    }
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, previous_framebuffer);
    glBindTexture(GL_TEXTURE_2D, previous_texture);
    glActiveTexture(previous_active);
    if (!ok) {
        soft_accum_destroy(acc);
        return false;
    }
    acc.width = w;
    acc.height = h;
    return true;
}

void soft_accum_add(SoftAccum &acc, unsigned source_texture, float weight)
{
    SavedState saved = save_state();
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, acc.framebuffer);
    glViewport(0, 0, acc.width, acc.height);
    glEnable(GL_BLEND);
    glBlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_ONE, GL_ONE);
    draw_scaled(acc, source_texture, weight);
    restore_state(saved);
}

void soft_accum_return(SoftAccum &acc, float scale)
{
    SavedState saved = save_state();
    glViewport(0, 0, acc.width, acc.height);
    glDisable(GL_BLEND);
    draw_scaled(acc, acc.texture, scale);
    restore_state(saved);
}

void soft_accum_clear(SoftAccum &acc)
{
    GLint previous_framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous_framebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, acc.framebuffer);
    const GLfloat zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    glClearBufferfv(GL_COLOR, 0, zero);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, previous_framebuffer);
}

void soft_accum_destroy(SoftAccum &acc)
{
    if (acc.framebuffer) glDeleteFramebuffers(1, &acc.framebuffer);
    if (acc.texture) glDeleteTextures(1, &acc.texture);
    if (acc.vertex_array) glDeleteVertexArrays(1, &acc.vertex_array);
    if (acc.program) glDeleteProgram(acc.program);
    acc = SoftAccum();
}
