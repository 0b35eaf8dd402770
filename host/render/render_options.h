// intro-render's command line: the options choose a mode, then each mode's
// options are checked once, from one table.
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

// What a run does. --watch is no mode: it makes a picture live.
enum class RenderMode { picture, part, merge, benchmark, cost_map, eval, view };

struct Options {
    RenderMode mode = RenderMode::picture;
    unsigned given = 0;      // a bit per option on the command line, by its row
    std::string output = "intro.png";
    PictureFormat format = PictureFormat::png;
    int samples = kSampleBudget;
    bool samples_given = false;
    std::string shader_path; // empty: the embedded shader
    bool crop_given = false;
    Rect crop;               // as given: y counts rows from the top
    int margin = kDefaultMargin;
    bool margin_given = false;
    int progress_pictures = -1; // -1: on for full renders only
    std::string baseline_path; // --benchmark against this shader; empty: none
    bool watch = false;
    bool output_given = false;
    int part = 0, parts = 1;    // the share of the samples this process renders
    bool part_given = false;
    std::string sums_path;      // non-empty: write the part's sums, not a picture
    std::vector<std::string> merge_paths; // --merge: these parts' sums into the picture
    std::vector<std::string> exprs;       // --eval's expressions, or --view's one
    int pixel_x = kPictureWidth / 2, pixel_y = kPictureHeight / 2; // --eval's, from the top-left
    int sample = 0;                       // the sample index --eval and --view run
    bool range_given = false;
    double range_low = 0.0, range_high = 1.0; // --view's values drawn over this range
    int tile = kDefaultTile;              // --cost-map's tile edge in pixels
};

void print_usage(FILE *out);
// Returns 0 to go on, else the exit status (help: 0 after printing, with
// `done` set).
int parse_options(int argc, char **argv, Options &opt, bool &done);
// The crop in GL rows (from the bottom); the whole picture without one.
Rect gl_crop(const Options &opt);
