// intro-render's command line: the options choose a mode (render_modes.h),
// then each mode's options are checked once, from its row.
#pragma once
#include "core/crop_geometry.h"
#include "core/render_protocol.h"

#include <cstdio>
#include <string>
#include <vector>

// The post pass's bloom reaches 227 px across and 128 up; aberration 8 px.
constexpr int kDefaultMargin = 240;

// --cost-map's tiles: small enough to find a hot spot, large enough that a
// draw's fixed cost stays a small share of its time.
constexpr int kDefaultTile = 16;

enum class PictureFormat { png, tga };

// The options, in the order of --help; an option's bit in Options::given is
// 1 << its id.
enum OptionId {
    o_output,
    o_samples,
    o_shader,
    o_crop,
    o_margin,
    o_progress_pictures,
    o_no_progress_pictures,
    o_part,
    o_sums,
    o_merge,
    o_benchmark,
    o_baseline,
    o_cost_map,
    o_tile,
    o_watch,
    o_eval,
    o_view,
    o_pixel,
    o_sample,
    o_range,
    o_compare,
    o_tolerance,
    o_help,
    option_count
};

static_assert(option_count <= 32, "an option's bit in Options::given");
constexpr unsigned option_bit(OptionId id) { return 1u << id; }

struct ModeRow;

// What the command line asks for. Where a mode has a default (samples,
// output) the field holds it once the mode is chosen.
struct Options {
    const ModeRow *mode = nullptr;
    unsigned given = 0;      // a bit per option on the command line
    std::string output;      // empty: the mode writes no picture
    PictureFormat format = PictureFormat::png;
    int samples = 0;
    std::string shader_path; // empty: the embedded shader
    Rect crop = {0, 0, kPictureWidth, kPictureHeight}; // y counts rows from the top
    int margin = kDefaultMargin;
    int progress_pictures = -1; // -1: on for full renders only
    std::string baseline_path; // --benchmark against this shader; empty: none
    int part = 0, parts = 1;    // the share of the samples this process renders
    std::string sums_path;      // non-empty: write the part's sums, not a picture
    std::vector<std::string> merge_paths; // --merge: these parts' sums into the picture
    std::vector<std::string> exprs;       // --eval's expressions, or --view's one
    int pixel_x = kPictureWidth / 2, pixel_y = kPictureHeight / 2; // --eval's, from the top-left
    int sample = 0;                       // the sample index --eval and --view run
    double range_low = 0.0, range_high = 1.0; // --view's values drawn over this range
    int tile = kDefaultTile;              // --cost-map's tile edge in pixels
    std::string compare_path;             // --compare's reference shader
    int tolerance = 0;                    // steps per channel that still count as the same
    bool after_crash = false; // started again after the driver's compiler crashed: --watch waits for a save
};

inline bool option_given(const Options &opt, OptionId id) { return (opt.given & option_bit(id)) != 0; }

// An option's long name ("samples"), and its value's ("N"; null for a switch).
const char *option_name(OptionId id);
const char *option_value_name(OptionId id);
// -o's name and the format it implies; 0, or 2 after refusing it.
int set_output(const char *name, Options &opt);
void print_usage(FILE *out);
// Returns 0 to go on, else the exit status (help: 0 after printing, with
// `done` set).
int parse_options(int argc, char **argv, Options &opt, bool &done);
// The crop in GL rows (from the bottom); the whole picture without one.
Rect gl_crop(const Options &opt);
