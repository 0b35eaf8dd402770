#include "tools/compare.h"

#include "core/crop_geometry.h"
#include "core/driver_log.h"
#include "core/gl_api.h"
#include "core/shader_file.h"
#include "gl/gl_loader.h"
#include "render/compiler_guard.h"
#include "render/offscreen_renderer.h"
#include "render/picture_files.h"
#include "render/progress.h"
#include "render/render_watch.h"
#include "tools/compare_diff.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// REF's renderer and what it drew. Under --watch its passes are kept, so a
// save costs the shader's passes alone.
struct Reference {
    ExactSums sums;
    Renderer renderer;
    bool keep = false;
    std::vector<std::vector<unsigned char>> passes; // each pass's sample, once complete
    std::vector<unsigned char> picture;
};

// What one comparison found.
struct Verdict {
    Difference picture;
    int first_pass = -1;    // the first sample pass that differs; -1: none
    int pass_largest = 0;   // the largest difference in any pass's sample
    std::vector<unsigned char> mine; // the shader's finished picture
};

// The 8-bit sample of the last pass over the sampled regions, as read back.
std::vector<unsigned char> read_sample(Renderer &r)
{
    std::vector<unsigned char> all;
    for (const Rect &region : r.accumulator.sums->sums.header.regions) {
        std::vector<unsigned char> rgb = read_crop(r, region);
        all.insert(all.end(), rgb.begin(), rgb.end());
    }
    return all;
}

bool load_reference(const Options &opt, Reference &ref, std::string &error)
{
    std::string text;
    if (!read_shader_file(opt.compare_path.c_str(), text, error)) {
        error = "cannot read the reference shader \"" + opt.compare_path + "\": " + error;
        return false;
    }
    std::string log;
    unsigned program = guarded_build(text.c_str(), log);
    if (!program) {
        error = "the reference shader does not build:\n" + located_log(log, LogFile{opt.compare_path, &text});
        return false;
    }
    gl_ext.DeleteProgram(renderer_swap_program(ref.renderer, program));
    ref.passes.clear();
    ref.picture.clear();
    return true;
}

// The shader's passes, each compared with REF's: drawn in turns, or kept from
// before. False where a stop was asked for meanwhile (under --watch).
bool render_compared(const Options &opt, Renderer &shader, Reference &ref, Verdict &v, bool show)
{
    Rect crop = gl_crop(opt);
    std::vector<Rect> regions = sample_regions(crop, opt.margin, kPictureWidth, kPictureHeight);
    bool drawn = !ref.picture.empty();
    render_start(shader, regions);
    if (!drawn) render_start(ref.renderer, regions);
    std::vector<std::vector<unsigned char>> passes;
    Clock::time_point start = Clock::now();
    for (int s = 0; s < opt.samples; ++s) {
        if (watch_stop_requested()) return false;
        std::vector<unsigned char> theirs;
        if (!drawn) {
            render_sample(ref.renderer, s);
            theirs = read_sample(ref.renderer);
        }
        render_sample(shader, s);
        std::vector<unsigned char> mine = read_sample(shader);
        const std::vector<unsigned char> &against = drawn ? ref.passes[s] : theirs;
        Difference d = compare_pixels(mine, against, (int)(mine.size() / 3), 1, 3, opt.tolerance);
        v.pass_largest = std::max(v.pass_largest, d.largest);
        if (d.pixels && v.first_pass < 0) v.first_pass = s;
        if (!drawn && ref.keep) passes.push_back(std::move(theirs));
        if (show) show_progress(s + 1, opt.samples, seconds_since(start));
    }
    if (!drawn) {
        render_post(ref.renderer, opt.samples, crop);
        ref.picture = read_crop(ref.renderer, crop);
        ref.passes = std::move(passes);
    }
    render_post(shader, opt.samples, crop);
    v.mine = read_crop(shader, crop);
    v.picture = compare_pixels(v.mine, ref.picture, crop.w, crop.h, 3, opt.tolerance);
    return true;
}

bool same(const Verdict &v) { return v.picture.pixels == 0 && v.first_pass < 0; }

std::string format(const char *form, double a, double b = 0, double c = 0, double d = 0)
{
    char text[160];
    std::snprintf(text, sizeof text, form, a, b, c, d);
    return text;
}

// What was compared: "256x256 at 832,412, 1 sample pass".
std::string compared(const Options &opt)
{
    return format("%.0fx%.0f at %.0f,%.0f", opt.crop.w, opt.crop.h, opt.crop.x, opt.crop.y) +
           format(opt.samples == 1 ? ", %.0f sample pass" : ", %.0f sample passes", opt.samples) +
           (opt.tolerance ? format(", within %.0f step", opt.tolerance) + (opt.tolerance == 1 ? "" : "s") : "");
}

// The report's facts, one per line (`separator` "\n"), or on one line ("; ").
std::string describe(const Options &opt, const Verdict &v, const char *separator)
{
    if (same(v)) {
        std::string text = "same picture (" + compared(opt) + ")";
        if (v.picture.largest) text += separator + format("largest difference %.0f steps", v.picture.largest);
        return text;
    }
    const Difference &d = v.picture;
    std::string text = "different (" + compared(opt) + ")" + separator;
    if (!d.pixels) {
        text += format("the finished pictures are the same, but sample pass %.0f differs by up to %.0f steps",
                       v.first_pass, v.pass_largest);
        return text;
    }
    int x = opt.crop.x + d.largest_x, y = opt.crop.y + d.largest_y;
    text += format("%.0f of %.0f pixels differ (%.3f%%)", d.pixels, d.total, 100.0 * d.pixels / d.total) + separator;
    text += format("largest difference %.0f steps at %.0f,%.0f", d.largest, x, y) + separator;
    text += format("mean difference %.2f steps", d.mean) + separator;
    text += format("every difference inside %.0f,%.0f,%.0f,%.0f", opt.crop.x + d.box_x, opt.crop.y + d.box_y,
                   d.box_w, d.box_h) + separator;
    text += v.first_pass >= 0 ? format("first sample pass that differs: %.0f", v.first_pass)
                              : std::string("every sample pass the same");
    return text;
}

bool write_difference(const Options &opt, const Verdict &v, const Reference &ref, std::string &error)
{
    if (opt.output.empty()) return true;
    int height = 0;
    std::vector<unsigned char> rgb = difference_picture(v.mine, ref.picture, opt.crop.w, opt.crop.h, opt.tolerance,
                                                        height);
    return write_picture(opt.output, opt.format, rgb, opt.crop.w, height, error);
}

} // namespace

int compare_shaders(const Options &opt, const RenderJob &job)
{
    Reference ref;
    Verdict v;
    std::string error;
    int status = 2;
    bool ready = renderer_init(ref.renderer, ref.sums, error) && load_reference(opt, ref, error);
    if (ready) render_compared(opt, job.renderer, ref, v, true);
    if (!ready || !write_difference(opt, v, ref, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
    } else {
        std::printf("%s\n", describe(opt, v, "\n").c_str());
        status = same(v) ? 0 : 1;
    }
    renderer_destroy(ref.renderer);
    return status;
}

namespace {

// The watch's two files and what has built of them.
struct CompareWatch {
    const Options &opt;
    Renderer &shader;
    Reference &ref;
    FileWatch shader_watch, ref_watch;
    bool shader_ready = false, ref_ready = false;
};

// Builds what was saved; a file that does not build is said and waited out.
void reload(CompareWatch &w, bool shader_saved, bool ref_saved, bool first)
{
    std::string error;
    if (ref_saved) {
        if (!first) std::fprintf(stderr, "intro-render: %s saved, rebuilding\n", w.opt.compare_path.c_str());
        w.ref_ready = load_reference(w.opt, w.ref, error);
        if (!w.ref_ready)
            std::fprintf(stderr, "intro-render: %s\nintro-render: waiting for the next save\n", error.c_str());
    }
    if (shader_saved) {
        if (!first) std::fprintf(stderr, "intro-render: %s saved, rebuilding\n", w.opt.shader_path.c_str());
        w.shader_ready = renderer_load_shader(w.shader, w.opt.shader_path, error);
        if (!w.shader_ready)
            std::fprintf(stderr, "intro-render: %s\nintro-render: waiting for the next save\n", error.c_str());
    }
}

// One line on standard output per comparison, the difference picture
// written again where -o names one.
void compare_once(CompareWatch &w, Clock::time_point saved_at, const char *since)
{
    Verdict v;
    if (!render_compared(w.opt, w.shader, w.ref, v, false)) return;
    std::string error;
    if (!write_difference(w.opt, v, w.ref, error)) std::fprintf(stderr, "intro-render: %s\n", error.c_str());
    std::printf("%s\n", describe(w.opt, v, "; ").c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "intro-render: compared, %.2f s since %s\n", seconds_since(saved_at), since);
}

} // namespace

int compare_watch(const Options &opt, const RenderJob &job)
{
    Reference ref;
    ref.keep = true;
    std::string error;
    if (!renderer_init(ref.renderer, ref.sums, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 2;
    }
    CompareWatch w{opt, job.renderer, ref, {}, {}};
    watch_stop_install();
    std::fprintf(stderr, "intro-render: watching %s and %s, comparing them on every save; Ctrl-C ends\n",
                 opt.shader_path.c_str(), opt.compare_path.c_str());
    // Recorded before reading, so a save during the read counts.
    watch_saved(w.shader_watch, opt.shader_path.c_str());
    watch_saved(w.ref_watch, opt.compare_path.c_str());
    bool first = !opt.after_crash, fresh = first;
    if (!fresh) std::fprintf(stderr, "intro-render: started again after the crash; waiting for the next save\n");
    Clock::time_point saved_at = Clock::now();
    for (bool shader_saved = fresh, ref_saved = fresh; !watch_stop_requested();) {
        if (shader_saved || ref_saved) {
            reload(w, shader_saved, ref_saved, first);
            if (w.shader_ready && w.ref_ready) compare_once(w, saved_at, first ? "start" : "the save");
            first = false;
        } else {
            watch_idle();
        }
        shader_saved = watch_saved(w.shader_watch, opt.shader_path.c_str());
        ref_saved = watch_saved(w.ref_watch, opt.compare_path.c_str());
        // After a crash neither is built yet: the first save builds both.
        if ((shader_saved || ref_saved) && !(w.shader_ready || w.ref_ready)) shader_saved = ref_saved = true;
        if (shader_saved || ref_saved) saved_at = Clock::now();
    }
    std::fprintf(stderr, "intro-render: stopped\n");
    renderer_destroy(ref.renderer);
    return 0;
}
