// The cost map's arithmetic: the crop's tiles, the passes' timing loop over
// a timer record, and what the raw times come to once a draw's own
// overhead is taken off.
#pragma once
#include "core/crop_geometry.h"

#include <vector>

struct Tile {
    Rect box;                   // from the picture's top-left, as --crop takes it
    std::vector<double> times;  // one per sample pass, less the draw's overhead
    double ms = 0.0;            // their median
};

// What the passes measured.
struct Measured {
    std::vector<Tile> tiles;
    double plain_ms = 0.0;    // one draw over the whole crop, less the overhead
    double overhead_ms = 0.0; // an empty draw: the fixed cost of a draw and glFinish
    int overhead_draws = 0;
    double raw_total_ms = 0.0; // the tiles' total with the overhead left in
};

// The times as the timer gave them, overhead and all.
struct RawTimes {
    std::vector<double> plain; // the whole crop, one per pass
    std::vector<double> empty; // every empty draw
    std::vector<std::vector<double>> tiles; // per tile, one per pass
};

// How a pass's draws are timed. Boxes are from the picture's top-left; an
// empty one (w or h 0) is the empty draw.
struct PassTimer {
    void *context = nullptr;
    void (*begin)(void *context, int sample) = nullptr;
    double (*time_draw)(void *context, const Rect &box) = nullptr; // milliseconds
    void (*end)(void *context, int sample) = nullptr;
};

double median(std::vector<double> values);
// The crop cut into tiles from its top-left corner; the last column and row
// take what is left.
std::vector<Tile> make_tiles(const Rect &crop, int size);
// `samples` passes: each times the crop once whole, then tile by tile, with
// an empty draw after each draw.
RawTimes time_passes(const Rect &crop, const std::vector<Tile> &tiles, int samples, const PassTimer &timer);
// The tiles' and the plain pass's times, each less the median empty draw.
Measured measured_from(std::vector<Tile> tiles, const RawTimes &raw);
