#include "gl/render_protocol_gl.h"

#include "core/gl_api.h"
#include "gl/gl_loader.h"
#include "gl/soft_accum.h"

#include <cstdio>
#include <cstdlib>

namespace {

GlPasses &state(void *context) { return *(GlPasses *)context; }

// Runs `draw` once per region with its scissor box, or once without one.
template <class F> void in_each_region(const std::vector<Rect> &regions, F draw)
{
    if (regions.empty()) {
        draw();
        return;
    }
    glEnable(GL_SCISSOR_TEST);
    for (const Rect &r : regions) {
        glScissor(r.x, r.y, r.w, r.h);
        draw();
    }
    glDisable(GL_SCISSOR_TEST);
}

void bind_texture(void *)
{
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
}

void copy_to_texture(void *)
{
    glCopyTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 0, 0, kPictureWidth, kPictureHeight, 0);
}

// Looked up by name on every call, as drivers may hand out per-context
// addresses; a missing one was reported at start-up.
void set_pass(void *, int32_t index, int32_t pass)
{
    auto uniform2i = gl_named<PFNGLUNIFORM2IPROC>("glUniform2i");
    if (uniform2i) uniform2i(kPassUniformLocation, index, pass);
}

void draw_rect(void *context)
{
    in_each_region(state(context).regions, [] { glRects(1, 1, -1, -1); });
}

void accumulate(void *context, float weight)
{
    const Accumulator &acc = state(context).accumulator;
    acc.add(acc.context, weight);
}

void accum_return(void *context, float scale)
{
    const Accumulator &acc = state(context).accumulator;
    acc.ret(acc.context, scale);
}

void finish(void *) { glFinish(); }

void clear_accum(void *context)
{
    const Accumulator &acc = state(context).accumulator;
    acc.clear(acc.context);
}

void set_regions(void *context, const std::vector<Rect> &regions) { state(context).regions = regions; }

void accum_buffer_add(void *context, float weight)
{
    in_each_region(state(context).regions, [weight] { glAccum(GL_ACCUM, weight); });
}

void accum_buffer_return(void *, float scale) { glAccum(GL_RETURN, scale); }
void accum_buffer_clear(void *) { glClear(GL_ACCUM_BUFFER_BIT); }

void float_add(void *context, float weight)
{
    GlPasses &p = state(context);
    glBindTexture(GL_TEXTURE_2D, p.sample_copy);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, kPictureWidth, kPictureHeight);
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
    in_each_region(p.regions, [&p, weight] { soft_accum_add(p.soft_accum, p.sample_copy, weight); });
}

void float_return(void *context, float scale) { soft_accum_return(state(context).soft_accum, scale); }
void float_clear(void *context) { soft_accum_clear(state(context).soft_accum); }

// Some drivers (Mesa with an sRGB-encoded back buffer) convert through sRGB
// in glAccum, so the buffer would average in linear light instead of summing
// the 8-bit samples. Half of white must come back as half.
bool accum_buffer_sums_linearly()
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

bool use_accum_buffer()
{
    GLint bits[3] = {0, 0, 0};
    glGetIntegerv(GL_ACCUM_RED_BITS, &bits[0]);
    glGetIntegerv(GL_ACCUM_GREEN_BITS, &bits[1]);
    glGetIntegerv(GL_ACCUM_BLUE_BITS, &bits[2]);
    // INTRO_SOFT_ACCUM=1 takes the float path on purpose (to compare or test it).
    const char *forced = getenv("INTRO_SOFT_ACCUM");
    bool have_accum = bits[0] > 0 && bits[1] > 0 && bits[2] > 0;
    if (have_accum && !(forced && forced[0] == '1') && accum_buffer_sums_linearly()) return true;
    if (have_accum)
        printf("the accumulation buffer does not sum linearly here: summing samples in a float framebuffer\n");
    else
        printf("no accumulation buffer: summing samples in a float framebuffer\n");
    return false;
}

} // namespace

bool gl_passes_init_float(GlPasses &p, std::string &error)
{
    // Texture 1 is the loop's by name, never generated: claim it before any
    // new texture is asked for, or the driver may hand out the same name.
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
    if (!soft_accum_init(p.soft_accum, kPictureWidth, kPictureHeight, error)) return false;
    glGenTextures(1, &p.sample_copy);
    glBindTexture(GL_TEXTURE_2D, p.sample_copy);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kPictureWidth, kPictureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
    p.accumulator = Accumulator{&p, float_add, float_return, float_clear};
    return true;
}

bool gl_passes_init_window(GlPasses &p)
{
    p.accumulator = Accumulator{&p, accum_buffer_add, accum_buffer_return, accum_buffer_clear};
    if (use_accum_buffer()) return true;
    std::string error;
    if (gl_passes_init_float(p, error)) return true;
    fprintf(stderr, "ERROR: no accumulation buffer, and no float framebuffer either: %s\n", error.c_str());
    return false;
}

void gl_passes_use(GlPasses &p, const Accumulator &acc) { p.accumulator = acc; }

void gl_passes_destroy(GlPasses &p)
{
    if (p.sample_copy) glDeleteTextures(1, &p.sample_copy);
    p.sample_copy = 0;
    soft_accum_destroy(p.soft_accum);
}

void gl_passes_clear_all(GlPasses &p)
{
    glClear(GL_COLOR_BUFFER_BIT);
    p.accumulator.clear(p.accumulator.context);
}

void gl_passes_set_regions(GlPasses &p, const std::vector<Rect> &regions) { p.regions = regions; }

PassOps gl_pass_ops(GlPasses &p)
{
    return PassOps{&p, bind_texture, copy_to_texture, set_pass, draw_rect, accumulate,
                   accum_return, finish, clear_accum, set_regions};
}
