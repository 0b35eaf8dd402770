// intro-render: renders the finished picture without a display, through a
// surfaceless EGL context, with the same render protocol as the windowed
// hosts: samples into an 8-bit target, summed exactly, their mean quantised
// to 8 bits in texture object 1, then the post pass. A render can also be
// split into parts that write their sums, merged into the same picture, and
// the shader's expressions inspected (--eval, --view).
#include "core/crop_geometry.h"
#include "core/driver_log.h"
#include "core/shader_file.h"
#include "core/std_descriptors.h"
#include "gl/gl_loader.h"
#include "gl/shader_program.h"
#include "tools/benchmark.h"
#include "tools/cost_map.h"
#include "render/compiler_guard.h"
#include "render/egl_context.h"
#include "tools/inspect.h"
#include "render/offscreen_renderer.h"
#include "render/picture_files.h"
#include "render/progress.h"
#include "render/render_options.h"
#include "render/render_watch.h"
#include "render/split_parts.h"

#include <cstdio>
#include <string>
#include <vector>

extern const char intro_shader_text[];
extern const char intro_shader_path[];

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

// The picture, or with --sums one share of its samples as a sums file.
int render(const Options &opt, Renderer &r, const ExactSums &sums, uint64_t shader_hash)
{
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
    std::string source;
    const char *path = t.opt->shader_path.c_str();
    if (!read_shader_file(path, source, error)) {
        error = "cannot read shader \"" + t.opt->shader_path + "\": " + error;
        return false;
    }
    return renderer_set_shader(*t.renderer, source, t.opt->shader_path, error);
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

int watch(const Options &opt, Renderer &r)
{
    WatchTarget target{&r, &opt, gl_crop(opt), {}};
    target.regions = sample_regions(target.crop, opt.margin, kPictureWidth, kPictureHeight);
    WatchRenderer renderer{&target, watch_load, watch_clear, watch_sample, watch_write};
    return watch_run(renderer, WatchSettings{opt.shader_path, opt.output, opt.samples});
}

// The picture from the parts' sums, merged into the renderer's sums already.
int merge(const Options &opt, Renderer &r)
{
    Rect crop = gl_crop(opt);
    if (!write_result(r, opt.samples, crop, opt.output, opt.format)) return 1;
    int parts = (int)opt.merge_paths.size();
    std::fprintf(stderr, "intro-render: wrote %s (%dx%d, %d sample%s from %d part%s)\n", opt.output.c_str(), crop.w,
                 crop.h, opt.samples, opt.samples == 1 ? "" : "s", parts, parts == 1 ? "" : "s");
    return 0;
}

// A shader file named on the command line, if one is; false after saying why
// it cannot be read.
bool read_shader_option(const std::string &path, std::string &text)
{
    std::string error;
    if (path.empty() || read_shader_file(path.c_str(), text, error)) return true;
    std::fprintf(stderr, "intro-render: cannot read shader \"%s\": %s\n", path.c_str(), error.c_str());
    return false;
}

// The file the shader's messages name: the embedded one by its source.
std::string shader_name(const Options &opt)
{
    return opt.shader_path.empty() ? intro_shader_path : opt.shader_path;
}

// Whether the --baseline file builds: an empty text would otherwise read as
// no baseline at all.
// The benchmark's baseline, built before the first sample; the caller
// deletes it.
bool build_baseline(const std::string &path, const std::string &text, unsigned &program, std::string &error)
{
    std::string log;
    program = guarded_build(text.c_str(), log);
    if (!program) error = "the baseline \"" + path + "\" does not build:\n" + located_log(log, LogFile{path, &text});
    return program != 0;
}

int render_main(int argc, char **argv)
{
    unsigned closed = std_descriptors_guard();
    Options opt;
    bool done = false;
    int status = parse_options(argc, argv, opt, done);
    if (status || done) return status;

    std::string error;
    std::string source = intro_shader_text, baseline;
    if (!read_shader_option(opt.shader_path, source) || !read_shader_option(opt.baseline_path, baseline)) return 1;
    uint64_t shader_hash = fnv1a64(source);
    ExactSums sums;
    if (opt.mode == RenderMode::merge && !load_parts(opt, shader_hash, sums, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 1;
    }
    bool writes = opt.mode != RenderMode::benchmark && opt.mode != RenderMode::eval;
    if (writes && !check_writable(opt, (closed & kStdoutClosed) != 0, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 1;
    }
    EglContext context;
    if (!egl_context_create(context, error)) {
        std::fprintf(stderr, "intro-render: no OpenGL context: %s\n", error.c_str());
        return 1;
    }
    gl_loader_load(egl_proc_address);
    Renderer renderer;
    unsigned baseline_program = 0;
    // Whatever its text, a shader is used only once it has built. The watch
    // loop builds the file itself, and waits out a broken one; --eval and
    // --view build it around their expressions.
    bool own_program = opt.watch || opt.mode == RenderMode::eval || opt.mode == RenderMode::view;
    if (!gl_loader_ready(error) || !renderer_init(renderer, sums, error) ||
        (!own_program && !renderer_set_shader(renderer, source, shader_name(opt), error)) ||
        (!opt.baseline_path.empty() && !build_baseline(opt.baseline_path, baseline, baseline_program, error))) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        egl_context_destroy(context);
        return 1;
    }
    switch (opt.mode) {
    case RenderMode::picture:
        status = opt.watch ? watch(opt, renderer) : render(opt, renderer, sums, shader_hash);
        break;
    case RenderMode::part: status = render(opt, renderer, sums, shader_hash); break;
    case RenderMode::merge: status = merge(opt, renderer); break;
    case RenderMode::benchmark: status = benchmark(opt, renderer, baseline_program); break;
    case RenderMode::cost_map: status = cost_map(opt, renderer); break;
    case RenderMode::eval: status = inspect_eval(opt, renderer, source); break;
    case RenderMode::view:
        status = opt.watch ? inspect_view_watch(opt, renderer) : inspect_view(opt, renderer, source);
        break;
    }
    if (baseline_program) gl_ext.DeleteProgram(baseline_program);
    renderer_destroy(renderer);
    egl_context_destroy(context);
    return status;
}

} // namespace

int main(int argc, char **argv)
{
    return run_with_compiler_guard(render_main, argc, argv);
}
