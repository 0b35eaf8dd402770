#include "render/exact_sums.h"

#include "core/render_protocol.h"
#include "core/gl_api.h"
#include "gl/render_protocol_gl.h"

Sums exact_sums;
int exact_count = 0;

namespace {

unsigned colour = 0;
std::vector<uint8_t> pixels;

// The weight is always 1/128: the mean divides by the count instead.
void exact_add(float)
{
    const std::vector<Rect> &regions = exact_sums.header.regions;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    for (size_t i = 0; i < regions.size(); ++i) {
        const Rect &r = regions[i];
        pixels.resize((size_t)r.w * r.h * 4);
        glReadPixels(r.x, r.y, r.w, r.h, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        sums_add_region(exact_sums, (int)i, pixels.data());
    }
    ++exact_count;
}

// The protocol's scale is 128 / count; the sums know their count.
void exact_return(float)
{
    sums_mean(exact_sums, exact_count, pixels);
    glBindTexture(GL_TEXTURE_2D, colour);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, kPictureWidth, kPictureHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                    pixels.data());
    glBindTexture(GL_TEXTURE_2D, kMeanTexture);
}

void exact_clear() { exact_sums_start(exact_sums.header); }

const Accumulator exact_accumulator = {exact_add, exact_return, exact_clear};

} // namespace

void exact_sums_install(unsigned colour_texture)
{
    colour = colour_texture;
    gl_passes_use(exact_accumulator);
}

void exact_sums_start(const SumsHeader &header)
{
    SumsHeader whole = header;
    whole.picture_width = kPictureWidth;
    whole.picture_height = kPictureHeight;
    sums_init(exact_sums, whole);
    exact_count = 0;
}
