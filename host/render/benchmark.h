// intro-render --benchmark: times of the sample and post passes, and what
// they come to for a whole picture.
#pragma once
#include "render/offscreen_renderer.h"
#include "render/render_options.h"

// Times `samples` sample passes and one post pass over `crop` (no margin),
// and prints them with the extrapolation to a whole picture.
void benchmark_region(Renderer &r, const char *label, const Rect &crop, int samples);
// The whole picture and a crop (the car's nose unless --crop gives one).
int benchmark(const Options &opt, Renderer &r);
