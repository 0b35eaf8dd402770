// Colour ramps: a palette is a table of colours at even steps, and a value
// from 0 to 1 is drawn between its two nearest stops. Shared by the view,
// the cost map and the difference picture, so one fix serves all three.
#pragma once

struct Palette {
    const double (*stops)[3]; // in the palette's own unit (0..255 or 0..1)
    int count;                // 2 or more
};

// The view's colour map (viridis), in 0..255; its lightness rises.
extern const Palette kViridis;
// The cost map's heat, black through purple, red and yellow to white, in 0..1.
extern const Palette kHeat;

// The colour at t (clamped to 0..1; NaN as 0), linear between the stops.
void ramp_colour(const Palette &palette, double t, double rgb[3]);
