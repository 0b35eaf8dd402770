// The progressive frame loop: it schedules 128 sample passes, then one post
// pass of their mean, the title line with its statistics, a swap, and over
// again, within the per-iteration budget.
#pragma once
#include "core/render_protocol.h"

#include <cstdint>

constexpr uint32_t kIterationBudgetMs = 29000;
constexpr int32_t kOffsetUnitsPerSecond = 88200;

// Program-wide values of the loop.
struct FrameState {
    int32_t sample_count = 0;
    int32_t time_offset = 0;   // seek, in 1/88200 s
    int32_t frame_number = 0;
    float last_time = 0.0f;
    float fps_now = 0.0f;
    float fps_smooth = 0.0f;
    float fps_min = 1000.0f;
    uint32_t start_time = 0;
};
extern FrameState frame;

// Everything the loop does to the platform and the GPU. The hosts fill this
// with real calls; the tests with fakes.
struct FrameOps {
    void (*poll)();                    // hot reload and mouse uniform
    uint32_t (*time_ms)();             // clock of the title's time
    uint32_t (*tick_ms)();             // clock of the iteration budget
    void (*peek_messages)();           // keeps the window responsive
    bool (*escape_in_foreground)();    // this window in front and Escape held
    void (*set_title)(const char *text);
    void (*swap_and_drain)();          // show the back buffer, dispatch messages
    PassOps passes;                    // the render protocol's GPU side
};

// One iteration: a sample or a present. Returns false when Escape ends the loop.
bool frame_iteration(const FrameOps &ops);
void run_frame_loop(const FrameOps &ops);

// Title clock in seconds, including the seek offset.
float frame_time_value(const FrameOps &ops);
// Statistics and title line, then swap and drain.
void present_with_stats(const FrameOps &ops, float time);
// Prints "last offset %d\n" and moves the seek offset by one second.
void seek_time_offset(int direction);
