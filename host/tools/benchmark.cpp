#include "tools/benchmark.h"

#include "render/progress.h"

#include <cstdio>

PassTimes time_region(Renderer &r, const Rect &crop, int samples)
{
    std::vector<Rect> regions = {crop};
    Rect warm = {crop.x, crop.y, crop.w < 8 ? crop.w : 8, crop.h < 8 ? crop.h : 8};
    render_start(r, {warm});
    render_sample(r, 0); // the driver compiles its variants here
    render_post(r, 1, warm);
    render_start(r, regions);
    PassTimes t;
    double cpu_start = cpu_seconds();
    Clock::time_point start = Clock::now();
    for (int s = 0; s < samples; ++s) render_sample(r, s);
    t.sample_ms = seconds_since(start) * 1000.0 / samples;
    t.sample_cpu_ms = (cpu_seconds() - cpu_start) * 1000.0 / samples;
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

namespace {

// The car's nose and texts, the most expensive part of the picture, unless
// --crop gives another region.
Rect benchmark_crop(const Options &opt)
{
    Options fixed = opt;
    if (!option_given(opt, o_crop)) fixed.crop = Rect{832, 412, 256, 256};
    return gl_crop(fixed);
}

// Both programs in turns, twice each (A B A B), so that a busy machine
// weighs on both alike; then the ratio of the sums.
void compare_region(Renderer &r, unsigned baseline, const char *label, const Rect &crop, int samples)
{
    PassTimes sum[2];
    for (int round = 0; round < 2; ++round) {
        for (int which = 0; which < 2; ++which) {
            // The baseline lent for its own turn only: the renderer keeps the shader.
            unsigned shader = which ? renderer_swap_program(r, baseline) : 0;
            PassTimes t = time_region(r, crop, samples);
            if (which) renderer_swap_program(r, shader);
            print_times((std::string(label) + (which ? " baseline" : "")).c_str(), crop, samples, t);
            sum[which].sample_ms += t.sample_ms;
            sum[which].sample_cpu_ms += t.sample_cpu_ms;
        }
    }
    std::printf("benchmark ratio %-5s shader / baseline per sample pass: %.3f (wall), %.3f (CPU)\n", label,
                sum[0].sample_ms / sum[1].sample_ms, sum[0].sample_cpu_ms / sum[1].sample_cpu_ms);
    std::fflush(stdout);
}

} // namespace

int benchmark(const Options &opt, const RenderJob &job)
{
    Renderer &r = job.renderer;
    unsigned baseline = job.baseline;
    int samples = opt.samples;
    const Rect full = {0, 0, kPictureWidth, kPictureHeight};
    if (!baseline) {
        benchmark_region(r, "full", full, samples);
        benchmark_region(r, "crop", benchmark_crop(opt), samples);
        return 0;
    }
    compare_region(r, baseline, "full", full, samples);
    compare_region(r, baseline, "crop", benchmark_crop(opt), samples);
    return 0;
}
