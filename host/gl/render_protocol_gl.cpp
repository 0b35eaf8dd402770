#include "gl/render_protocol_gl.h"

#include "core/gl_api.h"
#include "gl/gl_loader.h"
#include "gl/soft_accum.h"

#include <cstdio>
#include <cstdlib>

namespace {

Accumulator accumulator = accum_buffer_accumulator;
// Without an accumulation buffer the samples are summed in a float target:
// each sample is copied out of the 8-bit colour buffer first, so the result
// matches the fixed-function path.
SoftAccum soft_accum;
GLuint sample_copy = 0;
std::vector<Rect> regions;

// Runs `draw` once per region with its scissor box, or once without one.
template <class F> void in_each_region(F draw)
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

void bind_texture()
{
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
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
    auto uniform2i = gl_named<PFNGLUNIFORM2IPROC>("glUniform2i");
    if (uniform2i) uniform2i(kPassUniformLocation, index, pass);
}

void draw_rect()
{
    in_each_region([] { glRects(1, 1, -1, -1); });
}

void accumulate(float weight) { accumulator.add(accumulator.context, weight); }
void accum_return(float scale) { accumulator.ret(accumulator.context, scale); }
void finish() { glFinish(); }
void clear_accum() { accumulator.clear(accumulator.context); }

const PassOps pass_ops = {bind_texture, copy_to_texture, set_pass, draw_rect,
                          accumulate, accum_return, finish, clear_accum};

void accum_buffer_add(void *, float weight)
{
    in_each_region([weight] { glAccum(GL_ACCUM, weight); });
}

void accum_buffer_return(void *, float scale) { glAccum(GL_RETURN, scale); }
void accum_buffer_clear(void *) { glClear(GL_ACCUM_BUFFER_BIT); }

void float_add(void *, float weight)
{
    glBindTexture(GL_TEXTURE_2D, sample_copy);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, kPictureWidth, kPictureHeight);
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
    in_each_region([weight] { soft_accum_add(soft_accum, sample_copy, weight); });
}

void float_return(void *, float scale) { soft_accum_return(soft_accum, scale); }
void float_clear(void *) { soft_accum_clear(soft_accum); }

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

const Accumulator accum_buffer_accumulator = {nullptr, accum_buffer_add, accum_buffer_return, accum_buffer_clear};
const Accumulator float_accumulator = {nullptr, float_add, float_return, float_clear};

bool gl_passes_init_float(std::string &error)
{
    // Texture 1 is the loop's by name, never generated: claim it before any
    // new texture is asked for, or the driver may hand out the same name.
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
    if (!soft_accum_init(soft_accum, kPictureWidth, kPictureHeight, error)) return false;
    glGenTextures(1, &sample_copy);
    glBindTexture(GL_TEXTURE_2D, sample_copy);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kPictureWidth, kPictureHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
    accumulator = float_accumulator;
    return true;
}

bool gl_passes_init_window()
{
    accumulator = accum_buffer_accumulator;
    if (use_accum_buffer()) return true;
    std::string error;
    if (gl_passes_init_float(error)) return true;
    fprintf(stderr, "ERROR: no accumulation buffer, and no float framebuffer either: %s\n", error.c_str());
    return false;
}

void gl_passes_use(const Accumulator &acc) { accumulator = acc; }

void gl_passes_destroy()
{
    if (sample_copy) glDeleteTextures(1, &sample_copy);
    sample_copy = 0;
    soft_accum_destroy(soft_accum);
}

void gl_passes_clear_all()
{
    glClear(GL_COLOR_BUFFER_BIT);
    accumulator.clear(accumulator.context);
}

void gl_passes_set_regions(const std::vector<Rect> &boxes) { regions = boxes; }

const PassOps &gl_pass_ops() { return pass_ops; }
