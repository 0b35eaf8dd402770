#include "render/exact_sums.h"

#include "core/render_protocol.h"
#include "core/gl_api.h"
#include "gl/render_protocol_gl.h"

namespace {

// The weight is always 1/128: the mean divides by the count instead.
void exact_add(void *context, float)
{
    ExactAccumulator &acc = *(ExactAccumulator *)context;
    Sums &sums = acc.sums->sums;
    const std::vector<Rect> &regions = sums.header.regions;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (size_t i = 0; i < regions.size(); ++i) {
        const Rect &r = regions[i];
        acc.pixels.resize((size_t)r.w * r.h * 4);
        glReadPixels(r.x, r.y, r.w, r.h, GL_RGBA, GL_UNSIGNED_BYTE, acc.pixels.data());
        sums_add_region(sums, (int)i, acc.pixels.data());
    }
    ++acc.sums->count;
}

// The protocol's scale is 128 / count; the sums know their count.
void exact_return(void *context, float)
{
    ExactAccumulator &acc = *(ExactAccumulator *)context;
    sums_mean(acc.sums->sums, acc.sums->count, acc.pixels);
    glBindTexture(GL_TEXTURE_2D, acc.colour);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kPictureWidth, kPictureHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                    acc.pixels.data());
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
}

void exact_clear(void *context)
{
    ExactSums &sums = *((ExactAccumulator *)context)->sums;
    exact_sums_start(sums, sums.sums.header);
}

} // namespace

Accumulator exact_accumulator(ExactAccumulator &acc)
{
    return Accumulator{&acc, exact_add, exact_return, exact_clear};
}

void exact_sums_start(ExactSums &sums, const SumsHeader &header)
{
    SumsHeader whole = header;
    whole.picture_width = kPictureWidth;
    whole.picture_height = kPictureHeight;
    sums_init(sums.sums, whole);
    sums.count = 0;
}
