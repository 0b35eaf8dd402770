#include "render/render_modes.h"

#include "core/output_file.h"
#include "render/render_picture.h"
#include "render/split_parts.h"
#include "tools/benchmark.h"
#include "tools/compare.h"
#include "tools/cost_map.h"
#include "tools/inspect.h"

#include <algorithm>

namespace {

std::string picture_rule(const Options &opt)
{
    // A device, FIFO or standard output takes one picture: no progress ones.
    if (opt.progress_pictures > 0 && output_is_direct(opt.output.c_str()))
        return "progress pictures need an output file, not \"" + opt.output + "\"";
    return "";
}

std::string part_rule(const Options &opt)
{
    if (option_given(opt, o_part) && opt.sums_path.empty()) return "--part needs --sums FILE";
    if (opt.parts > opt.samples)
        return std::to_string(opt.parts) + " parts of " + std::to_string(opt.samples) +
               (opt.samples == 1 ? " sample" : " samples") + ": a part needs one sample at least";
    return "";
}

std::string view_rule(const Options &opt)
{
    if (opt.exprs.size() > 1) return "--view draws one expression";
    if (!option_given(opt, o_output)) return "--view needs -o FILE for its picture";
    return "";
}

std::string merge_rule(const Options &opt)
{
    if (opt.merge_paths.empty()) return "--merge needs the sums files of the parts";
    return "";
}

constexpr unsigned bit(OptionId id) { return option_bit(id); }
constexpr unsigned geometry = bit(o_samples) | bit(o_crop) | bit(o_margin);
constexpr unsigned progress = bit(o_progress_pictures) | bit(o_no_progress_pictures);

} // namespace

// Options a mode would not use are refused, not ignored.
const ModeRow mode_rows[] = {
    {bit(o_part) | bit(o_sums), bit(o_shader) | geometry, kSampleBudget, nullptr, part_rule, render_picture, nullptr,
     false, nullptr},
    {bit(o_merge), bit(o_output) | bit(o_shader) | geometry, kSampleBudget, "intro.png", merge_rule, merge_picture,
     nullptr, false, load_parts},
    {bit(o_benchmark), bit(o_shader) | bit(o_samples) | bit(o_crop) | bit(o_baseline), 3, nullptr, nullptr, benchmark,
     nullptr, false, nullptr},
    // It times the crop's tiles alone: no margin.
    {bit(o_cost_map), bit(o_output) | bit(o_shader) | bit(o_samples) | bit(o_crop) | bit(o_tile), 3, "cost-map.png",
     nullptr, cost_map, nullptr, false, nullptr},
    {bit(o_eval), bit(o_shader) | bit(o_pixel) | bit(o_sample), 0, nullptr, nullptr, inspect_eval, nullptr, true,
     nullptr},
    {bit(o_view), bit(o_output) | bit(o_shader) | bit(o_crop) | bit(o_sample) | bit(o_range), 0, nullptr, view_rule,
     inspect_view, inspect_view_watch, true, nullptr, 1, true},
    // 0 the same, 1 different, 2 trouble: scripts rest on it.
    {bit(o_compare), bit(o_output) | bit(o_shader) | geometry | bit(o_tolerance), 1, nullptr, nullptr, compare_shaders,
     compare_watch, false, nullptr, 2, true},
    {0, bit(o_output) | bit(o_shader) | geometry | progress, kSampleBudget, "intro.png", picture_rule, render_picture,
     watch_picture, false, nullptr},
};

const int mode_count = sizeof mode_rows / sizeof mode_rows[0];

bool quick_build_wanted(const Options &opt)
{
    if (!option_given(opt, o_watch) || !opt.mode->answers_per_save) return false;
    double pixels = 0;
    int margin = mode_takes(*opt.mode) & option_bit(o_margin) ? opt.margin : 0; // a view draws its crop alone
    for (const Rect &r : sample_regions(gl_crop(opt), margin, kPictureWidth, kPictureHeight))
        pixels += (double)r.w * r.h;
    // Where LLVM's optimisation stops paying for itself on llvmpipe (docs/performance.md).
    return pixels * std::max(opt.samples, 1) <= kQuickBuildPixels;
}

unsigned mode_takes(const ModeRow &row) { return row.takes | (row.run_watched ? bit(o_watch) : 0u); }

namespace {

// A live picture: rebuilt from the file on every save, written again and again.
std::string watch_rule(const Options &opt)
{
    if (opt.shader_path.empty()) return "--watch needs --shader FILE: the embedded shader cannot change";
    if (opt.progress_pictures > 0) return "--watch writes no progress pictures";
    if (output_is_direct(opt.output.c_str()))
        return "--watch writes its picture again and again: it needs an output file";
    return "";
}

// The first option of `options`, in the order of the rows; -1 for none.
int first_of(unsigned options)
{
    for (int id = 0; id < option_count; ++id)
        if (options & option_bit((OptionId)id)) return id;
    return -1;
}

// An option no mode chosen takes: the modes that do take it.
std::string modes_taking(int option)
{
    std::string modes;
    for (int m = 0; m < mode_count; ++m)
        if ((mode_takes(mode_rows[m]) & option_bit((OptionId)option)) && mode_rows[m].chosen_by)
            modes += (modes.empty() ? "--" : " or --") + std::string(option_name((OptionId)first_of(mode_rows[m].chosen_by)));
    return modes;
}

} // namespace

std::string choose_mode(Options &opt, const std::string *spelled)
{
    unsigned choosers = 0;
    for (int m = mode_count - 1; m >= 0; --m) {
        if (!mode_rows[m].chosen_by || (mode_rows[m].chosen_by & opt.given)) opt.mode = &mode_rows[m];
        choosers |= mode_rows[m].chosen_by;
    }
    const ModeRow &mode = *opt.mode;
    int chooser = first_of(mode.chosen_by & opt.given);
    // Another mode's option first: that clash is the one to name.
    unsigned refused = opt.given & ~(mode.chosen_by | mode_takes(mode));
    int id = first_of(refused & choosers) >= 0 ? first_of(refused & choosers) : first_of(refused);
    if (id >= 0 && chooser >= 0) return spelled[id] + " and " + spelled[chooser] + " do not go together";
    if (id >= 0) {
        const char *value = option_value_name((OptionId)id);
        return spelled[id] + (value ? std::string(" ") + value : "") + " goes with " + modes_taking(id);
    }
    return "";
}

std::string check_mode(Options &opt)
{
    const ModeRow &mode = *opt.mode;
    if (!option_given(opt, o_samples)) opt.samples = mode.samples;
    if (!option_given(opt, o_output) && mode.output) set_output(mode.output, opt);
    if (std::string refusal = mode.rule ? mode.rule(opt) : ""; !refusal.empty()) return refusal;
    if (option_given(opt, o_watch)) return watch_rule(opt);
    return "";
}
