// The colour scale under a tool's picture (the cost map's, the difference
// picture's): a bar of the palette and its numbers, in a small font of its own.
#pragma once
#include "tools/colour_ramp.h"

#include <string>
#include <vector>

// The rows the legend takes under the picture.
extern const int kLegendRows;

// Draws into rgb (`width` wide, top row first), from row `top` down: the
// palette (one in 0..1, as kHeat) from `from` at the left to 1 at the right, `low` under its
// left end, `high` under its right, `mid` under its middle where it fits.
// Numbers, '.', ' ', 'm' and 's' are drawn; other characters are left out.
void draw_legend(std::vector<unsigned char> &rgb, int width, int top, const Palette &palette, double from,
                 const std::string &low, const std::string &mid, const std::string &high);
