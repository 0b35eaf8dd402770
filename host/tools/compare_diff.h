// Two renderings of one region compared pixel by pixel, and the picture of
// where they differ.
#pragma once
#include <vector>

// How far apart two renderings are. A pixel differs where any channel is
// more than the tolerance apart; its difference is its largest channel's.
struct Difference {
    long pixels = 0;           // the pixels that differ
    long total = 0;            // the pixels compared
    int largest = 0;           // the largest difference, within the tolerance too
    int largest_x = 0, largest_y = 0; // its first pixel, from the top-left
    double mean = 0.0;         // the mean difference of the pixels that differ
    int box_x = 0, box_y = 0, box_w = 0, box_h = 0; // holds every pixel that differs
};

// a and b: w x h pixels of `channels` bytes each, top row first.
Difference compare_pixels(const std::vector<unsigned char> &a, const std::vector<unsigned char> &b, int w, int h,
                          int channels, int tolerance);

// The region (RGB, w x h) dimmed, each pixel that differs from `ref` by more
// than the tolerance in the heat colour of its difference, and the legend
// from tolerance + 1 steps to the largest under it; `height` gets the
// picture's height, the legend's rows included.
std::vector<unsigned char> difference_picture(const std::vector<unsigned char> &picture,
                                              const std::vector<unsigned char> &ref, int w, int h, int tolerance,
                                              int &height);
