// The passes of the render protocol on a real context: uniform location 1,
// texture 1 on unit 0, and one accumulator for the sum: the fixed-function
// accumulation buffer, or a float framebuffer where the context has none.
// Needs the GL loader loaded.
#pragma once
#include "core/crop_geometry.h"
#include "core/render_protocol.h"
#include "gl/soft_accum.h"

#include <string>
#include <vector>

// Where the samples are summed. `add` reads the colour read buffer and, like
// glAccum, honours the scissor box; `ret` draws sum * scale into the draw buffer.
// Each call gets `context`, the accumulator's own state.
struct Accumulator {
    void *context;
    void (*add)(void *context, float weight);
    void (*ret)(void *context, float scale);
    void (*clear)(void *context);
};

// The pass state of one drawer (a window's app, a renderer, a tool): the
// accumulator in use, the float sum with the copy of each sample it reads,
// and the scissor boxes. Its owner creates and destroys it; its operations
// hold its address, so it stays where it is while in use.
struct GlPasses {
    Accumulator accumulator = {nullptr, nullptr, nullptr, nullptr};
    // Without an accumulation buffer the samples are summed in a float target:
    // each sample is copied out of the 8-bit colour buffer first, so the
    // result matches the fixed-function path.
    SoftAccum soft_accum;
    unsigned sample_copy = 0;
    std::vector<Rect> regions;
};

// Chooses the accumulator for a window's context (INTRO_SOFT_ACCUM=1 forces
// the float one); false, with a message printed, when neither can be had.
bool gl_passes_init_window(GlPasses &p);
// The float accumulator only, for a context without a default framebuffer.
bool gl_passes_init_float(GlPasses &p, std::string &error);
// Another accumulator in place of the chosen one (intro-render's exact sums);
// its context must outlive its use.
void gl_passes_use(GlPasses &p, const Accumulator &acc);
void gl_passes_destroy(GlPasses &p);
// Clears the colour buffer and the sum before the first cycle.
void gl_passes_clear_all(GlPasses &p);
// Limits the sample draws and sums to these scissor boxes; empty: the whole
// viewport, without a scissor.
void gl_passes_set_regions(GlPasses &p, const std::vector<Rect> &regions);
// The protocol's operations on `p`.
PassOps gl_pass_ops(GlPasses &p);
