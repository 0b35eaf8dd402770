// intro-render's GL side: the shader's program and one 8-bit colour target
// that stands in for the window's back buffer, driven through the same
// render protocol as the windowed hosts (texture 1), summed exactly into
// the caller's ExactSums.
#pragma once
#include "core/crop_geometry.h"
#include "core/sums_file.h"
#include "gl/render_protocol_gl.h"
#include "render/exact_sums.h"

#include <string>
#include <vector>

struct Renderer {
    unsigned program = 0;
    unsigned texture = 0;      // RGBA8, the colour buffer
    unsigned framebuffer = 0;  // draws into `texture`; samples, mean and post pass
    ExactAccumulator accumulator; // the protocol holds its address and the passes': the renderer stays put
    GlPasses passes;              // this renderer's own pass state
};

// Needs a current context and the GL loader loaded; on failure says why.
// The samples are summed into `sums`, which must outlive the renderer. The
// program comes from renderer_set_shader.
bool renderer_init(Renderer &r, ExactSums &sums, std::string &error);
// Builds `source`, the text of the file `name`, into the program the passes
// draw with; on failure the old one stays and `error` holds the driver's log,
// its lines placed in that file.
bool renderer_set_shader(Renderer &r, const std::string &source, const std::string &name, std::string &error);
// Draws with `program` from now on and hands back the one it drew with: the
// caller owns that one, the renderer the one it holds when destroyed.
unsigned renderer_swap_program(Renderer &r, unsigned program);
// renderer_set_shader with the text of the file at `path`, read now (a
// watched file at each save).
bool renderer_load_shader(Renderer &r, const std::string &path, std::string &error);
void renderer_destroy(Renderer &r);
// Forgets the samples summed so far and starts a sum over `regions`;
// `header` describes the render for a sums file.
void render_start(Renderer &r, const std::vector<Rect> &regions, const SumsHeader &header = SumsHeader());
// One sample pass over the started regions, added into the sum.
void render_sample(Renderer &r, int index);
// The mean of the `count` samples summed into texture 1, then the post pass
// over `crop`.
void render_post(Renderer &r, int count, const Rect &crop);
// The render protocol's operations on this renderer's pass state, its target
// and program bound, texture 1 too: for the tools that draw a sample pass in
// its parts (sample_begin, sample_draw, sample_sum).
PassOps render_passes(Renderer &r);
// The post pass's result over `crop` as RGB rows, top row first.
std::vector<unsigned char> read_crop(Renderer &r, const Rect &crop);
