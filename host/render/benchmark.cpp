#include "render/benchmark.h"

#include "render/progress.h"

#include <cstdio>

PassTimes time_region(Renderer &r, const Rect &crop, int samples)
{
    std::vector<Rect> regions = {crop};
    Rect warm = {crop.x, crop.y, crop.w < 8 ? crop.w : 8, crop.h < 8 ? crop.h : 8};
    render_start({warm});
    render_sample(r, 0); // the driver compiles its variants here
    render_post(r, 1, warm);
    render_start(regions);
    PassTimes t;
    Clock::time_point start = Clock::now();
    for (int s = 0; s < samples; ++s) render_sample(r, s);
    t.sample_ms = seconds_since(start) * 1000.0 / samples;
    start = Clock::now();
    render_post(r, samples, crop);
    t.post_ms = seconds_since(start) * 1000.0;
    t.picture_s = (t.sample_ms * kSampleBudget + t.post_ms) / 1000.0;
    return t;
}

void print_times(const char *label, const Rect &crop, int samples, const PassTimes &t)
{
    std::printf("benchmark %-5s %4dx%-4d at %4d,%-4d: %10.1f ms per sample pass, %8.1f ms post pass, "
                "%8.1f s per picture (%d samples + post; %d measured)\n",
                label, crop.w, crop.h, crop.x, kPictureHeight - crop.y - crop.h, t.sample_ms, t.post_ms,
                t.picture_s, kSampleBudget, samples);
    std::fflush(stdout);
}

void benchmark_region(Renderer &r, const char *label, const Rect &crop, int samples)
{
    print_times(label, crop, samples, time_region(r, crop, samples));
}

int benchmark(const Options &opt, Renderer &r)
{
    int samples = opt.samples_given ? opt.samples : 3;
    // The car's nose and texts: the most expensive part of the picture.
    Options fixed = opt;
    if (!fixed.crop_given) {
        fixed.crop_given = true;
        fixed.crop = Rect{832, 412, 256, 256};
    }
    benchmark_region(r, "full", Rect{0, 0, kPictureWidth, kPictureHeight}, samples);
    benchmark_region(r, "crop", gl_crop(fixed), samples);
    return 0;
}
