// intro-render --watch: a live preview for the shader's author. Renders
// progressively, writes the picture after 1, 2, 4, ... samples, and starts
// over from one sample on every completed save of the shader file.
#pragma once
#include "core/file_watch.h"

#include <string>

// What the loop needs of the renderer; `context` is passed back to each.
struct WatchRenderer {
    void *context = nullptr;
    // Reads and builds the shader file; on success its program draws from
    // the next sample on. On failure the old program stays and `error` holds
    // the reason or the driver's log.
    bool (*load)(void *context, std::string &error) = nullptr;
    // Drops the samples summed so far.
    void (*clear)(void *context) = nullptr;
    // One sample pass with this sample index.
    void (*sample)(void *context, int index) = nullptr;
    // The mean of `count` samples post-processed and written to the picture.
    bool (*write)(void *context, int count, std::string &error) = nullptr;
};

struct WatchSettings {
    std::string shader_path;
    std::string output;
    int samples = 128;
    bool view = false; // each write is a --view of one pass, no sum of samples
    bool after_crash = false; // the last build crashed: nothing is built before the next save
};

// Runs until SIGINT, SIGTERM or SIGHUP, then returns 0; a picture being
// written is finished first, so no temporary file stays. A picture that
// cannot be written is reported and the loop goes on with the next one.
int watch_run(const WatchRenderer &renderer, const WatchSettings &settings);

// Whether the picture is written after `done` of `total` samples.
bool watch_writes_after(int done, int total);

// The pieces of the loop, for the other watching mode (--compare's).
// SIGINT, SIGTERM and SIGHUP from now on only set the flag that
// watch_stop_requested reads.
void watch_stop_install();
bool watch_stop_requested();
// True for a completed save of `path` after the version last recorded in
// `watch`, or for its first sight.
bool watch_saved(FileWatch &watch, const char *path);
// The pause between looks at an idle file.
void watch_idle();
