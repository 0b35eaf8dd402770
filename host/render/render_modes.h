// intro-render's modes, one row each: the options that choose it and the
// ones it takes, its defaults, and what runs it.
#pragma once
#include "render/render_options.h"

#include <cstdint>
#include <string>

struct Renderer;
struct ExactSums;

// What a mode's runner works with, set up by main.
struct RenderJob {
    Renderer &renderer;         // its program built from the shader, unless the mode builds its own
    ExactSums &sums;
    const std::string &source;  // the shader's text
    uint64_t shader_hash;
    unsigned baseline;          // --baseline's program, or 0
};

using ModeRun = int (*)(const Options &opt, const RenderJob &job); // the exit status
using ModeRule = std::string (*)(const Options &opt);              // the refusal, or empty

struct ModeRow {
    unsigned chosen_by;  // any of these options chooses it; none: the mode when no other is chosen
    unsigned takes;      // the other options it takes (--watch: see run_watched)
    int samples;         // --samples when not given; 0: it takes none
    const char *output;  // -o when not given; null: none
    ModeRule rule;       // its own checks once all options are known, or null
    ModeRun run;
    ModeRun run_watched; // under --watch; null: it takes no --watch
    bool own_program;    // its runner builds the shader itself (around its expressions)
    // Before the renderer starts (a merge reads its parts); null: nothing.
    bool (*prepare)(Options &opt, uint64_t shader_hash, ExactSums &sums, std::string &error);
    int trouble = 1;     // the exit status of a run that could not be done (--compare: 2, as cmp)
    // Under --watch each save is answered by a few passes, so a quicker build
    // answers sooner (quick_build_wanted).
    bool answers_per_save = false;
};

// Sample passes times their pixels up to which a save is answered sooner by
// a build without LLVM's optimisation passes: a 512x512 pass, or four of 256x256.
constexpr double kQuickBuildPixels = 512.0 * 512.0;

// The first row whose chooser is given runs; the last chooses itself.
extern const ModeRow mode_rows[];
extern const int mode_count;

// The options a mode takes, --watch with them where it has a watched runner.
unsigned mode_takes(const ModeRow &row);

// Chooses the mode, the first whose options are given; then the first
// refusal of an option it does not take, or empty. `spelled` holds each
// given option as the command line wrote it.
std::string choose_mode(Options &opt, const std::string *spelled);
// The mode's defaults where its options were not given; then its checks'
// refusal, or empty.
std::string check_mode(Options &opt);
// Whether this run's builds skip LLVM's optimisation (llvmpipe's
// GALLIVM_PERF=nopt): a watch answered by few passes over a small region.
bool quick_build_wanted(const Options &opt);
