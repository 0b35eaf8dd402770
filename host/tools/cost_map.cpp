#include "tools/cost_map.h"

#include "core/gl_api.h"
#include "core/output_file.h"
#include "gl/gl_loader.h"
#include "gl/render_protocol_gl.h"
#include "render/picture_files.h"
#include "render/progress.h"
#include "tools/colour_ramp.h"
#include "tools/cost_measure.h"
#include "tools/legend.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum class TimerKind { cpu, query, wall };

// How one draw is timed. A software rasteriser draws on this process's own
// threads: their CPU time is the work whatever else the machine runs, and
// its timer queries span the waits of a busy machine too. A GPU's work is
// what its timer queries measure; without them, the clock around glFinish.
struct DrawTimer {
    TimerKind kind = TimerKind::wall;
    GLuint query = 0;
    PFNGLBEGINQUERYPROC begin_query = nullptr;
    PFNGLENDQUERYPROC end_query = nullptr;
    PFNGLGETQUERYOBJECTUI64VPROC query_result = nullptr;
};

bool software_renderer()
{
    const char *name = (const char *)glGetString(GL_RENDERER);
    return name && (std::strstr(name, "llvmpipe") || std::strstr(name, "softpipe"));
}

// INTRO_COST_TIMER=cpu, query or wall chooses the timer, to compare them on
// one driver.
DrawTimer draw_timer_make()
{
    DrawTimer t;
    const char *forced = std::getenv("INTRO_COST_TIMER");
    std::string chosen = forced ? forced : "";
    if (chosen == "cpu" || (chosen.empty() && software_renderer())) {
        t.kind = TimerKind::cpu;
        return t;
    }
    if (chosen == "wall") return t;
    auto gen_queries = gl_named<PFNGLGENQUERIESPROC>("glGenQueries");
    auto get_queryiv = gl_named<PFNGLGETQUERYIVPROC>("glGetQueryiv");
    t.begin_query = gl_named<PFNGLBEGINQUERYPROC>("glBeginQuery");
    t.end_query = gl_named<PFNGLENDQUERYPROC>("glEndQuery");
    t.query_result = gl_named<PFNGLGETQUERYOBJECTUI64VPROC>("glGetQueryObjectui64v");
    GLint bits = 0;
    if (gen_queries && get_queryiv && t.begin_query && t.end_query && t.query_result)
        get_queryiv(GL_TIME_ELAPSED, GL_QUERY_COUNTER_BITS, &bits);
    if (bits > 0) {
        gen_queries(1, &t.query);
        t.kind = TimerKind::query;
    }
    return t;
}

void draw_timer_destroy(DrawTimer &t)
{
    auto delete_queries = gl_named<PFNGLDELETEQUERIESPROC>("glDeleteQueries");
    if (t.query && delete_queries) delete_queries(1, &t.query);
    t.query = 0;
}

const char *timer_text(TimerKind kind)
{
    switch (kind) {
    case TimerKind::cpu: return "the process's CPU time around glFinish (a software rasteriser)";
    case TimerKind::query: return "GL timer queries";
    case TimerKind::wall: return "the clock around glFinish";
    }
    return "";
}

// One sample-pass draw limited to `box` (GL rows), in milliseconds. The
// pipeline is idle before and after, so nothing else is in the time.
double time_draw(const DrawTimer &t, const PassOps &ops, const Rect &box)
{
    if (t.kind == TimerKind::query) {
        t.begin_query(GL_TIME_ELAPSED, t.query);
        sample_draw(ops, {box});
        t.end_query(GL_TIME_ELAPSED);
        GLuint64 ns = 0;
        t.query_result(t.query, GL_QUERY_RESULT, &ns);
        return (double)ns / 1e6;
    }
    if (t.kind == TimerKind::cpu) {
        double start = cpu_seconds();
        sample_draw(ops, {box});
        glFinish();
        return (cpu_seconds() - start) * 1000.0;
    }
    Clock::time_point start = Clock::now();
    sample_draw(ops, {box});
    glFinish();
    return seconds_since(start) * 1000.0;
}

// The GL side of a PassTimer: the renderer's passes, timed by `timer`.
struct GlPassTimer {
    const DrawTimer *timer;
    PassOps ops;
    Rect gl_area;
    int samples;
    Clock::time_point start;
};

void gl_pass_begin(void *context, int sample)
{
    GlPassTimer &g = *(GlPassTimer *)context;
    sample_begin(g.ops, sample);
}

double gl_pass_time_draw(void *context, const Rect &box)
{
    GlPassTimer &g = *(GlPassTimer *)context;
    if (box.w <= 0 || box.h <= 0) return time_draw(*g.timer, g.ops, Rect{g.gl_area.x, g.gl_area.y, 0, 0});
    return time_draw(*g.timer, g.ops, crop_to_gl_rows(box, kPictureHeight));
}

void gl_pass_end(void *context, int sample)
{
    GlPassTimer &g = *(GlPassTimer *)context;
    sample_sum(g.ops, {g.gl_area});
    show_progress(sample + 1, g.samples, seconds_since(g.start));
}

// `samples` sample passes: each draws the crop once whole, then tile by
// tile, and adds its sample into the sums.
Measured measure(const Options &opt, Renderer &r, const DrawTimer &timer, int samples)
{
    Rect gl_area = gl_crop(opt);
    std::vector<Tile> tiles = make_tiles(opt.crop, opt.tile);
    GlPassTimer g{&timer, render_passes(r), gl_area, samples, {}};
    // The driver builds its variants of the program on the first draw.
    sample_begin(g.ops, 0);
    time_draw(timer, g.ops, Rect{gl_area.x, gl_area.y, std::min(gl_area.w, 8), std::min(gl_area.h, 8)});
    render_start(r, {gl_area});
    g.start = Clock::now();
    PassTimer pass_timer{&g, gl_pass_begin, gl_pass_time_draw, gl_pass_end};
    RawTimes raw = time_passes(opt.crop, tiles, samples, pass_timer);
    return measured_from(std::move(tiles), raw);
}

std::string format_ms(double ms)
{
    char text[32];
    std::snprintf(text, sizeof text, ms >= 100 ? "%.0f" : ms >= 10 ? "%.1f" : ms >= 1 ? "%.2f" : "%.3f", ms);
    return text;
}

// The tiles' times in colour over the picture, dimmed, with a colour bar from
// 0 to `top` ms under it; `picture` is the crop's, top row first.
std::vector<unsigned char> heat_map(const std::vector<unsigned char> &picture, const Rect &crop,
                                    const std::vector<Tile> &tiles, double top, int &height)
{
    height = crop.h + kLegendRows;
    std::vector<unsigned char> rgb((size_t)crop.w * height * 3, 0);
    for (const Tile &t : tiles) {
        double heat[3];
        ramp_colour(kHeat, top > 0 ? t.ms / top : 0.0, heat);
        for (int y = t.box.y - crop.y; y < t.box.y - crop.y + t.box.h; ++y)
            for (int x = t.box.x - crop.x; x < t.box.x - crop.x + t.box.w; ++x)
                for (int c = 0; c < 3; ++c) {
                    size_t i = ((size_t)y * crop.w + x) * 3 + c;
                    rgb[i] = (unsigned char)(0.4 * picture[i] + 0.6 * 255.0 * heat[c] + 0.5);
                }
    }
    std::string high = format_ms(top) + " ms";
    draw_legend(rgb, crop.w, crop.h, kHeat, 0.0, "0", format_ms(top / 2), high);
    return rgb;
}

void print_report(FILE *out, const Rect &crop, int tile, int samples, TimerKind kind, const Measured &m, double total)
{
    std::vector<const Tile *> ranked;
    std::vector<double> times;
    for (const Tile &t : m.tiles) {
        ranked.push_back(&t);
        times.push_back(t.ms);
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const Tile *a, const Tile *b) { return a->ms > b->ms; });
    std::fprintf(out, "cost map %dx%d at %d,%d: %d tiles of %dx%d, each the median of %d sample pass%s, timed by %s\n",
                crop.w, crop.h, crop.x, crop.y, (int)m.tiles.size(), tile, tile, samples, samples == 1 ? "" : "es",
                timer_text(kind));
    std::fprintf(out, "cost map overhead per draw: %.3f ms (median of %d empty draws), taken off every tile and the "
                "plain pass (with it the tiles add up to %.1f ms)\n", m.overhead_ms, m.overhead_draws,
                m.raw_total_ms);
    std::fprintf(out, "cost map total %.1f ms over the tiles; a plain sample pass of the region %.1f ms (ratio %.2f)\n",
                total, m.plain_ms, m.plain_ms > 0 ? total / m.plain_ms : 0.0);
    std::fprintf(out, "cost map median tile %.3f ms; colour bar 0 to %s ms\n", median(times),
                format_ms(ranked.empty() ? 0.0 : ranked[0]->ms).c_str());
    std::fprintf(out, "cost map costliest tiles (x,y from the picture's top-left):\n");
    for (size_t i = 0; i < ranked.size() && i < 10; ++i) {
        const Tile &t = *ranked[i];
        // Thousands of small tiles each hold a few hundredths of a percent.
        double share = total > 0 ? 100.0 * t.ms / total : 0.0;
        std::fprintf(out, "cost map %2d. %4d,%-4d %3dx%-3d %9.3f ms %6.*f%%\n", (int)i + 1, t.box.x, t.box.y, t.box.w,
                    t.box.h, t.ms, share < 1.0 ? 3 : 1, share);
    }
    std::fflush(out);
}

} // namespace

// An unknown INTRO_COST_TIMER is a typo the author must hear of, not a
// quiet fall back to the default timer.
bool timer_choice_known()
{
    const char *forced = std::getenv("INTRO_COST_TIMER");
    std::string chosen = forced ? forced : "";
    if (chosen.empty() || chosen == "cpu" || chosen == "query" || chosen == "wall") return true;
    std::fprintf(stderr, "intro-render: INTRO_COST_TIMER=\"%s\" is no timer: cpu, query or wall\n", chosen.c_str());
    return false;
}

// Times at or below the timer's step measure nothing: say so, since the map
// and the ratio would otherwise read as real.
void warn_unmeasured(const Measured &m, double top)
{
    if (top <= 0.0)
        std::fprintf(stderr, "intro-render: warning: every tile timed 0 ms: the timer cannot see these draws, so "
                             "the map shows nothing; try INTRO_COST_TIMER=cpu or wall, or more --samples\n");
    else if (m.plain_ms <= 0.0)
        std::fprintf(stderr, "intro-render: warning: the plain sample pass of the region timed 0 ms, so the tiles "
                             "cannot be checked against it\n");
}

int cost_map(const Options &opt, const RenderJob &job)
{
    Renderer &r = job.renderer;
    int samples = opt.samples;
    if (!timer_choice_known()) return 2;
    DrawTimer timer = draw_timer_make();
    Measured m = measure(opt, r, timer, samples);
    draw_timer_destroy(timer);

    const Rect &crop = opt.crop;
    double total = 0.0, top = 0.0;
    for (const Tile &t : m.tiles) {
        total += t.ms;
        top = std::max(top, t.ms);
    }
    // A picture on standard output, or a device or pipe, keeps the report out of its way.
    FILE *report = output_is_direct(opt.output.c_str()) ? stderr : stdout;
    print_report(report, crop, opt.tile, samples, timer.kind, m, total);
    // The tiles and the plain pass are timed alike, side by side: where they
    // disagree, the tiles' shares cannot be trusted.
    warn_unmeasured(m, top);
    if (m.plain_ms > 0 && (total > 1.25 * m.plain_ms || total < 0.75 * m.plain_ms))
        std::fprintf(stderr, "intro-render: warning: the tiles add up to %.0f%% of a plain pass of the region: a busy "
                             "machine, or tiles too cheap to time beside a draw's overhead or too small to keep "
                             "the device busy; try more --samples or larger tiles\n", 100.0 * total / m.plain_ms);

    Rect gl_area = gl_crop(opt);
    render_post(r, samples, gl_area);
    int height = 0;
    std::vector<unsigned char> rgb = heat_map(read_crop(r, gl_area), crop, m.tiles, top, height);
    std::string error;
    if (!write_picture(opt.output, opt.format, rgb, crop.w, height, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "intro-render: wrote %s (%dx%d: the heat map over %dx%d, and its colour bar)\n",
                 opt.output.c_str(), crop.w, height, crop.w, crop.h);
    return 0;
}
