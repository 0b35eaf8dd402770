#include "render/render_watch.h"

#include "core/file_watch.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_between(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

volatile sig_atomic_t stop_requested = 0;

void request_stop(int)
{
    stop_requested = 1;
}

} // namespace

// The signals only set a flag, seen between sample passes, so a picture
// being written is always completed and renamed into place. SA_RESTART keeps
// that write from failing with EINTR; the idle sleep still wakes.
void watch_stop_install()
{
    stop_requested = 0;
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = request_stop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    // SIGHUP: the terminal it was started from went away.
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

// True for every completed save after the version last acted upon, with the
// hosts' change detection (an older copy put in place is one too). Only the
// file's status is read here, never a FIFO or device.
bool watch_saved(FileWatch &watch, const char *path)
{
    FileStamp stamp;
    if (file_stamp(path, stamp) != 0) return false;
    FileChange change = file_watch_update(watch, path, stamp, (int64_t)time(nullptr));
    return change == FileChange::saved || change == FileChange::first_seen;
}

void watch_idle()
{
    struct timespec pause = {0, 100 * 1000 * 1000};
    nanosleep(&pause, nullptr);
}

bool watch_stop_requested() { return stop_requested != 0; }

namespace {

struct WatchState {
    bool rendering = false; // a good program is drawing and samples remain
    int done = 0;           // samples summed since the last restart
    Clock::time_point saved_at;
    Clock::time_point last_picture;
    bool first_load = true;
    bool wrote = false;          // a picture was written in this run
    const char *since = "start"; // what saved_at marks
};

void load(const WatchRenderer &r, const WatchSettings &s, WatchState &state)
{
    std::string error;
    Clock::time_point now = Clock::now();
    state.saved_at = now;
    state.last_picture = now;
    if (!state.first_load) {
        std::fprintf(stderr, "intro-render: %s saved, rebuilding\n", s.shader_path.c_str());
        state.since = "the save";
    }
    state.first_load = false;
    if (!r.load(r.context, error)) {
        // The picture on disk stays the last good one; rendering waits.
        std::fprintf(stderr, "intro-render: %s\nintro-render: %s; waiting for the next save\n", error.c_str(),
                     state.wrote ? "the picture stays as it was" : "no picture yet");
        state.rendering = false;
        return;
    }
    r.clear(r.context);
    state.done = 0;
    state.rendering = true;
}

} // namespace

bool watch_writes_after(int done, int total)
{
    return done == total || (done & (done - 1)) == 0;
}

int watch_run(const WatchRenderer &r, const WatchSettings &s)
{
    watch_stop_install();
    const char *path = s.shader_path.c_str();
    if (s.samples == 1)
        std::fprintf(stderr, "intro-render: watching %s, writing %s on every save; Ctrl-C ends\n", path,
                     s.output.c_str());
    else
        std::fprintf(stderr, "intro-render: watching %s, writing %s after 1, 2, 4, ... samples up to %d; Ctrl-C ends\n",
                     path, s.output.c_str(), s.samples);
    WatchState state;
    FileWatch watch;
    watch_saved(watch, path); // recorded before reading, so a save during the read counts
    if (s.after_crash) {
        std::fprintf(stderr, "intro-render: started again after the crash; waiting for the next save\n");
        state.first_load = false;
    } else {
        load(r, s, state);
    }
    while (!stop_requested) {
        if (watch_saved(watch, path)) {
            load(r, s, state);
            continue;
        }
        if (!state.rendering) {
            watch_idle();
            continue;
        }
        r.sample(r.context, state.done);
        ++state.done;
        // A save during the pass restarts at once, before any picture of the old program.
        if (stop_requested || watch_saved(watch, path)) {
            if (!stop_requested) load(r, s, state);
            continue;
        }
        if (!watch_writes_after(state.done, s.samples)) continue;
        std::string error;
        if (r.write(r.context, state.done, error)) {
            Clock::time_point now = Clock::now();
            if (s.view)
                std::fprintf(stderr, "intro-render: view drawn, %.2f s since %s\n", seconds_between(state.saved_at, now),
                             state.since);
            else
                std::fprintf(stderr, "intro-render: %d sample%s, %.2f s for this picture, %.2f s since %s\n",
                             state.done, state.done == 1 ? "" : "s", seconds_between(state.last_picture, now),
                             seconds_between(state.saved_at, now), state.since);
            state.last_picture = now;
            state.wrote = true;
        } else {
            // A full disk may clear again: a preview goes on and writes the next picture.
            std::fprintf(stderr, "intro-render: %s\nintro-render: the picture on disk stays as it was until the "
                                 "next one is written\n", error.c_str());
        }
        if (state.done == s.samples) {
            std::fprintf(stderr, "intro-render: done; waiting for the next save\n");
            state.rendering = false;
        }
    }
    std::fprintf(stderr, "intro-render: stopped\n");
    return 0;
}
