// Live editing with the Linux host in a real window: the watched file one
// level above the working directory, the mouse uniform, the F12 grab.
#include "x_session.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <dirent.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <regex>

// Xlib last: its macros clash with GoogleTest's names.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

// Sample pass paints a flat colour; present pass shows the mean.
const char *const flat_shader =
    "#version 430\n"
    "uniform sampler2D m;\n"
    "layout(location = 1) uniform ivec2 v;\n"
    "out vec4 f;\n"
    "void main()\n"
    "{\n"
    "    vec2 uv = gl_FragCoord.xy / vec2(1920.0, 1080.0);\n"
    "    f = vec4(0.0);\n"
    "    if (v.y == 1) f.rgb = vec3(0.25, 0.75, 0.5);\n"
    "    if (v.y == 2) f.rgb = texture(m, uv).rgb;\n"
    "}\n";

// Paints the mouse uniform, with a gradient strip along the top edge that
// shows the picture's orientation.
const char *const mouse_shader =
    "#version 430\n"
    "uniform sampler2D m;\n"
    "layout(location = 1) uniform ivec2 v;\n"
    "uniform vec3 i;\n"
    "out vec4 f;\n"
    "void main()\n"
    "{\n"
    "    vec2 uv = gl_FragCoord.xy / vec2(1920.0, 1080.0);\n"
    "    f = vec4(0.0);\n"
    "    if (v.y == 1) f.rgb = uv.y > 0.9 ? vec3(uv, 0.0) : i;\n"
    "    if (v.y == 2) f.rgb = texture(m, uv).rgb;\n"
    "}\n";

// The flat shader in another colour, the same number of bytes.
std::string flat_shader_in(const char *colour)
{
    std::string text = flat_shader;
    return text.replace(text.find("0.25, 0.75, 0.5"), 15, colour);
}

const char *const broken_shader =
    "#version 430\n"
    "out vec4 f;\n"
    "void main() { f = vec4(undeclared_thing); }\n";

bool exists(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

void set_mtime(const std::string &path, time_t t)
{
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// Written in place, as some editors save: a poll may see it half written.
void write_in_place(const std::string &path, const std::string &text, const char *mode, time_t mtime)
{
    FILE *f = fopen(path.c_str(), mode);
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    set_mtime(path, mtime);
}

void write_file(const std::string &path, const std::string &text, time_t mtime)
{
    // Written next to it and renamed in, as editors save.
    std::string temp = path + ".part";
    FILE *f = fopen(temp.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
    set_mtime(temp, mtime);
    ASSERT_EQ(rename(temp.c_str(), path.c_str()), 0);
}

size_t count_of(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

class HotReload : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(xsession_start(x, error)) << error;
        char dir[] = "/tmp/intro-reload-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        tmp = dir;
        run = tmp + "/run";
        watched = tmp + "/shader.glsl";
        ASSERT_EQ(mkdir(run.c_str(), 0755), 0);
        base_time = time(nullptr) - 1000;
    }
    void start_host()
    {
        ASSERT_TRUE(host_start(host, x, {INTRO_LINUX_HOST}, run));
        window = xsession_find_window(x, "Intro", 30000);
        if (!window) window = xsession_find_window(x, "TIME:", 30000);
        ASSERT_NE(window, 0ul) << "no window; stderr:\n" << err();
        // The first picture means the first poll has been made.
        ASSERT_TRUE(wait_for_frame(1, 120000)) << err();
    }
    void TearDown() override
    {
        host_kill(host);
        if (mounted) umount2(run.c_str(), MNT_DETACH);
        xsession_stop(x);
        std::string cmd = "rm -rf '" + tmp + "'";
        EXPECT_EQ(system(cmd.c_str()), 0);
    }
    int frame()
    {
        static const std::regex re(R"(FRAME: ([0-9]+))");
        std::smatch m;
        std::string title = xsession_window_title(x, window);
        return std::regex_search(title, m, re) ? std::stoi(m[1]) : -1;
    }
    bool wait_for_frame(int n, int timeout_ms)
    {
        return wait_until([&] { return frame() >= n; }, timeout_ms);
    }
    // Two more pictures: the one under way may still mix in old samples.
    void wait_two_pictures()
    {
        int now = frame();
        ASSERT_GE(now, 1) << xsession_window_title(x, window);
        ASSERT_TRUE(wait_for_frame(now + 2, 180000)) << "the host stopped presenting; stderr:\n" << err();
        // The title is set just before the swap that shows its picture.
        usleep(1000 * 1000);
    }
    bool wait_out(const std::string &what, size_t times = 1, int timeout_ms = 30000)
    {
        return wait_until([&] { return count_of(out(), what) >= times; }, timeout_ms);
    }
    std::vector<uint8_t> grab(int *w, int *h)
    {
        std::vector<uint8_t> rgb;
        EXPECT_TRUE(xsession_grab(x, window, rgb, w, h));
        return rgb;
    }
    // Every pixel of the window within 1 of the colour, below the top rows.
    void expect_flat(int r, int g, int b, int top_rows = 0)
    {
        int w = 0, h = 0;
        std::vector<uint8_t> rgb = grab(&w, &h);
        ASSERT_EQ((size_t)w * h * 3, rgb.size());
        size_t off = 0;
        for (size_t i = (size_t)top_rows * w * 3; i < rgb.size(); i += 3)
            if (abs(rgb[i] - r) > 1 || abs(rgb[i + 1] - g) > 1 || abs(rgb[i + 2] - b) > 1) ++off;
        const uint8_t *c = &rgb[((size_t)(h / 2) * w + w / 2) * 3];
        EXPECT_EQ(off, 0u) << "centre is " << (int)c[0] << "," << (int)c[1] << "," << (int)c[2]
                           << ", wanted " << r << "," << g << "," << b << " at FRAME " << frame()
                           << "; stdout ends:\n" << tail(out(), 600);
    }
    std::string out() { return read_text_file(host.out_path); }
    static std::string tail(const std::string &s, size_t n) { return s.size() > n ? s.substr(s.size() - n) : s; }
    std::string err() { return read_text_file(host.err_path); }

    XSession x;
    HostProcess host;
    unsigned long window = 0;
    std::string tmp, run, watched;
    time_t base_time = 0;
    bool mounted = false;
};

TEST_F(HotReload, ValidEditReloadsAndABrokenOneKeepsTheOldProgramDrawing)
{
    write_file(watched, flat_shader, base_time);
    write_file(run + "/shader_error.txt", "earlier log\n", base_time);
    start_host();

    // The embedded program links with an empty log: the earlier file stays.
    EXPECT_NE(out().find("dbg_check_program: program: "), std::string::npos) << out();
    EXPECT_EQ(read_text_file(run + "/shader_error.txt"), "earlier log\n");

    std::string valid = std::string(flat_shader) + "// edited\n";
    write_file(watched, valid, base_time + 10);
    ASSERT_TRUE(wait_out("Active Uniforms(#")) << out() << err();
    std::string o = out();
    std::smatch m;
    static const std::regex reload_lines(
        "hotreload updated\n"
        "Loaded shader from \"\\.\\./shader\\.glsl\"\n"
        "Active Uniforms\\(#([0-9]+)\\): 2\n"
        "\tUniform #0 Type: ([0-9]+) Name: ([mv])\n"
        "\tUniform #1 Type: ([0-9]+) Name: ([mv])\n");
    ASSERT_TRUE(std::regex_search(o, m, reload_lines)) << o;
    EXPECT_NE(m[3], m[5]);
    const std::string sampler_type = std::to_string(0x8B5E), ivec2_type = std::to_string(0x8B53);
    EXPECT_EQ(m[2], m[3] == "m" ? sampler_type : ivec2_type);
    EXPECT_EQ(m[4], m[5] == "m" ? sampler_type : ivec2_type);
    EXPECT_EQ(count_of(o, "hotreload updated"), 1u);
    wait_two_pictures();
    expect_flat(64, 191, 128);

    write_file(watched, broken_shader, base_time + 20);
    ASSERT_TRUE(wait_out("Active Uniforms(#", 2)) << out() << err();
    std::string e = err();
    size_t failed = e.find("ERROR: CheckProgram: failed to link ../shader.glsl!\n");
    ASSERT_NE(failed, std::string::npos) << e;
    EXPECT_NE(e.find("undeclared_thing", failed), std::string::npos) << "the driver's log: " << e;
    EXPECT_TRUE(std::regex_search(out(), std::regex("Active Uniforms\\(#[0-9]+\\): 0\n")));
    wait_two_pictures();
    expect_flat(64, 191, 128);
    // Only the start-up check writes the log file.
    EXPECT_EQ(read_text_file(run + "/shader_error.txt"), "earlier log\n");
}

TEST_F(HotReload, EveryCompletedSaveIsBuiltAlsoWithinOneSecond)
{
    write_file(watched, flat_shader, base_time);
    start_host();
    // Every save below ends at the same time `t`, ahead of the clock. A poll
    // in the middle of a write may see the clock's time, another save.
    const time_t t = time(nullptr) + 2;
    const std::string red = flat_shader_in("0.75, 0.25, 0.5"), blue = flat_shader_in("0.25, 0.50, 1.0");
    auto built = [&] { return count_of(out(), "): 2\n"); };
    // Polled half written, then completed.
    write_in_place(watched, red.substr(0, red.size() / 2), "wb", t);
    ASSERT_TRUE(wait_until([&] { return err().find("failed to link") != std::string::npos; }, 30000)) << out();
    write_in_place(watched, red.substr(red.size() / 2), "ab", t);
    ASSERT_TRUE(wait_until([&] { return built() >= 1; }, 30000)) << out();
    // Another save of the same size: told by its contents.
    size_t before = built();
    write_in_place(watched, blue, "wb", t);
    ASSERT_TRUE(wait_until([&] { return built() > before; }, 30000)) << out();
    wait_two_pictures();
    expect_flat(64, 128, 255);

    // An older copy put in place is built; an unchanged file never is.
    write_file(watched, red, base_time);
    wait_two_pictures();
    expect_flat(191, 64, 128);
    size_t updates = count_of(out(), "hotreload updated");
    wait_two_pictures();
    EXPECT_EQ(count_of(out(), "hotreload updated"), updates) << out();
}

TEST_F(HotReload, AFifoNeverBlocksTheLoopAndAGrabOnAFullDiskLeavesNothing)
{
    write_file(watched, flat_shader, base_time);
    // A file system far too small for a grab, where one can be made.
    mounted = mount("tmpfs", run.c_str(), "tmpfs", 0, "size=1m") == 0;
    start_host();

    ASSERT_EQ(unlink(watched.c_str()), 0);
    ASSERT_EQ(mkfifo(watched.c_str(), 0644), 0);
    set_mtime(watched, base_time + 10);
    ASSERT_TRUE(wait_out("Active Uniforms(#0): 0\n")) << out();
    EXPECT_NE(out().find("hotreload updated\nInput shader file at \"../shader.glsl\" not found!\n"), std::string::npos)
        << out();
    EXPECT_NE(err().find("ERROR: Input shader file at \"../shader.glsl\" could not be read: not a regular file\n"),
              std::string::npos) << err();
    wait_two_pictures();

    if (mounted) {
        xsession_focus(x, window);
        for (size_t k = 1; k <= 2; ++k) {
            xsession_key(x, XK_F12);
            ASSERT_TRUE(wait_until([&] {
                return count_of(err(), "ERROR: grab_screen: could not write intro_0001.tga: "
                                       "No space left on device\n") >= k;
            }, 180000)) << err();
        }
        DIR *d = opendir(run.c_str());
        ASSERT_NE(d, nullptr);
        std::vector<std::string> left;
        while (dirent *e = readdir(d))
            if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) left.push_back(e->d_name);
        closedir(d);
        EXPECT_TRUE(left.empty()) << left.size() << " files left, first " << left[0];
    } else {
        std::cerr << "no tmpfs could be mounted: the full-disk grab is left to the unit tests\n";
    }

    // Escape is still acted on.
    xsession_focus(x, window);
    xsession_key(x, XK_Escape);
    int code = -1;
    ASSERT_TRUE(host_wait_exit(host, 30000, &code)) << "Escape did not end the program";
    EXPECT_EQ(code, 0);
}

TEST_F(HotReload, UnchangedFileIsNeverBuiltAndUnreadableOnesAreReported)
{
    write_file(watched, flat_shader, base_time);
    start_host();
    wait_two_pictures();
    std::string o = out();
    EXPECT_EQ(o.find("hotreload updated"), std::string::npos) << o;
    EXPECT_EQ(o.find("Loaded shader"), std::string::npos) << o;
    // The embedded program's log is empty: no log file.
    EXPECT_FALSE(exists(run + "/shader_error.txt"));

    // Gone: reported at every poll, the picture goes on.
    ASSERT_EQ(unlink(watched.c_str()), 0);
    ASSERT_TRUE(wait_out("File ../shader.glsl not found.\n", 3)) << out();
    EXPECT_NE(err().find("Problem getting information: No such file or directory\n"), std::string::npos);
    wait_two_pictures();

    // A newer entry that cannot be opened, as a file deleted between the time
    // check and the read: a socket has a time but no contents.
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    snprintf(addr.sun_path, sizeof addr.sun_path, "%s", watched.c_str());
    ASSERT_EQ(bind(sock, (sockaddr *)&addr, sizeof addr), 0);
    set_mtime(watched, base_time + 10);
    ASSERT_TRUE(wait_out("Active Uniforms(#0): 0\n")) << out();
    o = out();
    size_t updated = o.find("hotreload updated\n");
    ASSERT_NE(updated, std::string::npos);
    EXPECT_NE(o.find("hotreload updated\n"
                     "Input shader file at \"../shader.glsl\" not found!\n"
                     "Active Uniforms(#0): 0\n"),
              std::string::npos)
        << o;
    wait_two_pictures();
    // The embedded program still draws: its mean blue is one half.
    int w = 0, h = 0;
    std::vector<uint8_t> rgb = grab(&w, &h);
    ASSERT_EQ(w, 1920);
    EXPECT_NEAR(rgb[((size_t)540 * w + 960) * 3 + 2], 127.5, 1.01);
    close(sock);
    EXPECT_FALSE(exists(run + "/shader_error.txt"));
}

TEST_F(HotReload, RightButtonFeedsTheMouseUniformAndF12GrabsThePicture)
{
    write_file(watched, flat_shader, base_time);
    // An earlier grab is never overwritten.
    write_file(run + "/intro_0001.tga", "not a picture", base_time);
    start_host();
    write_file(watched, mouse_shader, base_time + 10);
    ASSERT_TRUE(wait_out("Active Uniforms(#")) << out() << err();
    EXPECT_NE(out().find("Name: i\n"), std::string::npos) << out();

    XTestFakeMotionEvent(x.dpy, -1, 960, 540, CurrentTime);
    XTestFakeButtonEvent(x.dpy, 3, True, CurrentTime);
    XSync(x.dpy, False);
    ASSERT_TRUE(wait_until([&] {
        return std::regex_search(out(), std::regex("iMouse [0-9]+: 960, 540, 0\\.50, 0\\.50, 1\\.00\n"));
    }, 30000)) << out();
    size_t lines = count_of(out(), "iMouse ");
    wait_two_pictures();
    expect_flat(128, 128, 255, 120);
    // A line for every poll while the button is held.
    EXPECT_GT(count_of(out(), "iMouse "), lines + 100);

    // Released: the position stays, the button goes to 0, no more lines,
    // also when the cursor moves on.
    XTestFakeButtonEvent(x.dpy, 3, False, CurrentTime);
    XSync(x.dpy, False);
    usleep(3000 * 1000);
    lines = count_of(out(), "iMouse ");
    XTestFakeMotionEvent(x.dpy, -1, 100, 100, CurrentTime);
    XSync(x.dpy, False);
    wait_two_pictures();
    expect_flat(128, 128, 0, 120);
    EXPECT_EQ(count_of(out(), "iMouse "), lines);

    int w = 0, h = 0;
    std::vector<uint8_t> shown = grab(&w, &h);
    xsession_focus(x, window);
    xsession_key(x, XK_F12);
    // Written at the next present.
    ASSERT_TRUE(wait_out("grab_screen: intro_0002.tga\n", 1, 180000)) << out() << err();
    EXPECT_EQ(read_text_file(run + "/intro_0001.tga"), "not a picture");
    std::string tga;
    ASSERT_TRUE(wait_until([&] {
        tga = read_text_file(run + "/intro_0002.tga");
        return tga.size() == 18u + 1920u * 1080u * 3u;
    }, 10000)) << tga.size();
    ASSERT_EQ(w, 1920);
    ASSERT_EQ(h, 1080);
    EXPECT_EQ((uint8_t)tga[12], 0x80);
    EXPECT_EQ((uint8_t)tga[13], 0x07);
    EXPECT_EQ((uint8_t)tga[14], 0x38);
    EXPECT_EQ((uint8_t)tga[15], 0x04);
    // The file holds the window's picture: BGR, bottom row first.
    size_t differ = 0;
    for (int y = 0; y < h; ++y)
        for (int xx = 0; xx < w; ++xx) {
            const uint8_t *s = &shown[((size_t)(h - 1 - y) * w + xx) * 3];
            const uint8_t *t = (const uint8_t *)&tga[18 + ((size_t)y * w + xx) * 3];
            if (t[0] != s[2] || t[1] != s[1] || t[2] != s[0]) ++differ;
        }
    EXPECT_EQ(differ, 0u);

    // The grab leaves the loop's read buffer alone: pictures stay flat.
    wait_two_pictures();
    expect_flat(128, 128, 0, 120);
}

} // namespace
