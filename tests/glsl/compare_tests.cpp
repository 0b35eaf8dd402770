// intro-render --compare, through the program: its verdicts against the two
// pictures rendered apart, its exit statuses, and --watch.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "program_run.h"

namespace {

// A fresh directory, intro-render run in it, and variants of the cheap shader.
struct Bench : ProgramDir {
    // The cheap shader with `line` put in after its colour, as `name`.
    void shader(const std::string &name, const std::string &line) const
    {
        std::string text = slurp(INTRO_TEST_DATA "/cheap.glsl");
        const std::string after = "/ 127.0);";
        size_t at = text.find(after);
        ASSERT_NE(at, std::string::npos);
        text.insert(at + after.size(), "\n        " + line);
        std::ofstream(dir + "/" + name) << text;
    }
};

// The pixels of two PNGs that differ, and the box around them, as X,Y,W,H
// from the picture's top-left when the pictures are the crop at x0, y0.
struct Apart {
    long pixels = 0;
    std::string box;
};

Apart differing(const std::string &a, const std::string &b, int x0, int y0)
{
    int w = 0, h = 0, n = 0, w2 = 0, h2 = 0;
    unsigned char *p = stbi_load(a.c_str(), &w, &h, &n, 3), *q = stbi_load(b.c_str(), &w2, &h2, &n, 3);
    Apart d;
    int left = w, top = h, right = -1, bottom = -1;
    for (int i = 0; p && q && w == w2 && h == h2 && i < w * h; ++i)
        if (std::abs(p[i * 3] - q[i * 3]) + std::abs(p[i * 3 + 1] - q[i * 3 + 1]) + std::abs(p[i * 3 + 2] - q[i * 3 + 2])) {
            ++d.pixels;
            left = std::min(left, i % w), right = std::max(right, i % w);
            top = std::min(top, i / w), bottom = std::max(bottom, i / w);
        }
    d.box = std::to_string(x0 + left) + "," + std::to_string(y0 + top) + "," + std::to_string(right - left + 1) + "," +
            std::to_string(bottom - top + 1);
    stbi_image_free(p);
    stbi_image_free(q);
    return d;
}

const std::string region = "-s 2 --crop 900,500,48,24 --margin 0 ";

} // namespace

TEST(Compare, ReportsWhatThePicturesRenderedApartShow)
{
    Bench b;
    b.shader("ref.glsl", "f.r = 0.4;");
    b.shader("copy.glsl", "f.r = 0.4; // the same with a comment");
    Ran r = b.run("--compare ref.glsl --shader copy.glsl " + region);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "same picture (48x24 at 900,500, 2 sample passes)\n");

    // A change in a corner of the crop, 51 steps of red.
    b.shader("mine.glsl", "f.r = 0.4; if (gl_FragCoord.x > 940.0 && gl_FragCoord.y > 570.0) f.r = 0.2;");
    r = b.run("--compare ref.glsl --shader mine.glsl " + region + "-o diff.png");
    EXPECT_EQ(r.status, 1) << r.err;
    ASSERT_EQ(b.run("--shader ref.glsl " + region + "-o a.png").status, 0);
    ASSERT_EQ(b.run("--shader mine.glsl " + region + "-o b.png").status, 0);
    Apart apart = differing(b.dir + "/a.png", b.dir + "/b.png", 900, 500);
    ASSERT_GT(apart.pixels, 0);
    EXPECT_NE(r.out.find(std::to_string(apart.pixels) + " of 1152 pixels differ"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("largest difference 51 steps at 940,500\nmean difference 51.00 steps\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("every difference inside " + apart.box + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("first sample pass that differs: 0"), std::string::npos) << r.out;
    int w = 0, h = 0, n = 0;
    unsigned char *diff = stbi_load((b.dir + "/diff.png").c_str(), &w, &h, &n, 3);
    ASSERT_TRUE(diff);
    EXPECT_EQ(w, 48);
    EXPECT_GT(h, 24) << "the legend under the region";
    EXPECT_GT(diff[47 * 3], 3 * diff[23 * w * 3]) << "a difference stands out of the dimmed picture";
    stbi_image_free(diff);

    // Within the tolerance it is the same, the largest still told.
    r = b.run("--compare ref.glsl --shader mine.glsl --tolerance 51 " + region);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "same picture (48x24 at 900,500, 2 sample passes, within 51 steps)\nlargest difference 51 steps\n");
    EXPECT_EQ(b.run("--compare ref.glsl --shader mine.glsl --tolerance 50 " + region).status, 1);

    // Passes that differ where their mean does not.
    b.shader("flat.glsl", "f.g = 0.4;");
    b.shader("flicker.glsl", "f.g = v.x == 0 ? 0.2 : 0.6;");
    r = b.run("--compare flat.glsl --shader flicker.glsl " + region);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.out.find("the finished pictures are the same, but sample pass 0 differs by up to 51 steps"),
              std::string::npos) << r.out;
}

TEST(Compare, TroubleIsStatusTwo)
{
    Bench b;
    b.shader("ref.glsl", "");
    b.shader("broken.glsl", "f.r = nothing;");
    Ran r = b.run("--compare broken.glsl --shader ref.glsl " + region);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("the reference shader does not build:\nbroken.glsl:13:15: error: `nothing' undeclared"),
              std::string::npos) << r.err;
    r = b.run("--compare ref.glsl --shader broken.glsl " + region);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("broken.glsl:13:15: error:"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    ASSERT_EQ(symlink("ref.glsl", (b.dir + "/link.png").c_str()), 0);
    struct Refusal {
        const char *args, *says;
    };
    for (const Refusal &c : {Refusal{"--compare missing.glsl --shader ref.glsl", "cannot read the reference shader"},
                             Refusal{"--compare ref.glsl -o link.png", "it is the reference shader \"ref.glsl\""},
                             Refusal{"--compare ref.glsl -o nodir/d.png", "cannot write \"nodir/d.png\""},
                             Refusal{"--compare ''", "the reference shader's path is empty"},
                             Refusal{"--compare ref.glsl --tolerance 256", "from 0 to 255, not \"256\""},
                             Refusal{"--compare ref.glsl --tolerance -1", "not \"-1\""},
                             Refusal{"--compare ref.glsl --tile 4", "--tile and --compare do not go together"},
                             Refusal{"--compare ref.glsl --eval 1.0", "do not go together"},
                             Refusal{"--compare ref.glsl --watch", "--watch needs --shader FILE"},
                             Refusal{"--tolerance 1", "--tolerance N goes with --compare"}}) {
        r = b.run(std::string(c.args) + " " + region);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_EQ(b.run("--compare ref.glsl --shader ref.glsl --tolerance 255 " + region).status, 0);
}

TEST(Compare, WatchComparesEverySave)
{
    Bench b;
    b.shader("ref.glsl", "");
    b.shader("s.glsl", "");
    std::string command = "cd '" + b.dir + "' && exec '" INTRO_RENDER_PATH "' --watch --compare ref.glsl --shader "
                          "s.glsl " + region + ">out.txt 2>err.txt";
    pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", command.c_str(), (char *)nullptr);
        _exit(127);
    }
    // The n-th line on standard output, waited for up to a minute.
    auto line = [&](int n) {
        for (int tries = 0; tries < 1200; ++tries) {
            std::istringstream out(slurp(b.dir + "/out.txt"));
            std::string text;
            for (int i = 0; std::getline(out, text); ++i)
                if (i == n) return text;
            usleep(50 * 1000);
        }
        return std::string("(no line)");
    };
    EXPECT_EQ(line(0), "same picture (48x24 at 900,500, 2 sample passes)");
    b.shader("s.glsl", "f.r += 0.5;");
    EXPECT_EQ(line(1).rfind("different (48x24 at 900,500, 2 sample passes); 1152 of 1152 pixels differ", 0), 0u)
        << line(1);
    b.shader("s.glsl", "f.r = nothing;");
    for (int tries = 0; tries < 1200 && slurp(b.dir + "/err.txt").find("waiting") == std::string::npos; ++tries)
        usleep(50 * 1000);
    EXPECT_NE(slurp(b.dir + "/err.txt").find("s.glsl:13:15: error:"), std::string::npos);
    // A good save after a broken one, then a save of REF.
    b.shader("s.glsl", "// back");
    EXPECT_EQ(line(2), "same picture (48x24 at 900,500, 2 sample passes)");
    b.shader("ref.glsl", "f.b = 1.0;");
    EXPECT_EQ(line(3).rfind("different", 0), 0u) << line(3);
    kill(pid, SIGTERM);
    int raw = 0;
    waitpid(pid, &raw, 0);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0);
    std::string err = slurp(b.dir + "/err.txt");
    EXPECT_NE(err.find("intro-render: stopped"), std::string::npos);
    EXPECT_NE(err.find("building without LLVM's optimisation"), std::string::npos) << "a small region answers sooner";
}
