#include "tools/view_picture.h"

#include "tools/colour_ramp.h"

#include <cmath>

namespace {

void put_colour(unsigned char *out, unsigned char r, unsigned char g, unsigned char b)
{
    out[0] = r;
    out[1] = g;
    out[2] = b;
}

unsigned char channel(double t)
{
    return (unsigned char)std::lround(255.0 * std::fmin(std::fmax(t, 0.0), 1.0));
}

// Where v lies from lo (0) to hi (1), also for a range wider than the
// largest double, whose halves still fit.
double fraction(double v, double lo, double hi)
{
    double width = hi - lo;
    if (std::isfinite(width)) return (v - lo) / width;
    return (0.5 * v - 0.5 * lo) / (0.5 * hi - 0.5 * lo);
}

void scalar_colour(double v, double lo, double hi, ViewCounts &counts, unsigned char *out)
{
    // Black below the range, white above, both kept out of the map.
    bool low_side = v < lo, high_side = v > hi;
    if (std::isinf(v)) ++counts.infinite;
    else if (low_side) ++counts.below;
    else if (high_side) ++counts.above;
    if (low_side || high_side) {
        unsigned char level = high_side ? 255 : 0;
        put_colour(out, level, level, level);
        return;
    }
    double rgb[3];
    ramp_colour(kViridis, hi > lo ? fraction(v, lo, hi) : 0.5, rgb);
    for (int c = 0; c < 3; ++c) out[c] = (unsigned char)std::lround(rgb[c]);
}

// The least and greatest finite value of each component.
void value_bounds(const std::vector<uint32_t> &words, int stride, const ValueType &type, double *low, double *high)
{
    for (int c = 0; c < type.rows; ++c) {
        low[c] = INFINITY;
        high[c] = -INFINITY;
    }
    for (size_t at = 0; at < words.size(); at += stride)
        for (int c = 0; words[at] && c < type.rows; ++c) {
            double v = scalar_value(type.kind, words[at + 1 + c]);
            if (std::isfinite(v)) {
                low[c] = std::fmin(low[c], v);
                high[c] = std::fmax(high[c], v);
            }
        }
}

std::string count_text(long count, const std::string &what)
{
    return count ? ", " + std::to_string(count) + " " + what : "";
}

std::string view_line(const ValueType &type, const double *low, const double *high, const ViewRange &range,
                      const ViewCounts &n)
{
    std::string mins[4], maxes[4];
    for (int c = 0; c < type.rows; ++c) {
        mins[c] = number_text(low[c], type.kind);
        maxes[c] = number_text(high[c], type.kind);
    }
    const char *prefix = vector_prefix(type.kind);
    std::string line = low[0] <= high[0] ? "min " + vector_text(prefix, type.rows, mins) + " max " +
                                               vector_text(prefix, type.rows, maxes)
                                         : std::string("no finite value");
    std::string bounds = range.given ? number_text(range.low, ScalarKind::float_kind) + ".." +
                                           number_text(range.high, ScalarKind::float_kind)
                                     : "";
    return line + count_text(n.nan, "NaN") + count_text(n.infinite, "infinite") + count_text(n.below, "below " + bounds) +
           count_text(n.above, "above " + bounds) + count_text(n.outside, "outside " + bounds) +
           count_text(n.missing, "discarded");
}

} // namespace

void view_colour(const ValueType &type, const uint32_t *record, const ViewRange &range, ViewCounts &counts,
                 unsigned char rgb[3])
{
    const int n = type.rows;
    double v[4] = {0.0, 0.0, 0.0, 0.0};
    bool has_nan = false, has_inf = false, out_of_range = false;
    for (int c = 0; record[0] && c < n; ++c) {
        v[c] = scalar_value(type.kind, record[1 + c]);
        has_nan |= std::isnan(v[c]);
        has_inf |= std::isinf(v[c]);
        out_of_range |= range.given && (v[c] < range.low || v[c] > range.high);
    }
    // Magenta: the colour no value gets.
    if (!record[0] || has_nan || (has_inf && n > 1)) {
        ++(!record[0] ? counts.missing : has_nan ? counts.nan : counts.infinite);
        put_colour(rgb, 255, 0, 255);
    } else if (n == 1) {
        scalar_colour(v[0], range.low, range.high, counts, rgb);
    } else if (out_of_range) {
        ++counts.outside;
        put_colour(rgb, 255, 0, 255);
    } else {
        // A vec2 is red and green; a vec4's alpha is left out.
        for (int c = 0; c < 3; ++c)
            rgb[c] = c < n ? channel(range.given ? fraction(v[c], range.low, range.high) : v[c]) : 0;
    }
}

bool view_picture(const std::vector<uint32_t> &words, const InspectLayout &layout, const ViewRange &range,
                  std::vector<unsigned char> &rgb, std::string &line)
{
    const int w = layout.region.w, h = layout.region.h, stride = layout.stride;
    const ValueType *type = nullptr;
    for (size_t at = 0; !type && at < words.size(); at += stride) type = value_type(words[at]);
    if (!type) {
        line = "no fragment stored a value: the shader discarded them all";
        return false;
    }
    if (type->columns > 1) {
        line = std::string("its type is ") + type->name + "; --view draws a scalar or a vector";
        return false;
    }
    double low[4], high[4];
    value_bounds(words, stride, *type, low, high);
    ViewRange drawn = range;
    if (!range.given) {
        drawn.low = low[0];
        drawn.high = high[0];
    }
    ViewCounts counts;
    rgb.assign((size_t)w * h * 3, 0);
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < w; ++col)
            view_colour(*type, &words[((size_t)(h - 1 - row) * w + col) * stride], drawn, counts,
                        &rgb[((size_t)row * w + col) * 3]);
    line = view_line(*type, low, high, range, counts);
    return true;
}
