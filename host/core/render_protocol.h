// The protocol between the host and the shader, written once for the windowed
// hosts and intro-render: each sample pass draws sample `index` (v = index, 1)
// into an 8-bit colour buffer, summed with weight 1/128; the post pass reads
// their mean, quantised to 8 bits in texture 1 on unit 0, and draws the
// finished picture (v = count, 2). The GL side is gl/render_protocol_gl.
#pragma once
#include "core/crop_geometry.h"

#include <cstdint>
#include <vector>

constexpr int kPictureWidth = 1920;
constexpr int kPictureHeight = 1080;
constexpr int32_t kSampleBudget = 128;
constexpr float kAccumWeight = 1.0f / 128.0f;
constexpr int32_t kSamplePass = 1;
constexpr int32_t kPostPass = 2;
constexpr int kPassUniformLocation = 1;   // ivec2 v
constexpr unsigned kMeanTexture = 1;      // a fixed name, never generated

// The GPU operations of the passes: GL in the programs, fakes in the tests.
// `context` is the pass state of whoever draws, handed to every operation,
// so two drawers can exist side by side.
struct PassOps {
    void *context;
    void (*bind_texture)(void *context);      // texture 1 on unit 0, linear minification
    void (*copy_to_texture)(void *context);   // colour buffer -> texture 1
    void (*set_pass)(void *context, int32_t index, int32_t pass);   // uniform v
    void (*draw_rect)(void *context);         // one rectangle over each region
    void (*accumulate)(void *context, float weight);
    void (*accum_return)(void *context, float scale);
    void (*finish)(void *context);
    void (*clear_accum)(void *context);
    // The scissor boxes the draws and sums keep to; empty: the whole viewport.
    void (*set_regions)(void *context, const std::vector<Rect> &regions);
};

// Scale that turns the sum of `count` samples, each weighted 1/128, into their mean.
inline float mean_scale(int32_t count) { return 128.0f / (float)count; }

// One sample pass: sample `index` drawn, then added to the sum with weight 1/128.
void sample_pass(const PassOps &ops, int32_t index);
// The mean of `count` samples into texture 1, then the post pass over it.
void post_pass(const PassOps &ops, int32_t count);

// A sample pass in its parts, for the tools that look at its draws: begun
// for sample `index`, drawn over `regions` as often as wanted (inspect reads
// what one draw stored, the cost map times one tile a draw), and, if it is
// to count, summed over `regions`.
void sample_begin(const PassOps &ops, int32_t index);
void sample_draw(const PassOps &ops, const std::vector<Rect> &regions);
void sample_sum(const PassOps &ops, const std::vector<Rect> &regions);
