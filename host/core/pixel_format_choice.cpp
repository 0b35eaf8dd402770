#include "core/pixel_format_choice.h"

bool pixel_format_usable(const PixelFormatTraits &f)
{
    // The unaccelerated generic formats offer accumulation but only OpenGL
    // 1.1, which cannot build the shader.
    if (f.generic && !f.generic_accelerated) return false;
    return f.draw_to_window && f.support_opengl && f.double_buffer && f.rgba &&
           f.color_bits >= 24 && f.accum_bits > 0;
}

static int pixel_format_score(const PixelFormatTraits &f)
{
    int score = 0;
    // 16 bits per channel keep 128 summed samples of weight 1/128 exact
    // enough; alpha is asked for by the descriptor.
    if (f.accum_bits >= 64) score += 2;
    if (f.alpha_bits >= 8) score += 1;
    return score;
}

int pick_pixel_format(const PixelFormatTraits *formats, int count, int chosen)
{
    if (chosen >= 1 && chosen <= count && pixel_format_usable(formats[chosen - 1])) return chosen;
    int best = 0;
    int best_score = -1;
    for (int i = 0; i < count; ++i) {
        if (!pixel_format_usable(formats[i])) continue;
        int score = pixel_format_score(formats[i]);
        if (score > best_score) {   // ties keep the driver's order
            best = i + 1;
            best_score = score;
        }
    }
    return best ? best : chosen;
}
