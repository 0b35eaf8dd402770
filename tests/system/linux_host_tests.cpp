// The Linux host in a real window under Xvfb, driven like a person would.
#include "x_session.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

class LinuxHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(xsession_start(x, error)) << error;
        char dir[] = "/tmp/intro-linux-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        work = dir;
        ASSERT_TRUE(host_start(host, x, {INTRO_LINUX_HOST}, work));
        window = xsession_find_window(x, "Intro", 30000);
        if (!window) window = xsession_find_window(x, "TIME:", 30000);
        ASSERT_NE(window, 0ul) << "no window appeared; stderr:\n" << read_text_file(host.err_path);
    }
    void TearDown() override
    {
        host_kill(host);
        xsession_stop(x);
    }
    StatusLine status() { return xsession_status(x, window); }
    bool wait_for_frame(int frame, int timeout_ms) { return ::wait_for_frame(x, window, frame, timeout_ms); }
    std::string out() { return read_text_file(host.out_path); }
    double clock_skew_at_next_frame()
    {
        double skew = 0;
        EXPECT_TRUE(::clock_skew_at_next_frame(x, window, 120000, &skew)) << "no picture presented";
        return skew;
    }

    XSession x;
    HostProcess host;
    std::string work;
    unsigned long window = 0;
};

TEST_F(LinuxHost, WindowTitleSeekCloseAndEscape)
{
    int w = 0, h = 0;
    ASSERT_TRUE(xsession_window_size(x, window, &w, &h));
    EXPECT_EQ(w, 1920);
    EXPECT_EQ(h, 1080);

    // The title becomes the status line and FRAME counts presented pictures.
    ASSERT_TRUE(wait_for_frame(1, 120000)) << xsession_window_title(x, window);
    StatusLine first = status();
    ASSERT_TRUE(wait_for_frame(first.frame + 1, 120000));
    EXPECT_GT(status().frame, first.frame);

    // The picture is the mean of the 128 samples: the test shader's blue is
    // sample/127, so its mean is one half; red and green follow the pixel.
    std::vector<uint8_t> rgb;
    int gw = 0, gh = 0;
    ASSERT_TRUE(xsession_grab(x, window, rgb, &gw, &gh));
    ASSERT_EQ(gw, 1920);
    for (auto [px, py] : {std::pair<int, int>{0, 0}, {960, 540}, {1919, 1079}, {300, 700}}) {
        const uint8_t *p = &rgb[((size_t)py * gw + px) * 3];
        EXPECT_NEAR(p[0], (px + 0.5) / 1920.0 * 255.0, 1.01) << px << "," << py;
        EXPECT_NEAR(p[1], (1079 - py + 0.5) / 1080.0 * 255.0, 1.01) << px << "," << py;
        EXPECT_NEAR(p[2], 127.5, 1.01) << px << "," << py;
    }

    double skew_before = clock_skew_at_next_frame();
    xsession_focus(x, window);
    // Arrow keys and the two characters seek by one second each.
    xsession_key(x, XK_Left);
    ASSERT_TRUE(wait_until([&] { return out().find("last offset 0\n") != std::string::npos; }, 10000))
        << out();
    xsession_key(x, XK_Left);
    ASSERT_TRUE(wait_until([&] { return out().find("last offset -88200\n") != std::string::npos; }, 10000));
    xsession_key(x, XK_Right);
    ASSERT_TRUE(wait_until([&] { return out().find("last offset -176400\n") != std::string::npos; }, 10000));
    xsession_type_char(x, '%');
    ASSERT_TRUE(wait_until([&] {
        std::string o = out();
        size_t a = o.find("last offset -176400\n");
        return a != std::string::npos && o.find("last offset -88200\n", a) != std::string::npos;
    }, 10000)) << out();
    xsession_type_char(x, '\'');
    ASSERT_TRUE(wait_until([&] {
        std::string o = out();
        return o.rfind("last offset -176400\n") > o.find("last offset -176400\n");
    }, 10000)) << out();

    // Net offset is now -1 s: the shown time falls back by a second.
    double skew_after = clock_skew_at_next_frame();
    EXPECT_NEAR(skew_after - skew_before, -1.0, 0.35);

    // The close button neither destroys the window nor ends the program.
    xsession_close_window(x, window);
    StatusLine at_close = status();
    ASSERT_TRUE(wait_for_frame(at_close.frame + 1, 120000)) << "the host stopped presenting after close";
    int code = -1;
    EXPECT_FALSE(host_wait_exit(host, 10, &code));

    // Escape ends it, with exit code 0, shutting down in order.
    xsession_focus(x, window);
    xsession_key(x, XK_Escape);
    ASSERT_TRUE(host_wait_exit(host, 30000, &code)) << "Escape did not end the program";
    EXPECT_EQ(code, 0);
    std::string o = out();
    size_t init = o.find("dbg_init done!\n");
    size_t deinit = o.find("dbg_deinit done!\n");
    ASSERT_NE(init, std::string::npos) << o;
    ASSERT_NE(deinit, std::string::npos) << o;
    EXPECT_LT(init, deinit);
    EXPECT_NE(o.find("Qelt v. 20250215"), std::string::npos);
    EXPECT_LT(o.find("Qelt v. 20250215"), init);
}

TEST_F(LinuxHost, EscapeIsIgnoredWhileAnotherWindowHasTheFocus)
{
    ASSERT_TRUE(wait_for_frame(1, 120000));
    unsigned long other = xsession_other_window(x);
    xsession_focus(x, other);
    xsession_key(x, XK_Escape);
    int code = -1;
    EXPECT_FALSE(host_wait_exit(host, 5000, &code)) << "Escape in another window ended the program";

    xsession_focus(x, window);
    xsession_key(x, XK_Escape);
    ASSERT_TRUE(host_wait_exit(host, 30000, &code));
    EXPECT_EQ(code, 0);
}

// scripts/run.sh on a machine with a display: --help at once, and options
// the window cannot take refused before the build.
TEST(RunScript, HelpComesAtOnceAndTheWindowRefusesOptions)
{
    XSession x;
    std::string error;
    ASSERT_TRUE(xsession_start(x, error)) << error;
    char dir[] = "/tmp/intro-run-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
    auto run = [&](const std::string &args) {
        std::string command = "DISPLAY=" + x.display_name + " timeout 120 bash '" INTRO_SOURCE_DIR "/scripts/run.sh' " + args +
                              " >" + out + " 2>" + err + " </dev/null";
        int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(run("--help"), 0);
    std::string said = read_text_file(out);
    EXPECT_EQ(said.rfind("usage: bash scripts/run.sh", 0), 0u) << said;
    EXPECT_EQ(said.find("run:"), std::string::npos) << said;
    EXPECT_EQ(read_text_file(err), "");

    EXPECT_EQ(run("--samples 4"), 2);
    EXPECT_NE(read_text_file(err).find("run: the window takes no options (given: --samples 4)"), std::string::npos)
        << read_text_file(err);
    EXPECT_EQ(read_text_file(out).find("Build"), std::string::npos) << "nothing built:\n" << read_text_file(out);
    xsession_stop(x);
    std::system(("rm -rf '" + std::string(dir) + "'").c_str());
}

} // namespace
