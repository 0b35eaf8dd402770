#include "core/render_protocol.h"

void sample_pass(const PassOps &ops, int32_t index)
{
    ops.copy_to_texture();
    ops.set_pass(index, kSamplePass);
    ops.draw_rect();
    ops.accumulate(kAccumWeight);
    ops.finish();
}

void post_pass(const PassOps &ops, int32_t count)
{
    ops.accum_return(mean_scale(count));
    ops.copy_to_texture();
    ops.set_pass(count, kPostPass);
    ops.draw_rect();
}
