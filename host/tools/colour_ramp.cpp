#include "tools/colour_ramp.h"

#include <algorithm>
#include <cmath>

namespace {

// Viridis at nine even steps.
const double viridis_stops[][3] = {{68, 1, 84},    {71, 45, 123},  {59, 82, 139},
                                   {44, 114, 142}, {33, 144, 140}, {39, 173, 129},
                                   {93, 200, 99},  {170, 220, 50}, {253, 231, 37}};
const double heat_stops[][3] = {{0, 0, 0}, {0.45, 0.05, 0.55}, {0.9, 0.15, 0.1}, {1, 0.8, 0}, {1, 1, 1}};

} // namespace

const Palette kViridis = {viridis_stops, sizeof viridis_stops / sizeof viridis_stops[0]};
const Palette kHeat = {heat_stops, sizeof heat_stops / sizeof heat_stops[0]};

void ramp_colour(const Palette &palette, double t, double rgb[3])
{
    // fmax takes NaN to 0. The form a + f (b - a) keeps a stop's own colour exact.
    double at = std::fmin(std::fmax(t, 0.0), 1.0) * (palette.count - 1);
    int i = std::min((int)at, palette.count - 2);
    double f = at - i;
    const double *a = palette.stops[i], *b = palette.stops[i + 1];
    for (int c = 0; c < 3; ++c) rgb[c] = a[c] + f * (b[c] - a[c]);
}
