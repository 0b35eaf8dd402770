// intro-render --eval and --view, through the program.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

const std::string cheap = "--shader '" INTRO_TEST_DATA "/cheap.glsl' ";

} // namespace

TEST(Inspect, EvalPrintsExactValuesAfterTheShadersMain)
{
    ProgramDir in;
    // The project's shader: its primitive at a point outside and one inside,
    // where the value is exact; then the fragment's place and sample.
    Ran r = in.run("--eval 'sd_box(vec3(2.0, 0.0, 0.0), vec3(1.0))' --eval 'sd_box(vec3(0.5, 0.0, 0.0), vec3(1.0))' "
                   "--eval 'vec3(0.5, -2.0, 1.0 / 3.0)' --eval '1.0 < 2.0' --eval 'frag_coord.xy' --eval 'x' "
                   "--eval '1.0 // a comment ends at the line break\n+ 2.0' --pixel 7,1000 --sample 3");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "sd_box(vec3(2.0, 0.0, 0.0), vec3(1.0)) = 1\n"
                     "sd_box(vec3(0.5, 0.0, 0.0), vec3(1.0)) = -0.5\n"
                     "vec3(0.5, -2.0, 1.0 / 3.0) = vec3(0.5, -2, 0.333333343)\n"
                     "1.0 < 2.0 = true\n"
                     "frag_coord.xy = vec2(7.5, 79.5)\n" // the globals main set, rows from the bottom
                     "x = 3\n"
                     "1.0 // a comment ends at the line break + 2.0 = 3\n");
}

TEST(Inspect, EvalErrorsPointIntoTheExpression)
{
    ProgramDir in;
    Ran r = in.run(cheap + "--eval 'max(1.0,  no_such_name)' --eval 'm'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--eval 'max(1.0,  no_such_name)', column 11: error: `no_such_name' undeclared"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--eval 'm': its type is sampler2D"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    r = in.run(cheap + "--eval 'vec2(1.0'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--eval 'vec2(1.0', at its end"), std::string::npos) << r.err;
    // The shader's own fault is its log, with its own line numbers.
    std::ofstream(in.dir + "/broken.glsl") << "#version 430\nout vec4 f;\nvoid main() { f = vec4(nothing); }\n";
    r = in.run("--shader broken.glsl --eval 1.0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the shader does not build:\nbroken.glsl:3:24: error: `nothing' undeclared\n"),
              std::string::npos) << r.err;
}

TEST(Inspect, ViewDrawsAGradientInOrderOverItsRange)
{
    ProgramDir in;
    Ran r = in.run(cheap + "--view 'gl_FragCoord.x' --crop 600,300,40,8 -o g.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("wrote g.png (40x8): min 600.5 max 639.5\n"), std::string::npos) << r.err;
    int w = 0, h = 0, channels = 0;
    unsigned char *rgb = stbi_load((in.dir + "/g.png").c_str(), &w, &h, &channels, 3);
    ASSERT_TRUE(rgb);
    ASSERT_EQ(w, 40);
    auto lightness = [&](int x, int y) {
        const unsigned char *p = rgb + (y * w + x) * 3;
        return 0.2126 * p[0] + 0.7152 * p[1] + 0.0722 * p[2];
    };
    for (int x = 1; x < w; ++x) EXPECT_GT(lightness(x, 4), lightness(x - 1, 4)) << x;
    EXPECT_EQ(lightness(20, 0), lightness(20, 7)) << "the same across a column";
    stbi_image_free(rgb);

    // The crop's rows count from the top, GL's from the bottom.
    r = in.run(cheap + "--view 'gl_FragCoord.y' --crop 0,0,4,16 -o y.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("min 1064.5 max 1079.5\n"), std::string::npos) << r.err;
    rgb = stbi_load((in.dir + "/y.png").c_str(), &w, &h, &channels, 3);
    ASSERT_TRUE(rgb);
    EXPECT_GT(lightness(0, 0), lightness(0, 15)) << "the top row is the highest";
    stbi_image_free(rgb);

    // Values past --range stand apart and are counted.
    r = in.run(cheap + "--view 'gl_FragCoord.x' --crop 600,300,40,8 --range 610,630 -o r.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("min 600.5 max 639.5, 80 below 610..630, 80 above 610..630\n"), std::string::npos) << r.err;
}

TEST(Inspect, EvalEachExpressionStartsFromWhatMainLeft)
{
    ProgramDir in;
    std::ofstream(in.dir + "/state.glsl") << "#version 430\nout vec4 f;\nuint state;\nfloat g = 1.0;\nfloat arr[2];\n"
                                             "uint next() { state = state * 747796405u + 1u; return state; }\n"
                                             "void main() { state = 7u; g += 1.0; arr[1] = 3.0; f = vec4(0.0); }\n";
    Ran r = in.run("--shader state.glsl --eval 'next()' --eval state --eval 'g += 5.0' --eval g "
                   "--eval 'arr[1] = 9.0' --eval 'arr[1]' --eval 'next()'");
    ASSERT_EQ(r.status, 0) << r.err;
    std::string next = std::to_string(7u * 747796405u + 1u);
    EXPECT_EQ(r.out, "next() = " + next + "\nstate = 7\ng += 5.0 = 7\ng = 2\narr[1] = 9.0 = 9\narr[1] = 3\nnext() = " +
                         next + "\n");
}

TEST(Inspect, EvalRefusesWhatIsNotOneExpression)
{
    ProgramDir in;
    Ran r = in.run(cheap + "--eval '1.0)); } void q() { float a = ((1.0' --eval '#define X' --eval 1.0");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--eval '1.0)); } void q() { float a = ((1.0', column 4: `)' closes no bracket\n"
                         "    1.0)); } void q() { float a = ((1.0\n       ^\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("--eval '#define X', column 1: `#': a preprocessor directive"), std::string::npos) << r.err;
    // A shader using the generated code's names is told so, not blamed for lines it lacks.
    std::ofstream(in.dir + "/clash.glsl") << "#version 430\nout vec4 f;\nfloat intro_inspect_w;\n"
                                             "void main() { f = vec4(0.0); }\n";
    r = in.run("--shader clash.glsl --eval 1.0");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the shader uses the name intro_inspect_w; names beginning intro_inspect_ are kept"),
              std::string::npos)
        << r.err;
}

TEST(Inspect, ViewColoursNanInfinitiesDiscardsAndHugeRanges)
{
    ProgramDir in;
    std::ofstream(in.dir + "/odd.glsl") << "#version 430\nout vec4 f;\nfloat val;\n"
                                           "void main() { if (gl_FragCoord.x < 1.0) discard; "
                                           "val = gl_FragCoord.x - 2.5; f = vec4(0.0); }\n";
    auto pixels = [&](const std::string &name) {
        int w = 0, h = 0, channels = 0;
        unsigned char *rgb = stbi_load((in.dir + "/" + name).c_str(), &w, &h, &channels, 3);
        std::vector<int> out(rgb ? rgb : nullptr, rgb ? rgb + w * h * 3 : nullptr);
        stbi_image_free(rgb);
        return out;
    };
    // x = 0.5 discarded, 1.5 -inf, 2.5 NaN, 3.5 a single value: the map's middle.
    Ran r = in.run("--shader odd.glsl --view 'val == 0.0 ? uintBitsToFloat(0x7fc00000u) : "
                   "(val < 0.0 ? uintBitsToFloat(0xff800000u) : val)' "
                   "--crop 0,0,4,1 -o odd.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("min 1 max 1, 1 NaN, 1 infinite, 1 discarded\n"), std::string::npos) << r.err;
    EXPECT_EQ(pixels("odd.png"), (std::vector<int>{255, 0, 255, 0, 0, 0, 255, 0, 255, 33, 144, 140}));
    // A range wider than the largest double: values near 0 at its middle.
    r = in.run("--shader odd.glsl --view 'val' --range -1.7e308,1.7e308 --crop 1,0,3,1 -o huge.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pixels("huge.png"), (std::vector<int>{33, 144, 140, 33, 144, 140, 33, 144, 140}));
    // A vector as colour, with a given range.
    r = in.run("--shader odd.glsl --view 'vec3(val, 0.0, -val)' --range -1,1 --crop 1,0,3,1 -o vec.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pixels("vec.png"), (std::vector<int>{0, 128, 255, 128, 128, 128, 255, 128, 0}));
}

namespace {

// Each of `refused`, added to `base`, exits 2 naming its first word.
void expect_refused(const ProgramDir &in, const std::string &base, const std::vector<std::string> &refused)
{
    for (const std::string &option : refused) {
        Ran r = in.run(base + option);
        EXPECT_EQ(r.status, 2) << option << "\n" << r.err;
        EXPECT_NE(r.err.find("intro-render: " + option.substr(0, option.find(' '))), std::string::npos)
            << option << "\n" << r.err;
    }
}

} // namespace

TEST(Inspect, EvalTakesItsOptionsToTheirEdgesAndRefusesTheRest)
{
    ProgramDir in;
    Ran r = in.run(cheap + "--eval 'gl_FragCoord.xy' --eval v.x --pixel 1919,1079 --sample 65535");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "gl_FragCoord.xy = vec2(1919.5, 0.5)\nv.x = 65535\n");
    r = in.run(cheap + "--eval 'gl_FragCoord.xy' --pixel 0,0 --sample 0");
    EXPECT_EQ(r.out, "gl_FragCoord.xy = vec2(0.5, 1079.5)\n") << r.err;
    expect_refused(in, "--eval 1.0 ", {"--pixel 1920,0", "--pixel 0,1080", "--pixel -1,0", "--sample 65536",
                                       "--sample -1"});
    // Every option it does not take, another mode's or not.
    for (const char *option : {"-o e.png", "-s 1", "--crop 0,0,1,1", "--margin 0", "--progress-pictures",
                               "--no-progress-pictures", "--part 0/1", "--sums s", "--merge", "--benchmark",
                               "--baseline b.glsl", "--cost-map", "--tile 1", "--watch", "--view x", "--range 0,1"}) {
        r = in.run("--eval 1.0 " + std::string(option));
        EXPECT_EQ(r.status, 2) << option << "\n" << r.err;
        EXPECT_NE(r.err.find("do not go together"), std::string::npos) << option << "\n" << r.err;
    }
}

TEST(Inspect, ViewTakesItsOptionsToTheirEdgesAndRefusesTheRest)
{
    ProgramDir in;
    Ran r = in.run(cheap + "--view gl_FragCoord.x --crop 1919,1079,1,1 --sample 65535 --range 0,1920 -o v.png");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("wrote v.png (1x1): min 1919.5 max 1919.5"), std::string::npos) << r.err;
    expect_refused(in, "--view x -o v.png ", {"--crop 1920,0,1,1", "--crop 0,1080,1,1", "--crop 0,0,1921,1",
                                              "--crop 0,0,0,1", "--sample 65536", "--range 1,1"});
    for (const char *option : {"-s 1", "--margin 0", "--progress-pictures", "--no-progress-pictures", "--part 0/1",
                               "--sums s", "--merge", "--benchmark", "--baseline b.glsl", "--cost-map", "--tile 1",
                               "--eval 1.0", "--pixel 0,0"}) {
        r = in.run("--view x -o v.png " + std::string(option));
        EXPECT_EQ(r.status, 2) << option << "\n" << r.err;
        EXPECT_NE(r.err.find("do not go together"), std::string::npos) << option << "\n" << r.err;
    }
}
