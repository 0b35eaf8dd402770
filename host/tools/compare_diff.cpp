#include "tools/compare_diff.h"

#include "tools/colour_ramp.h"
#include "tools/legend.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

int pixel_difference(const unsigned char *a, const unsigned char *b, int channels)
{
    int d = 0;
    for (int c = 0; c < channels; ++c) d = std::max(d, std::abs((int)a[c] - (int)b[c]));
    return d;
}

// The least difference drawn sits this far up the heat ramp, clear of its
// black end, so that a single step still shows.
constexpr double kFirstHeat = 0.3;

} // namespace

Difference compare_pixels(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b, int w, int h,
                          int channels, int tolerance)
{
    Difference d;
    d.total = (long)w * h;
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    double sum = 0.0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            size_t i = ((size_t)y * w + x) * channels;
            int diff = pixel_difference(&a[i], &b[i], channels);
            if (diff > d.largest) {
                d.largest = diff;
                d.largest_x = x;
                d.largest_y = y;
            }
            if (diff <= tolerance) continue;
            ++d.pixels;
            sum += diff;
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
        }
    if (d.pixels) {
        d.mean = sum / d.pixels;
        d.box_x = x0, d.box_y = y0, d.box_w = x1 - x0 + 1, d.box_h = y1 - y0 + 1;
    }
    return d;
}

std::vector<unsigned char> difference_picture(const std::vector<unsigned char> &picture,
                                              const std::vector<unsigned char> &ref, int w, int h, int tolerance,
                                              int &height)
{
    Difference d = compare_pixels(picture, ref, w, h, 3, tolerance);
    height = h + kLegendRows;
    std::vector<unsigned char> rgb((size_t)w * height * 3, 0);
    int low = tolerance + 1, span = d.largest - low;
    for (size_t p = 0; p < (size_t)w * h; ++p) {
        int diff = pixel_difference(&picture[p * 3], &ref[p * 3], 3);
        double heat[3];
        ramp_colour(kHeat, span > 0 ? kFirstHeat + (1.0 - kFirstHeat) * (diff - low) / span : 1.0, heat);
        for (int c = 0; c < 3; ++c)
            rgb[p * 3 + c] = (unsigned char)(diff > tolerance ? 255.0 * heat[c] + 0.5 : 0.35 * picture[p * 3 + c]);
    }
    std::string high = std::to_string(d.pixels ? d.largest : low);
    draw_legend(rgb, w, h, kHeat, span > 0 ? kFirstHeat : 1.0, std::to_string(low), "", high);
    return rgb;
}
