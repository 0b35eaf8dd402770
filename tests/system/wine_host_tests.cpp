// The Windows host (cheap shader) under Wine on Xvfb, driven like a person
// would. Wine's AllocConsole opens a console window of its own, so the log
// lines cannot be read here; the window title carries the checks instead.
#include "x_session.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>

#ifndef INTRO_WINDOWS_HOST
#define INTRO_WINDOWS_HOST ""
#endif

namespace {

bool program_in_path(const std::string &name)
{
    const char *path = getenv("PATH");
    std::stringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    return false;
}

// Cached next to the test binary, so only the first run pays for a new prefix.
std::string wine_prefix()
{
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    std::string dir = n > 0 ? std::string(exe, (size_t)n) : std::string("/tmp/x");
    return dir.substr(0, dir.rfind('/')) + "/wine-prefix";
}

std::vector<std::string> wine_env()
{
    return {
        "WINEPREFIX=" + wine_prefix(),
        "WINEDEBUG=-all",
        // No offer to install the .NET and HTML runtimes when the prefix is made.
        "WINEDLLOVERRIDES=mscoree,mshtml=",
    };
}

// Runs a Wine tool to its end; false if it did not finish in time.
bool run_wine_tool(const XSession &x, const std::vector<std::string> &argv, int timeout_ms)
{
    HostProcess tool;
    if (!host_start(tool, x, argv, "", wine_env())) return false;
    int code = -1;
    if (host_wait_exit(tool, timeout_ms, &code)) return true;
    host_kill(tool);
    return false;
}

bool prefix_ready = false;

class WineHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string exe = INTRO_WINDOWS_HOST;
        if (exe.empty()) GTEST_SKIP() << "INTRO_WINDOWS_HOST not configured (no cross-built intro-cheap.exe)";
        ASSERT_EQ(access(exe.c_str(), R_OK), 0) << "missing Windows host " << exe;
        ASSERT_TRUE(program_in_path("wine")) << "wine is not installed, but INTRO_WINDOWS_HOST is set";
        std::string error;
        ASSERT_TRUE(xsession_start(x, error)) << error;
        started_x = true;
        if (!prefix_ready) {
            // A new prefix takes about a minute to set up.
            ASSERT_TRUE(run_wine_tool(x, {"wineboot", "-i"}, 150000)) << "wineboot did not finish";
            prefix_ready = true;
        }
        char dir[] = "/tmp/intro-wine-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        tmp = dir;
        // The watched "../shader.glsl" is then tmp's own.
        run = tmp + "/run";
        ASSERT_EQ(mkdir(run.c_str(), 0755), 0);
        this->exe = exe;
    }
    void start_host() { ASSERT_TRUE(host_start(host, x, {"wine", exe}, run, wine_env())); }
    void TearDown() override
    {
        host_kill(host);
        // The prefix's server and desktop would otherwise outlive this display.
        if (started_x) run_wine_tool(x, {"wineserver", "-k"}, 30000);
        if (started_x) xsession_stop(x);
        if (!tmp.empty()) {
            EXPECT_EQ(system(("rm -rf '" + tmp + "'").c_str()), 0);
        }
    }
    StatusLine status() { return xsession_status(x, window); }
    bool wait_for_frame(int frame, int timeout_ms) { return ::wait_for_frame(x, window, frame, timeout_ms); }
    bool clock_skew_at_next_frame(double *skew) { return ::clock_skew_at_next_frame(x, window, 90000, skew); }

    XSession x;
    bool started_x = false;
    HostProcess host;
    unsigned long window = 0;
    std::string exe, tmp, run;
};

// A flat colour in the sample pass, the mean in the present pass.
std::string flat_shader(const char *colour)
{
    return std::string("#version 430\nuniform sampler2D m;\nlayout(location = 1) uniform ivec2 v;\nout vec4 f;\n"
                       "void main()\n{\n    f = vec4(0.0);\n    if (v.y == 1) f.rgb = vec3(") + colour + ");\n"
                       "    if (v.y == 2) f.rgb = texture(m, gl_FragCoord.xy / vec2(1920.0, 1080.0)).rgb;\n}\n";
}

void write_at(const std::string &path, const std::string &text, time_t mtime)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(WineHost, WindowTitleSeekCloseAndEscape)
{
    start_host();
    // The window first carries its own title, with a 1920x1080 client area.
    window = xsession_find_window(x, "Intro", 120000);
    ASSERT_NE(window, 0ul) << "no window titled Intro appeared";
    int w = 0, h = 0;
    ASSERT_TRUE(xsession_window_size(x, window, &w, &h));
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);

    // Then the status line, with FRAME counting presented pictures.
    ASSERT_TRUE(wait_for_frame(1, 90000)) << xsession_window_title(x, window);
    int first = status().frame;
    double skew_before = 0;
    ASSERT_TRUE(clock_skew_at_next_frame(&skew_before));
    EXPECT_GT(status().frame, first);

    // The picture is the mean of 128 samples: the cheap shader's blue channel
    // averages to one half, red and green follow the position.
    std::vector<uint8_t> rgb;
    int gw = 0, gh = 0;
    ASSERT_TRUE(xsession_grab(x, window, rgb, &gw, &gh));
    ASSERT_EQ(gw, 1920);
    ASSERT_EQ(gh, 1080);
    auto pixel = [&](int px, int py, int c) { return (int)rgb[((size_t)py * gw + px) * 3 + c]; };
    EXPECT_NEAR(pixel(960, 540, 0), 128, 4);
    EXPECT_NEAR(pixel(960, 540, 1), 128, 4);
    EXPECT_NEAR(pixel(960, 540, 2), 128, 4);
    EXPECT_NEAR(pixel(20, 20, 0), 3, 4);      // left
    EXPECT_NEAR(pixel(20, 20, 1), 250, 4);    // top: GL rows count upwards
    EXPECT_NEAR(pixel(1900, 1060, 0), 252, 4);
    EXPECT_NEAR(pixel(1900, 1060, 1), 5, 4);

    // Left arrow: the shown time falls back by one second. The key waits in
    // the queue until the drain after the next present, so allow two frames.
    xsession_focus(x, window);
    xsession_key(x, XK_Left);
    double delta = 0;
    for (int i = 0; i < 3; ++i) {
        double skew = 0;
        ASSERT_TRUE(clock_skew_at_next_frame(&skew)) << "the host stopped presenting after a seek";
        delta = skew - skew_before;
        if (std::fabs(delta + 1.0) < 0.35) break;
    }
    EXPECT_NEAR(delta, -1.0, 0.35) << "one Left arrow should move the time back by exactly one second";

    // The close button neither destroys the window nor ends the program.
    xsession_close_window(x, window);
    int at_close = status().frame;
    ASSERT_TRUE(wait_for_frame(at_close + 1, 90000)) << "the host stopped presenting after close";
    int code = -1;
    EXPECT_FALSE(host_wait_exit(host, 10, &code)) << "closing ended the program";

    // Escape ends it with exit code 0.
    xsession_focus(x, window);
    xsession_key(x, XK_Escape);
    ASSERT_TRUE(host_wait_exit(host, 60000, &code)) << "Escape did not end the program";
    EXPECT_EQ(code, 0);
}

} // namespace

namespace {

TEST_F(WineHost, SavesWithinOneSecondAreBuiltAndF12LeavesOnlyItsPicture)
{
    const std::string watched = tmp + "/shader.glsl";
    write_at(watched, flat_shader("0.25, 0.75, 0.5"), time(nullptr) - 1000);
    start_host();
    window = xsession_find_window(x, "Intro", 120000);
    ASSERT_NE(window, 0ul);
    ASSERT_TRUE(wait_for_frame(1, 90000));
    auto shows = [&](int r, int g, int b) {
        return wait_until([&] {
            std::vector<uint8_t> rgb;
            int w = 0, h = 0;
            if (!xsession_grab(x, window, rgb, &w, &h) || w != 1920) return false;
            const uint8_t *c = &rgb[((size_t)540 * w + 960) * 3];
            return std::abs(c[0] - r) <= 2 && std::abs(c[1] - g) <= 2 && std::abs(c[2] - b) <= 2;
        }, 90000, 500);
    };
    // Two saves of the same size at the same time, ahead of the clock (far
    // enough for a slow first picture, so both fall within one tick).
    const time_t t = time(nullptr) + 600;
    write_at(watched, flat_shader("0.75, 0.25, 0.5"), t);
    ASSERT_TRUE(shows(191, 64, 128)) << "the first save was not built";
    write_at(watched, flat_shader("0.25, 0.50, 1.0"), t);
    ASSERT_TRUE(shows(64, 128, 255)) << "the second save in the same second was not built";

    xsession_focus(x, window);
    xsession_key(x, XK_F12);
    const std::string grab = run + "/intro_0001.tga";
    ASSERT_TRUE(wait_until([&] { return read_text_file(grab).size() == 18u + 1920u * 1080u * 3u; }, 90000));
    FILE *ls = popen(("ls -A '" + run + "'").c_str(), "r");
    char line[256] = {};
    std::string names;
    while (ls && fgets(line, sizeof line, ls)) names += line;
    if (ls) pclose(ls);
    EXPECT_EQ(names, "intro_0001.tga\n");
}

} // namespace
