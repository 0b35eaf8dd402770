// An accumulation buffer made of a float render target, for contexts that
// have none (headless EGL, core-like drivers). Mirrors glAccum: GL_ACCUM is
// soft_accum_add, GL_RETURN is soft_accum_return, and like the real buffer
// every operation honours the current scissor.
//
// Needs a current GL 3.3+ context and the GL loader loaded. Every call
// restores the program, the framebuffer, vertex-array and texture bindings,
// the active texture unit, the blend state and the viewport that it changes.
#pragma once
#include <string>

struct SoftAccum {
    int width = 0;
    int height = 0;
    unsigned texture = 0;     // RGBA32F sum
    unsigned framebuffer = 0; // draws into `texture`
    unsigned program = 0;     // out = texel * scale
    unsigned vertex_array = 0;
    int scale_location = -1;
};

// Creates a cleared w x h float target. On failure says why in `error`.
bool soft_accum_init(SoftAccum &acc, int w, int h, std::string &error);
// sum += texture * weight. The source must be a complete 2D texture at least
// w x h (it is read texel for texel, without filtering).
void soft_accum_add(SoftAccum &acc, unsigned source_texture, float weight);
// Draws sum * scale into the currently bound draw framebuffer.
void soft_accum_return(SoftAccum &acc, float scale);
// sum = 0 (inside the scissor box when the scissor test is on).
void soft_accum_clear(SoftAccum &acc);
void soft_accum_destroy(SoftAccum &acc);
