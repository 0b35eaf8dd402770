#include "gl_frame_ops.h"

#include "gl_api.h"
#include "platform.h"
#include "shader_tools.h"

#include <cstdio>

namespace {

bool use_accum_buffer = true;

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
    if (use_accum_buffer) glAccum(GL_ACCUM, weight);
}

void accum_return(float scale)
{
    if (use_accum_buffer) glAccum(GL_RETURN, scale);
}

void finish() { glFinish(); }

void clear_accum()
{
    if (use_accum_buffer) glClear(GL_ACCUM_BUFFER_BIT);
}

} // namespace

bool gl_frame_ops_init()
{
    GLint bits[3] = {0, 0, 0};
    glGetIntegerv(GL_ACCUM_RED_BITS, &bits[0]);
    glGetIntegerv(GL_ACCUM_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_ACCUM_BLUE_BITS, &bits[2]);
    use_accum_buffer = bits[0] > 0 && bits[1] > 0 && bits[2] > 0;
    if (!use_accum_buffer) {
        fprintf(stderr, "ERROR: the context has no accumulation buffer\n");
        return false;
    }
    return true;
}

void gl_frame_ops_clear_all()
{
    glClear(GL_COLOR_BUFFER_BIT | GL_ACCUM_BUFFER_BIT);
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
