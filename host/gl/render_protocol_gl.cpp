#include "gl/render_protocol_gl.h"

#include "gl/gl_api.h"
#include "core/host_platform.h"
#include "core/shader_tools.h"
#include "gl/soft_accum.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Without an accumulation buffer the samples are summed in a float target:
// each sample is copied out of the 8-bit back buffer first, so the result
// matches the fixed-function path.
bool use_accum_buffer = true;
SoftAccum soft_accum;
GLuint sample_copy = 0;

void poll() { hotreload("../shader.glsl"); }

void bind_texture()
{
    glBindTexture(GL_TEXTURE_2D, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

void copy_to_texture()
{
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 0, 0, kPictureWidth, kPictureHeight, 0);
}

// Looked up by name on every call, as drivers may hand out per-context
// addresses; a missing one was reported at start-up.
void set_pass(int32_t index, int32_t pass)
{
    auto uniform2i = (PFNGLUNIFORM2IPROC)gl_proc_address("glUniform2i");
    if (uniform2i) uniform2i(1, index, pass);
}

void draw_rect() { glRects(1, 1, -1, -1); }

void accumulate(float weight)
{
    if (use_accum_buffer) {
        glAccum(GL_ACCUM, weight);
        return;
    }
    glBindTexture(GL_TEXTURE_2D, sample_copy);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, kPictureWidth, kPictureHeight);
    glBindTexture(GL_TEXTURE_2D, 1);
    soft_accum_add(soft_accum, sample_copy, weight);
}

void accum_return(float scale)
{
    if (use_accum_buffer)
        glAccum(GL_RETURN, scale);
    else
        soft_accum_return(soft_accum, scale);
}

void finish() { glFinish(); }

void clear_accum()
{
    if (use_accum_buffer)
        glClear(GL_ACCUM_BUFFER_BIT);
    else
        soft_accum_clear(soft_accum);
}

bool soft_accum_start()
{
    // Texture 1 is the loop's by name, never generated: claim it before any
    // new texture is asked for, or the driver may hand out the same name.
    glBindTexture(GL_TEXTURE_2D, 1);
    std::string error;
    if (!soft_accum_init(soft_accum, kPictureWidth, kPictureHeight, error)) {
        fprintf(stderr, "ERROR: no accumulation buffer, and no float framebuffer either: %s\n", error.c_str());
        return false;
    }
    glGenTextures(1, &sample_copy);
    glBindTexture(GL_TEXTURE_2D, sample_copy);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kPictureWidth, kPictureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, 1);
    return true;
}

} // namespace

// Some drivers (Mesa with an sRGB-encoded back buffer) convert through sRGB
// in glAccum, so the buffer would average in linear light instead of summing
// the 8-bit samples. Half of white must come back as half.
static bool accum_buffer_sums_linearly()
{
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);
    glAccum(GL_ACCUM, 0.5f);
    glAccum(GL_RETURN, 1.0f);
    GLubyte pixel[4] = {0, 0, 0, 0};
    glReadPixels(0, 0, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    return pixel[0] >= 126 && pixel[0] <= 129;
}

bool gl_frame_ops_init()
{
    GLint bits[3] = {0, 0, 0};
    glGetIntegerv(GL_ACCUM_RED_BITS, &bits[0]);
    glGetIntegerv(GL_ACCUM_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_ACCUM_BLUE_BITS, &bits[2]);
    // INTRO_SOFT_ACCUM=1 takes the float path on purpose (to compare or test it).
    const char *forced = getenv("INTRO_SOFT_ACCUM");
    bool have_accum = bits[0] > 0 && bits[1] > 0 && bits[2] > 0;
    use_accum_buffer = have_accum && !(forced && forced[0] == '1') && accum_buffer_sums_linearly();
    if (use_accum_buffer) return true;
    if (have_accum)
        printf("the accumulation buffer does not sum linearly here: summing samples in a float framebuffer\n");
    else
        printf("no accumulation buffer: summing samples in a float framebuffer\n");
    return soft_accum_start();
}

void gl_frame_ops_clear_all()
{
    if (use_accum_buffer) {
        glClear(GL_COLOR_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);
    } else {
        glClear(GL_COLOR_BUFFER_BIT);
        clear_accum();
    }
}

FrameOps gl_frame_ops(const HostBackend &backend)
{
    FrameOps ops;
    ops.poll = poll;
    ops.time_ms = platform_time_ms;
    ops.tick_ms = platform_tick_ms;
    ops.peek_messages = backend.peek_messages;
    ops.escape_in_foreground = backend.escape_in_foreground;
    ops.set_title = backend.set_title;
    ops.swap_and_drain = backend.swap_and_drain;
    ops.bind_texture = bind_texture;
    ops.copy_to_texture = copy_to_texture;
    ops.set_pass = set_pass;
    ops.draw_rect = draw_rect;
    ops.accumulate = accumulate;
    ops.accum_return = accum_return;
    ops.finish = finish;
    ops.clear_accum = clear_accum;
    return ops;
}
