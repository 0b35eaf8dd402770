#include "core/render_protocol.h"

void sample_pass(const PassOps &ops, int32_t index)
{
    ops.copy_to_texture(ops.context);
    ops.set_pass(ops.context, index, kSamplePass);
    ops.draw_rect(ops.context);
    ops.accumulate(ops.context, kAccumWeight);
    ops.finish(ops.context);
}

void post_pass(const PassOps &ops, int32_t count)
{
    ops.accum_return(ops.context, mean_scale(count));
    ops.copy_to_texture(ops.context);
    ops.set_pass(ops.context, count, kPostPass);
    ops.draw_rect(ops.context);
}

void sample_begin(const PassOps &ops, int32_t index)
{
    ops.copy_to_texture(ops.context);
    ops.set_pass(ops.context, index, kSamplePass);
}

void sample_draw(const PassOps &ops, const std::vector<Rect> &regions)
{
    ops.set_regions(ops.context, regions);
    ops.draw_rect(ops.context);
}

void sample_sum(const PassOps &ops, const std::vector<Rect> &regions)
{
    ops.set_regions(ops.context, regions);
    ops.accumulate(ops.context, kAccumWeight);
    ops.finish(ops.context);
}
