// The pure parts of --eval and --view: values printed, the driver's log
// places, the expression check, the shader's globals, the colours.
#include "core/driver_log.h"
#include "tools/colour_ramp.h"
#include "tools/inspect_log.h"
#include "tools/inspect_source.h"
#include "tools/inspect_values.h"
#include "tools/shader_globals.h"
#include "tools/view_picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t bits(float f)
{
    uint32_t w;
    std::memcpy(&w, &f, sizeof w);
    return w;
}

std::string text_of(const char *name, const std::vector<uint32_t> &words)
{
    for (uint32_t tag = 1; tag <= value_type_count(); ++tag)
        if (std::string(value_type(tag)->name) == name) return format_value(*value_type(tag), words.data());
    return "no such type";
}

} // namespace

TEST(InspectValues, EveryTypePrintsAsGlslWritesIt)
{
    std::vector<uint32_t> f = {bits(1.5f), bits(-2.0f), bits(1.0f / 3.0f), bits(NAN), bits(INFINITY), bits(-INFINITY)};
    EXPECT_EQ(text_of("float", f), "1.5");
    EXPECT_EQ(text_of("vec2", f), "vec2(1.5, -2)");
    EXPECT_EQ(text_of("vec3", f), "vec3(1.5, -2, 0.333333343)");
    EXPECT_EQ(text_of("vec4", {bits(NAN), bits(INFINITY), bits(-INFINITY), bits(0.0f)}), "vec4(NaN, inf, -inf, 0)");
    std::vector<uint32_t> i = {(uint32_t)-7, 2147483647u, 0x80000000u, 3};
    EXPECT_EQ(text_of("int", i), "-7");
    EXPECT_EQ(text_of("ivec2", i), "ivec2(-7, 2147483647)");
    EXPECT_EQ(text_of("ivec3", i), "ivec3(-7, 2147483647, -2147483648)");
    EXPECT_EQ(text_of("ivec4", i), "ivec4(-7, 2147483647, -2147483648, 3)");
    std::vector<uint32_t> u = {4294967295u, 0, 1, 2};
    EXPECT_EQ(text_of("uint", u), "4294967295");
    EXPECT_EQ(text_of("uvec2", u), "uvec2(4294967295, 0)");
    EXPECT_EQ(text_of("uvec3", u), "uvec3(4294967295, 0, 1)");
    EXPECT_EQ(text_of("uvec4", u), "uvec4(4294967295, 0, 1, 2)");
    std::vector<uint32_t> b = {1, 0, 1, 0};
    EXPECT_EQ(text_of("bool", b), "true");
    EXPECT_EQ(text_of("bvec2", b), "bvec2(true, false)");
    EXPECT_EQ(text_of("bvec3", b), "bvec3(true, false, true)");
    EXPECT_EQ(text_of("bvec4", b), "bvec4(true, false, true, false)");

    // Matrices column by column, as stored: the words run down each column.
    std::vector<uint32_t> m;
    for (int k = 1; k <= 16; ++k) m.push_back(bits((float)k));
    EXPECT_EQ(text_of("mat2", m), "mat2(vec2(1, 2), vec2(3, 4))");
    EXPECT_EQ(text_of("mat3", m), "mat3(vec3(1, 2, 3), vec3(4, 5, 6), vec3(7, 8, 9))");
    EXPECT_EQ(text_of("mat4", m),
              "mat4(vec4(1, 2, 3, 4), vec4(5, 6, 7, 8), vec4(9, 10, 11, 12), vec4(13, 14, 15, 16))");
    EXPECT_EQ(text_of("mat2x3", m), "mat2x3(vec3(1, 2, 3), vec3(4, 5, 6))");
    EXPECT_EQ(text_of("mat2x4", m), "mat2x4(vec4(1, 2, 3, 4), vec4(5, 6, 7, 8))");
    EXPECT_EQ(text_of("mat3x2", m), "mat3x2(vec2(1, 2), vec2(3, 4), vec2(5, 6))");
    EXPECT_EQ(text_of("mat3x4", m), "mat3x4(vec4(1, 2, 3, 4), vec4(5, 6, 7, 8), vec4(9, 10, 11, 12))");
    EXPECT_EQ(text_of("mat4x2", m), "mat4x2(vec2(1, 2), vec2(3, 4), vec2(5, 6), vec2(7, 8))");
    EXPECT_EQ(text_of("mat4x3", m), "mat4x3(vec3(1, 2, 3), vec3(4, 5, 6), vec3(7, 8, 9), vec3(10, 11, 12))");
    EXPECT_EQ(value_type_count(), 25u);
    EXPECT_EQ(value_type(0), nullptr);
    EXPECT_EQ(value_type(26), nullptr);
}

TEST(InspectLog, PlacesOfEachDriversLines)
{
    LogPlace p;
    ASSERT_TRUE(parse_place("0:1000000001(12): error: `nope' undeclared", p));
    EXPECT_EQ(p.line, 1000000001);
    EXPECT_EQ(p.column, 12);
    EXPECT_EQ(p.text, "error: `nope' undeclared");
    ASSERT_TRUE(parse_place("0(12) : error C1008: undefined variable", p));
    EXPECT_EQ(p.line, 12);
    EXPECT_EQ(p.column, 0);
    EXPECT_EQ(p.text, "error C1008: undefined variable");
    ASSERT_TRUE(parse_place("ERROR: 1:7: 'x' : undeclared identifier", p));
    EXPECT_EQ(p.source, 1);
    EXPECT_EQ(p.line, 7);
    EXPECT_EQ(p.text, "error: 'x' : undeclared identifier");
    EXPECT_FALSE(parse_place("warning: something without a place", p));
    EXPECT_FALSE(parse_place("", p));

    // The log read against the expressions: the column counted back over
    // runs of blanks, the caret's padding keeping tabs.
    std::vector<std::string> exprs = {"1.0", "max(1.0,\t  nope)"};
    std::string message;
    EXPECT_TRUE(expression_errors("0:1000000004(10): error: `nope' undeclared\n", exprs, exprs, "--eval", "", message));
    EXPECT_EQ(message, "--eval 'max(1.0,\t  nope)', column 12: error: `nope' undeclared\n"
                       "    max(1.0,\t  nope)\n"
                       "            \t  ^\n");
    EXPECT_FALSE(expression_errors("0:3(5): error: x\n", exprs, exprs, "--eval", "", message));
    EXPECT_EQ(message, "0:3(5): error: x\n");
}

TEST(InspectSource, ExpressionsThatAreNotOneAreRefusedWhereTheyBreak)
{
    struct Case {
        const char *expr;
        int column;
        const char *why;
    } cases[] = {
        {"1.0)); } void q() { float a = ((1.0", 4, "`)' closes no bracket"},
        {"vec2(1.0]", 9, "`]' closes the `(' of column 5"},
        {"max(1.0, (2.0)", 0, "the `(' of column 4 is not closed"},
        {"1.0; 2.0", 4, "`;' has no place in an expression: it takes one expression"},
        {"{1.0}", 1, "`{' has no place in an expression: it takes one expression"},
        {"#define X 1", 1, "`#': a preprocessor directive is no expression"},
        {"1.0 \\\n+ 2.0", 5, "a backslash (a line continuation) has no place in an expression"},
        {"1.0 /* open", 5, "the comment is not closed"},
        {"intro_inspect_w[0]", 1, "`intro_inspect_w' is a name of the generated code"},
        {" /* */ ", -1, "there is no expression"},
    };
    for (const Case &c : cases) {
        std::string pasted, why;
        int column = 99;
        EXPECT_FALSE(check_expression(c.expr, pasted, column, why)) << c.expr;
        EXPECT_EQ(column, c.column) << c.expr;
        EXPECT_EQ(why, c.why) << c.expr;
    }
    // Brackets in comments do not count; comments and line breaks become
    // blanks, so the driver's columns stay the expression's.
    std::string pasted, why;
    int column = 0;
    ASSERT_TRUE(check_expression("f(1.0 /* ) */, // }\n[2.0][0])", pasted, column, why)) << why;
    EXPECT_EQ(pasted, "f(1.0        ,      [2.0][0])");
}

TEST(InspectSource, GlobalsSavedAreThePlainOnesAtModuleScope)
{
    const char *shader = "#version 430\n"
                         "uniform float u; layout(location = 1) uniform ivec2 v; out vec4 f; in vec2 uv;\n"
                         "const float K = 2.0;\nfloat x; vec3 frag_coord = vec3(0.0), other[2];\n"
                         "highp uint rng_state; // uint commented;\n/* float hidden; */\n"
                         "struct S { float a; }; S s; float[3] w; float unsized[] = float[](1.0);\n"
                         "#ifdef EXTRA\nfloat extra;\n#endif\n#define M(a) \\\n  a\n"
                         "float f2(float a); float f3(float b) { float local; return b; }\n"
                         "layout(std430) buffer B { float data[]; };\nvoid main() { float y; }\n";
    std::string names;
    for (const ShaderGlobal &g : shader_globals(shader)) names += g.type + " " + g.name + g.array + "; ";
    EXPECT_EQ(names, "float x; vec3 frag_coord; vec3 other[2]; uint rng_state; S s; float[3] w; ");
    EXPECT_EQ(first_name_with_prefix("float a; // intro_inspect_x\nint intro_inspect_y;", "intro_inspect_"),
              "intro_inspect_y");
}

TEST(ColourRamp, PalettesPassThroughTheirStopsAndClamp)
{
    double rgb[3];
    ramp_colour(kViridis, 0.0, rgb);
    EXPECT_EQ(rgb[0], 68);
    EXPECT_EQ(rgb[2], 84);
    ramp_colour(kViridis, 0.5, rgb); // the fifth of nine stops
    EXPECT_EQ(rgb[0], 33);
    EXPECT_EQ(rgb[1], 144);
    ramp_colour(kViridis, 1.0 / 16, rgb); // halfway between the first two
    EXPECT_DOUBLE_EQ(rgb[1], 23.0);
    ramp_colour(kViridis, 7.0, rgb);
    EXPECT_EQ(rgb[0], 253);
    ramp_colour(kHeat, -1.0, rgb);
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0.0);
    ramp_colour(kHeat, NAN, rgb);
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 0.0);
    ramp_colour(kHeat, 1.0, rgb);
    EXPECT_EQ(rgb[0] + rgb[1] + rgb[2], 3.0);
    ramp_colour(kHeat, 0.5, rgb);
    EXPECT_DOUBLE_EQ(rgb[0], 0.9);
}

TEST(ViewPicture, ColoursOfEachKindOfValue)
{
    const ValueType &f = *value_type(1), &v3 = *value_type(3), &v2 = *value_type(2);
    ViewRange r{true, 0.0, 10.0};
    ViewCounts n;
    unsigned char rgb[3];
    auto is = [&](int R, int G, int B) { return rgb[0] == R && rgb[1] == G && rgb[2] == B; };
    uint32_t nan[] = {1, bits(NAN)}, inf[] = {1, bits(INFINITY)}, ninf[] = {1, bits(-INFINITY)}, none[] = {0, 0},
             low[] = {1, bits(-1.0f)}, mid[] = {1, bits(5.0f)}, top[] = {1, bits(10.0f)};
    view_colour(f, nan, r, n, rgb);
    EXPECT_TRUE(is(255, 0, 255));
    view_colour(f, none, r, n, rgb);
    EXPECT_TRUE(is(255, 0, 255));
    view_colour(f, inf, r, n, rgb);
    EXPECT_TRUE(is(255, 255, 255)) << "above the range";
    view_colour(f, ninf, r, n, rgb);
    EXPECT_TRUE(is(0, 0, 0)) << "below the range";
    view_colour(f, low, r, n, rgb);
    EXPECT_TRUE(is(0, 0, 0));
    view_colour(f, mid, r, n, rgb);
    EXPECT_TRUE(is(33, 144, 140));
    view_colour(f, top, r, n, rgb);
    EXPECT_TRUE(is(253, 231, 37));
    EXPECT_EQ(n.nan, 1);
    EXPECT_EQ(n.missing, 1);
    EXPECT_EQ(n.infinite, 2);
    EXPECT_EQ(n.below, 1);
    EXPECT_EQ(n.above, 0);

    // Vectors: as colour, clamped without a range; magenta past a given one
    // or for an infinity.
    uint32_t colour[] = {3, bits(0.5f), bits(2.0f), bits(-1.0f)}, pair[] = {2, bits(5.0f), bits(10.0f)},
             far[] = {3, bits(0.5f), bits(INFINITY), bits(0.0f)};
    ViewRange unit;
    view_colour(v3, colour, unit, n, rgb);
    EXPECT_TRUE(is(128, 255, 0));
    view_colour(v2, pair, r, n, rgb);
    EXPECT_TRUE(is(128, 255, 0)) << "a vec2 as red and green";
    view_colour(v3, colour, r, n, rgb);
    EXPECT_TRUE(is(255, 0, 255));
    EXPECT_EQ(n.outside, 1);
    view_colour(v3, far, unit, n, rgb);
    EXPECT_TRUE(is(255, 0, 255));
    EXPECT_EQ(n.infinite, 3);

    // A range wider than the largest double still maps its middle to the middle.
    ViewRange huge{true, -1.7e308, 1.7e308};
    uint32_t zero[] = {1, bits(0.0f)};
    view_colour(f, zero, huge, n, rgb);
    EXPECT_TRUE(is(33, 144, 140));
}
