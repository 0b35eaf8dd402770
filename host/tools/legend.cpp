#include "tools/legend.h"

#include <cstring>

namespace {

// A 3x5 font for the colour bar's numbers (bit 4 is a 5-wide glyph's left
// column, bit 2 a 3-wide one's).
struct Glyph {
    char c;
    int width;
    unsigned char rows[5];
};
const Glyph kFont[] = {
    {'0', 3, {7, 5, 5, 5, 7}}, {'1', 3, {2, 6, 2, 2, 7}}, {'2', 3, {7, 1, 7, 4, 7}}, {'3', 3, {7, 1, 7, 1, 7}},
    {'4', 3, {5, 5, 7, 1, 1}}, {'5', 3, {7, 4, 7, 1, 7}}, {'6', 3, {7, 4, 7, 5, 7}}, {'7', 3, {7, 1, 1, 1, 1}},
    {'8', 3, {7, 5, 7, 5, 7}}, {'9', 3, {7, 5, 7, 1, 7}}, {'.', 1, {0, 0, 0, 0, 1}}, {' ', 1, {0, 0, 0, 0, 0}},
    {'m', 5, {0, 26, 21, 21, 21}}, {'s', 3, {0, 3, 4, 1, 6}},
};
constexpr int kFontScale = 2;

const Glyph *glyph(char c)
{
    for (const Glyph &g : kFont)
        if (g.c == c) return &g;
    return nullptr;
}

int text_width(const std::string &text)
{
    int w = 0;
    for (char c : text)
        if (const Glyph *g = glyph(c)) w += (g->width + 1) * kFontScale;
    return w > 0 ? w - kFontScale : 0;
}

// Writes `text` in white with its top-left corner at x, y; what falls
// outside the picture is left out.
void draw_text(std::vector<unsigned char> &rgb, int width, int height, int x, int y, const std::string &text)
{
    for (char c : text) {
        const Glyph *g = glyph(c);
        if (!g) continue;
        for (int row = 0; row < 5 * kFontScale; ++row)
            for (int col = 0; col < g->width * kFontScale; ++col) {
                int px = x + col, py = y + row;
                if (!(g->rows[row / kFontScale] >> (g->width - 1 - col / kFontScale) & 1)) continue;
                if (px < 0 || px >= width || py < 0 || py >= height) continue;
                std::memset(&rgb[((size_t)py * width + px) * 3], 255, 3);
            }
        x += (g->width + 1) * kFontScale;
    }
}

constexpr int kBarGap = 4, kBarHeight = 12;

} // namespace

const int kLegendRows = kBarGap + kBarHeight + kBarGap + 5 * kFontScale + kBarGap;

void draw_legend(std::vector<unsigned char> &rgb, int width, int top, const Palette &palette, double from,
                 const std::string &low, const std::string &mid, const std::string &high)
{
    int height = top + kLegendRows;
    for (int x = 0; x < width; ++x) {
        double colour[3];
        ramp_colour(palette, from + (1.0 - from) * (width > 1 ? (double)x / (width - 1) : 1.0), colour);
        for (int y = top + kBarGap; y < top + kBarGap + kBarHeight; ++y)
            for (int c = 0; c < 3; ++c) rgb[((size_t)y * width + x) * 3 + c] = (unsigned char)(255.0 * colour[c] + 0.5);
    }
    int text_y = top + 2 * kBarGap + kBarHeight;
    draw_text(rgb, width, height, 0, text_y, low);
    draw_text(rgb, width, height, width - text_width(high), text_y, high);
    if (!mid.empty() && width >= 2 * text_width(high) + 2 * text_width(mid))
        draw_text(rgb, width, height, (width - text_width(mid)) / 2, text_y, mid);
}
