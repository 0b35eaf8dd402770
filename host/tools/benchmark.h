// intro-render --benchmark: times of the sample and post passes, and what
// they come to for a whole picture.
#pragma once
#include "render/offscreen_renderer.h"
#include "render/render_modes.h"

#include <string>

struct PassTimes {
    double sample_ms = 0.0;   // one sample pass
    double sample_cpu_ms = 0.0; // the process's CPU time for it (all driver threads)
    double post_ms = 0.0;     // the post pass
    double picture_s = 0.0;   // 128 sample passes and the post pass
};

// Times `samples` sample passes and one post pass over `crop` (no margin),
// after a small warm-up.
PassTimes time_region(Renderer &r, const Rect &crop, int samples);
// One "benchmark ..." line on stdout.
void print_times(const char *label, const Rect &crop, int samples, const PassTimes &t);
// Both, for one region.
void benchmark_region(Renderer &r, const char *label, const Rect &crop, int samples);
// The whole picture and a crop (the car's nose unless --crop gives one); with
// a baseline's source, each against the baseline in turns, and their ratio.
int benchmark(const Options &opt, const RenderJob &job);
