// The progressive loop against fake GPU and platform operations.
#include "core/frame_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Fake {
    std::vector<std::string> calls;
    uint32_t time_ms = 0;          // title clock
    uint32_t tick_ms = 1000;       // budget clock
    uint32_t tick_step = 0;        // added to the budget clock at every read
    bool escape = false;
    std::string title;
    int swaps = 0;
};
Fake fake;

void log(const std::string &s) { fake.calls.push_back(s); }
void pass_log(void *context, const std::string &s) { log(context == &fake ? s : "other state: " + s); }

FrameOps fake_ops()
{
    FrameOps ops;
    ops.poll = [] { log("poll"); };
    ops.time_ms = [] { return fake.time_ms; };
    ops.tick_ms = [] { uint32_t t = fake.tick_ms; fake.tick_ms += fake.tick_step; return t; };
    ops.peek_messages = [] { log("peek"); };
    ops.escape_in_foreground = [] { return fake.escape; };
    ops.set_title = [](const char *t) { fake.title = t; log("title"); };
    ops.swap_and_drain = [] { ++fake.swaps; log("swap"); };
    // Each pass operation must get the drawer's own state.
    ops.passes.context = &fake;
    ops.passes.bind_texture = [](void *c) { pass_log(c, "bind"); };
    ops.passes.copy_to_texture = [](void *c) { pass_log(c, "copy"); };
    ops.passes.set_pass = [](void *c, int32_t i, int32_t p) {
        pass_log(c, "v=" + std::to_string(i) + "," + std::to_string(p));
    };
    ops.passes.draw_rect = [](void *c) { pass_log(c, "rect"); };
    ops.passes.accumulate = [](void *c, float w) {
        char b[32];
        snprintf(b, sizeof b, "accum %.7f", (double)w);
        pass_log(c, b);
    };
    ops.passes.accum_return = [](void *c, float s) {
        char b[32];
        snprintf(b, sizeof b, "return %.6f", (double)s);
        pass_log(c, b);
    };
    ops.passes.finish = [](void *c) { pass_log(c, "finish"); };
    ops.passes.clear_accum = [](void *c) { pass_log(c, "clear"); };
    ops.passes.set_regions = [](void *c, const std::vector<Rect> &) { pass_log(c, "regions"); };
    return ops;
}

class FrameLoop : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake = Fake();
        frame = FrameState();
        ops = fake_ops();
    }
    std::vector<std::string> run_iteration()
    {
        fake.calls.clear();
        EXPECT_TRUE(frame_iteration(ops));
        return fake.calls;
    }
    FrameOps ops;
};

TEST_F(FrameLoop, SampleIterationMakesItsCallsInOrder)
{
    std::vector<std::string> expected = {"poll", "peek", "bind", "copy", "v=0,1", "rect", "accum 0.0078125", "finish"};
    EXPECT_EQ(run_iteration(), expected);
    EXPECT_EQ(frame.sample_count, 1);
    EXPECT_EQ(run_iteration()[4], "v=1,1");
}

TEST_F(FrameLoop, PresentsExactlyAfter128SamplesWithScaleOne)
{
    for (int i = 0; i < 128; ++i) {
        std::vector<std::string> c = run_iteration();
        ASSERT_EQ(c[4], "v=" + std::to_string(i) + ",1");
    }
    EXPECT_EQ(fake.swaps, 0);
    std::vector<std::string> expected = {"poll", "peek", "bind", "return 1.000000", "copy", "v=128,2",
                                         "rect", "title", "swap", "clear"};
    EXPECT_EQ(run_iteration(), expected);
    EXPECT_EQ(frame.sample_count, 0);
    EXPECT_EQ(frame.frame_number, 1);
    // The next cycle starts again at sample 0.
    EXPECT_EQ(run_iteration()[4], "v=0,1");
}

TEST_F(FrameLoop, BudgetPresentsEarlyWithScaledReturn)
{
    for (int i = 0; i < 10; ++i) run_iteration();
    // The second tick reading of the iteration comes 29000 ms after the first.
    fake.tick_step = 29000;
    std::vector<std::string> c = run_iteration();
    EXPECT_EQ(c[3], "return 12.800000");
    EXPECT_EQ(c[5], "v=10,2");
    EXPECT_EQ(frame.sample_count, 0);
    // 28999 ms is still within the budget.
    fake.tick_step = 28999;
    EXPECT_EQ(run_iteration()[4], "v=0,1");
}

TEST_F(FrameLoop, BudgetNeverPresentsWithoutSamples)
{
    fake.tick_step = 40000;
    std::vector<std::string> c = run_iteration();
    EXPECT_EQ(c[4], "v=0,1") << "with no samples the iteration must sample, not divide by zero";
    EXPECT_EQ(frame.sample_count, 1);
}

TEST_F(FrameLoop, PresentIsSkippedWhenTheTickClockReadsZero)
{
    frame.sample_count = 128;
    fake.tick_ms = 0;
    std::vector<std::string> expected = {"poll", "peek", "bind"};
    EXPECT_EQ(run_iteration(), expected);
    EXPECT_EQ(frame.sample_count, 128);
}

TEST_F(FrameLoop, EscapeEndsTheLoopAfterAnyIteration)
{
    fake.escape = true;
    EXPECT_FALSE(frame_iteration(ops));
    EXPECT_EQ(frame.sample_count, 1) << "the iteration itself still runs";
}

TEST_F(FrameLoop, FirstTitleLineAndRunningMinimum)
{
    present_with_stats(ops, 2.0f);
    EXPECT_EQ(fake.title, "TIME: 2.00   FRAME: 1   FPS: 0.45 / 0.50, 0.50");
    present_with_stats(ops, 2.25f);   // 4 fps: not below the minimum
    EXPECT_FLOAT_EQ(frame.fps_min, 0.5f);
    EXPECT_FLOAT_EQ(frame.fps_smooth, 0.9f * 4.0f + 0.1f * 0.45f);
    present_with_stats(ops, 4.25f);   // 0.5 fps: equal counts as a new minimum
    present_with_stats(ops, 8.25f);   // 0.25 fps
    EXPECT_FLOAT_EQ(frame.fps_min, 0.25f);
    EXPECT_EQ(frame.frame_number, 4);
    EXPECT_EQ(fake.swaps, 4);
}

TEST_F(FrameLoop, FirstMinimumIsCappedAtAThousand)
{
    present_with_stats(ops, 0.0005f);   // 2000 fps
    EXPECT_FLOAT_EQ(frame.fps_min, 1000.0f);
}

TEST_F(FrameLoop, PresentWhoseTimeDoesNotAdvanceKeepsTheRates)
{
    present_with_stats(ops, 5.0f);
    FrameState before = frame;
    present_with_stats(ops, 4.0f);
    EXPECT_EQ(frame.fps_now, before.fps_now);
    EXPECT_EQ(frame.fps_smooth, before.fps_smooth);
    EXPECT_EQ(frame.fps_min, before.fps_min);
    EXPECT_EQ(frame.frame_number, 2);
    EXPECT_EQ(fake.title.rfind("TIME: 4.00   FRAME: 2   ", 0), 0u) << fake.title;
}

TEST_F(FrameLoop, TimeValueIncludesWholeSecondsOfSeek)
{
    frame.start_time = 4000000000u;     // the clock wraps in between
    fake.time_ms = 4000000000u + 30250u;
    frame.time_offset = -88200;
    EXPECT_FLOAT_EQ(frame_time_value(ops), 29.25f);
    present_with_stats(ops, frame_time_value(ops));
    EXPECT_EQ(fake.title.rfind("TIME: 29.25   FRAME: 1", 0), 0u) << fake.title;
    // Integer division truncates toward zero.
    frame.time_offset = -88199;
    EXPECT_FLOAT_EQ(frame_time_value(ops), 30.25f);
}

TEST_F(FrameLoop, SeekPrintsTheOldOffsetThenMoves)
{
    testing::internal::CaptureStdout();
    seek_time_offset(-1);
    seek_time_offset(-1);
    seek_time_offset(+1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "last offset 0\nlast offset -88200\nlast offset -176400\n");
    EXPECT_EQ(frame.time_offset, -88200);
}

} // namespace
