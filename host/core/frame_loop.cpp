#include "core/frame_loop.h"

#include <cstdio>

FrameState frame;

float frame_time_value(const FrameOps &ops)
{
    uint32_t elapsed_ms = ops.time_ms() - frame.start_time;
    float elapsed = (float)(double)elapsed_ms / 1000.0f;
    float seek = (float)(frame.time_offset / kOffsetUnitsPerSecond);
    return elapsed + seek;
}

void present_with_stats(const FrameOps &ops, float time)
{
    float dt = time - frame.last_time;
    // A seek backwards can make dt zero or negative: keep the rates then.
    if (dt > 0.0f) {
        frame.fps_now = 1.0f / dt;
        frame.fps_smooth = 0.9f * frame.fps_now + 0.1f * frame.fps_smooth;
        if (!(frame.fps_now > frame.fps_min)) frame.fps_min = frame.fps_now;
    }
    frame.frame_number += 1;
    char title[1024];
    snprintf(title, sizeof title, "TIME: %.2f   FRAME: %i   FPS: %.2f / %.2f, %.2f", (double)time,
             frame.frame_number, (double)frame.fps_smooth, (double)((float)frame.frame_number / time),
             (double)frame.fps_min);
    frame.last_time = time;
    ops.set_title(title);
    ops.swap_and_drain();
}

void seek_time_offset(int direction)
{
    printf("last offset %d\n", frame.time_offset);
    frame.time_offset += direction * kOffsetUnitsPerSecond;
}

bool frame_iteration(const FrameOps &ops)
{
    ops.poll();
    uint32_t iteration_start = ops.tick_ms();
    ops.peek_messages();
    ops.passes.bind_texture(ops.passes.context);
    bool within_budget = ops.tick_ms() - iteration_start < kIterationBudgetMs;
    // The budget may cut a cycle short, but a present needs at least one
    // sample: with none there is no mean to show, and 128/0 has no value.
    if (frame.sample_count < kSampleBudget && (within_budget || frame.sample_count == 0)) {
        int32_t s = frame.sample_count;
        frame.sample_count = s + 1;
        sample_pass(ops.passes, s);
    } else if (iteration_start != 0) {
        post_pass(ops.passes, frame.sample_count);
        present_with_stats(ops, frame_time_value(ops));
        ops.passes.clear_accum(ops.passes.context);
        frame.sample_count = 0;
    }
    return !ops.escape_in_foreground();
}

void run_frame_loop(const FrameOps &ops)
{
    while (frame_iteration(ops)) {
    }
}
