#include "render/render_picture.h"

#include "core/crop_geometry.h"
#include "render/offscreen_renderer.h"
#include "render/picture_files.h"
#include "render/progress.h"
#include "render/render_watch.h"
#include "render/split_parts.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Writes the post pass over `crop` after `count` samples to `path`.
bool write_result(Renderer &r, int count, const Rect &crop, const std::string &path, PictureFormat format)
{
    std::string error;
    render_post(r, count, crop);
    if (!write_picture(path, format, read_crop(r, crop), crop.w, crop.h, error)) {
        std::fprintf(stderr, "\nintro-render: %s\n", error.c_str());
        return false;
    }
    return true;
}

// A failed render keeps the progress pictures it wrote, valid pictures of
// fewer samples, perhaps minutes of work; it names them, since the names
// it did not reach still hold whatever was there before. Returns 1.
int failed_after(const std::vector<std::string> &written)
{
    if (written.empty()) return 1;
    std::string names;
    for (const std::string &name : written) names += (names.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "intro-render: this run's progress pictures stay: %s\n", names.c_str());
    return 1;
}

} // namespace

// The picture, or with --sums one share of its samples as a sums file.
int render_picture(const Options &opt, const RenderJob &job)
{
    Renderer &r = job.renderer;
    const ExactSums &sums = job.sums;
    uint64_t shader_hash = job.shader_hash;
    Rect crop = gl_crop(opt);
    render_start(r, sample_regions(crop, opt.margin, kPictureWidth, kPictureHeight), part_header(opt, shader_hash));
    bool part = !opt.sums_path.empty();
    int first = 0, count = 0;
    share_range(opt.samples, opt.part, opt.parts, first, count);
    Clock::time_point start = Clock::now();
    std::vector<std::string> written; // this run's progress pictures
    for (int s = 0; s < count; ++s) {
        render_sample(r, first + s);
        int done = s + 1;
        if (!part && opt.progress_pictures && done < count && is_progress_count(done)) {
            std::string name = tagged_path(opt.output, done);
            if (!write_result(r, done, crop, name, opt.format)) return failed_after(written);
            written.push_back(name);
        }
        show_progress(done, count, seconds_since(start));
    }
    std::string error;
    if (part && !write_part(opt, sums, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 1;
    }
    if (part) {
        std::fprintf(stderr, "intro-render: wrote %s (part %d/%d: samples %d to %d of %d)\n", opt.sums_path.c_str(),
                     opt.part, opt.parts, first, first + count - 1, opt.samples);
        return 0;
    }
    if (!write_result(r, opt.samples, crop, opt.output, opt.format)) return failed_after(written);
    std::fprintf(stderr, "intro-render: wrote %s (%dx%d, %d sample%s)\n", opt.output.c_str(), crop.w, crop.h,
                 opt.samples, opt.samples == 1 ? "" : "s");
    return 0;
}

namespace {

// The watch loop's hold on the renderer.
struct WatchTarget {
    Renderer *renderer;
    const Options *opt;
    Rect crop;
    std::vector<Rect> regions;
};

bool watch_load(void *context, std::string &error)
{
    WatchTarget &t = *(WatchTarget *)context;
    return renderer_load_shader(*t.renderer, t.opt->shader_path, error);
}

void watch_clear(void *context)
{
    WatchTarget &t = *(WatchTarget *)context;
    render_start(*t.renderer, t.regions);
}

void watch_sample(void *context, int index)
{
    WatchTarget &t = *(WatchTarget *)context;
    render_sample(*t.renderer, index);
}

bool watch_write(void *context, int count, std::string &error)
{
    WatchTarget &t = *(WatchTarget *)context;
    render_post(*t.renderer, count, t.crop);
    return write_picture(t.opt->output, t.opt->format, read_crop(*t.renderer, t.crop), t.crop.w, t.crop.h, error);
}

} // namespace

int watch_picture(const Options &opt, const RenderJob &job)
{
    WatchTarget target{&job.renderer, &opt, gl_crop(opt), {}};
    target.regions = sample_regions(target.crop, opt.margin, kPictureWidth, kPictureHeight);
    WatchRenderer renderer{&target, watch_load, watch_clear, watch_sample, watch_write};
    return watch_run(renderer, WatchSettings{opt.shader_path, opt.output, opt.samples, false, opt.after_crash});
}

// The picture from the parts' sums, merged into the renderer's sums already.
int merge_picture(const Options &opt, const RenderJob &job)
{
    Renderer &r = job.renderer;
    Rect crop = gl_crop(opt);
    if (!write_result(r, opt.samples, crop, opt.output, opt.format)) return 1;
    int parts = (int)opt.merge_paths.size();
    std::fprintf(stderr, "intro-render: wrote %s (%dx%d, %d sample%s from %d part%s)\n", opt.output.c_str(), crop.w,
                 crop.h, opt.samples, opt.samples == 1 ? "" : "s", parts, parts == 1 ? "" : "s");
    return 0;
}
