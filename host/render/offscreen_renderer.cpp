#include "render/offscreen_renderer.h"

#include "core/render_protocol.h"
#include "core/driver_log.h"
#include "core/gl_api.h"
#include "core/sample_index.h"
#include "core/shader_file.h"
#include "gl/gl_loader.h"
#include "gl/render_protocol_gl.h"
#include "gl/render_target.h"
#include "gl/shader_program.h"
#include "render/compiler_guard.h"

#include <cstdio>

namespace {

// The target and the program the passes draw with.
void use_renderer(const Renderer &r)
{
    gl_ext.BindFramebuffer(GL_FRAMEBUFFER, r.framebuffer);
    gl_ext.UseProgram(r.program);
}

} // namespace

bool renderer_set_shader(Renderer &r, const std::string &source, const std::string &name, std::string &error)
{
    std::string log;
    unsigned program = guarded_build(source.c_str(), log);
    if (!program) {
        error = "the shader does not build:\n" + located_log(log, LogFile{name, &source});
        return false;
    }
    const UniformQueries queries = {gl_ext.GetProgramiv, gl_ext.GetActiveUniform, gl_ext.GetUniformLocation};
    if (!has_sample_index(queries, program))
        std::fprintf(stderr, "intro-render: warning: the shader has no uniform at location 1: it ignores the "
                             "sample index, so every sample is the same\n");
    if (r.program) gl_ext.DeleteProgram(r.program);
    r.program = program;
    gl_ext.UseProgram(r.program);
    return true;
}

bool renderer_load_shader(Renderer &r, const std::string &path, std::string &error)
{
    std::string source;
    if (!read_shader_file(path.c_str(), source, error)) {
        error = "cannot read shader \"" + path + "\": " + error;
        return false;
    }
    return renderer_set_shader(r, source, path, error);
}

unsigned renderer_swap_program(Renderer &r, unsigned program)
{
    unsigned old = r.program;
    r.program = program;
    gl_ext.UseProgram(r.program);
    return old;
}

bool renderer_init(Renderer &r, ExactSums &sums, std::string &error)
{
    // Texture 1 is the protocol's by name: claim it before any texture is generated.
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
    if (!make_render_target(GL_RGBA8, GL_UNSIGNED_BYTE, kPictureWidth, kPictureHeight, r.texture, r.framebuffer)) {
        error = "the driver cannot render into an 8-bit RGBA texture";
        return false;
    }
    r.accumulator.sums = &sums;
    r.accumulator.colour = r.texture;
    gl_passes_use(r.passes, exact_accumulator(r.accumulator));
    glViewport(0, 0, kPictureWidth, kPictureHeight);
    return true;
}

void renderer_destroy(Renderer &r)
{
    gl_passes_destroy(r.passes);
    if (r.framebuffer) gl_ext.DeleteFramebuffers(1, &r.framebuffer);
    if (r.texture) glDeleteTextures(1, &r.texture);
    if (r.program) gl_ext.DeleteProgram(r.program);
    r = Renderer();
}

void render_start(Renderer &r, const std::vector<Rect> &regions, const SumsHeader &header)
{
    SumsHeader h = header;
    h.regions = regions;
    exact_sums_start(*r.accumulator.sums, h);
}

PassOps render_passes(Renderer &r)
{
    PassOps ops = gl_pass_ops(r.passes);
    use_renderer(r);
    ops.bind_texture(ops.context);
    return ops;
}

void render_sample(Renderer &r, int index)
{
    PassOps ops = render_passes(r);
    gl_passes_set_regions(r.passes, r.accumulator.sums->sums.header.regions);
    sample_pass(ops, index);
}

void render_post(Renderer &r, int count, const Rect &crop)
{
    PassOps ops = render_passes(r);
    gl_passes_set_regions(r.passes, {crop});
    post_pass(ops, count);
    ops.finish(ops.context);
}

std::vector<unsigned char> read_crop(Renderer &r, const Rect &crop)
{
    std::vector<unsigned char> rgba((size_t)crop.w * crop.h * 4);
    gl_ext.BindFramebuffer(GL_READ_FRAMEBUFFER, r.framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(crop.x, crop.y, crop.w, crop.h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    std::vector<unsigned char> rgb((size_t)crop.w * crop.h * 3);
    for (int row = 0; row < crop.h; ++row) {
        const unsigned char *src = &rgba[(size_t)(crop.h - 1 - row) * crop.w * 4];
        unsigned char *dst = &rgb[(size_t)row * crop.w * 3];
        for (int col = 0; col < crop.w; ++col) {
            dst[col * 3 + 0] = src[col * 4 + 0];
            dst[col * 3 + 1] = src[col * 4 + 1];
            dst[col * 3 + 2] = src[col * 4 + 2];
        }
    }
    return rgb;
}
