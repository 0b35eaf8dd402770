// intro-render --cost-map as a program: which tiles it finds costly, where
// it says they are, its heat map, and the options it refuses.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct RunOutput {
    int status = -1;
    std::string out; // stdout and stderr
};

RunOutput run_render(const std::string &args)
{
    RunOutput run;
    FILE *pipe = popen((std::string("'") + INTRO_RENDER_PATH + "' " + args + " 2>&1").c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
    int raw = pclose(pipe);
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return run;
}

// The mean brightness of a w x h block at x, y of an RGB picture.
double brightness(const unsigned char *rgb, int width, int x, int y, int w, int h)
{
    double sum = 0;
    for (int row = y; row < y + h; ++row)
        for (int col = x; col < x + w; ++col)
            for (int c = 0; c < 3; ++c) sum += rgb[((size_t)row * width + col) * 3 + c];
    return sum / (w * h * 3);
}

} // namespace

TEST(CostMap, RanksTheExpensiveSideHottest)
{
    // cost_ramp.glsl: the crop's bottom row of tiles takes 1, 17, 33 and 49
    // rounds from left to right; its top row 1 round throughout.
    char dir[] = "/tmp/intro-cost-map-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string picture = std::string(dir) + "/cost.png";
    RunOutput r = run_render(std::string("--cost-map --shader '") + INTRO_TEST_DATA +
                       "/cost_ramp.glsl' --crop 0,0,128,64 --tile 32 -s 3 -o '" + picture + "'");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("8 tiles of 32x32"), std::string::npos) << r.out;
    // The costliest first, placed from the picture's top-left.
    EXPECT_NE(r.out.find("1.   96,32 "), std::string::npos) << r.out;
    EXPECT_LT(r.out.find("96,32 "), r.out.find("64,32 ")) << r.out;
    EXPECT_LT(r.out.find("64,32 "), r.out.find("0,32 ")) << r.out;

    int w = 0, h = 0, channels = 0;
    unsigned char *rgb = stbi_load(picture.c_str(), &w, &h, &channels, 3);
    ASSERT_NE(rgb, nullptr);
    EXPECT_EQ(w, 128);
    EXPECT_GT(h, 64); // the colour bar under the map
    if (w == 128 && h > 64) {
        EXPECT_GT(brightness(rgb, w, 96, 32, 32, 32), brightness(rgb, w, 0, 32, 32, 32) + 60);
    }
    stbi_image_free(rgb);
    std::system((std::string("rm -rf '") + dir + "'").c_str());
}

TEST(CostMap, RefusesOptionsThatDoNotApply)
{
    for (const char *args : {"--tile 8", "--cost-map --tile 0", "--cost-map --benchmark", "--cost-map --margin 0",
                             "--cost-map --progress-pictures", "--cost-map --part 0/2 --sums x.sums",
                             "--cost-map --tile 1081", "--cost-map -s 0", "--cost-map -s 65537",
                             "--cost-map --crop 1920,0,1,1", "--cost-map --crop 0,0,1,1081",
                             "--cost-map --no-progress-pictures", "--cost-map --merge", "--cost-map --baseline b",
                             "--cost-map --watch", "--cost-map --eval 1.0", "--cost-map --view x",
                             "--cost-map --pixel 0,0", "--cost-map --sample 0", "--cost-map --range 0,1"}) {
        RunOutput r = run_render(args);
        EXPECT_EQ(r.status, 2) << args << "\n" << r.out;
        EXPECT_NE(r.out.find("intro-render: "), std::string::npos) << args;
    }
}

TEST(CostMap, TakesItsBoundsToTheirEdges)
{
    char dir[] = "/tmp/intro-cost-map-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string run = std::string("--cost-map --shader '") + INTRO_TEST_DATA + "/cheap.glsl' -s 1 -o '" + dir +
                            "/c.png' ";
    RunOutput r = run_render(run + "--crop 1918,1078,2,2 --tile 1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("4 tiles of 1x1"), std::string::npos) << r.out;
    r = run_render(run + "--crop 0,0,3,2 --tile 1080");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("1 tile"), std::string::npos) << r.out;
    // Too many samples to time here: taken, the shader's absence says so.
    r = run_render("--cost-map -s 65536 --shader '" + std::string(dir) + "/none.glsl'");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("cannot read shader"), std::string::npos) << r.out;
    std::system((std::string("rm -rf '") + dir + "'").c_str());
}

TEST(CostMap, PartialTilesAndTimersThatSeeNothingAreTold)
{
    char dir[] = "/tmp/intro-cost-map-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string run = std::string("--cost-map --shader '") + INTRO_TEST_DATA + "/cheap.glsl' -s 1 -o '" + dir +
                            "/c.png' --crop 10,20,5,3 --tile 2";
    // 5x3 in tiles of 2: the last column and row are cut to what is left.
    RunOutput r = run_render(run);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("6 tiles of 2x2"), std::string::npos) << r.out;
    for (auto [place, size] : {std::pair{"10,20", "2x2"}, {"14,20", "1x2"}, {"10,22", "2x1"}, {"14,22", "1x1"}}) {
        size_t at = r.out.find(std::string(" ") + place + " ");
        ASSERT_NE(at, std::string::npos) << place << "\n" << r.out;
        std::string line = r.out.substr(at, r.out.find('\n', at) - at);
        EXPECT_NE(line.find(std::string(" ") + size + " "), std::string::npos) << line;
    }
    setenv("INTRO_COST_TIMER", "bogus", 1);
    r = run_render(run);
    unsetenv("INTRO_COST_TIMER");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("INTRO_COST_TIMER=\"bogus\" is no timer"), std::string::npos) << r.out;
    std::system((std::string("rm -rf '") + dir + "'").c_str());
}
