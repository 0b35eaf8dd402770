// The path tracer's pieces and the post pass, evaluated through the real
// shader functions on the GLSL bench.
#include "bench.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

const float tol = 2e-4f;

void expect_rgb(const Vec4 &got, float r, float g, float b, float eps, const char *what)
{
    EXPECT_NEAR(got[0], r, eps) << what;
    EXPECT_NEAR(got[1], g, eps) << what;
    EXPECT_NEAR(got[2], b, eps) << what;
}

// The generator's state after n steps from `state`, for counting draws.
uint32_t advance_rng(uint32_t state, int n)
{
    for (int i = 0; i < n; ++i) {
        uint32_t t = (state ^ 61u ^ (state >> 16)) * 9u;
        t ^= t >> 4;
        state = t * 668265261u;
    }
    return state;
}

// The project's shader with the scene replaced by the one in `scene` (a
// function body of p), so that a path's number of hits is known. The tracer
// reaches the scene through probe_scene; the test scene has no car and no
// background to bring within reach.
std::string shader_with_scene(const std::string &scene)
{
    std::string shader = project_shader_text();
    const std::string head = "SceneProbe probe_scene(vec3 p)\n{";
    size_t at = shader.find(head);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no probe_scene definition in the shader";
        return shader;
    }
    shader.replace(at, head.size(), "SceneProbe probe_scene(vec3 p);\nSceneProbe probe_scene_replaced(vec3 p)\n{");
    return shader + "\nvec2 test_scene(vec3 p)\n{\n" + scene +
           "\n}\nSceneProbe probe_scene(vec3 p)\n{\nreturn SceneProbe(test_scene(p), p, false, false);\n}\n";
}

float aces(float c)
{
    float y = c * (2.51f * c + 0.03f) / (c * (2.43f * c + 0.59f) + 0.14f);
    return y < 0 ? 0 : y > 1 ? 1 : y;
}


// Channel c of an RGBA8 picture (bottom row first) at (x, y), repeating past
// the borders as the host's texture does.
double texel(const std::vector<uint8_t> &picture, int x, int y, int c)
{
    x = (x % 1920 + 1920) % 1920;
    y = (y % 1080 + 1080) % 1080;
    return picture[((size_t)y * 1920 + x) * 4 + c] / 255.0;
}

// GL_LINEAR at texture coordinates (s, t).
double bilinear(const std::vector<uint8_t> &picture, double s, double t, int c)
{
    double u = s * 1920 - 0.5, v = t * 1080 - 0.5;
    int x = (int)std::floor(u), y = (int)std::floor(v);
    double a = u - x, b = v - y;
    return (1 - a) * (1 - b) * texel(picture, x, y, c) + a * (1 - b) * texel(picture, x + 1, y, c) +
           (1 - a) * b * texel(picture, x, y + 1, c) + a * b * texel(picture, x + 1, y + 1, c);
}

// The post pass's lookups at pixel (px, py), worked out here: the mean of 16
// aberrated ones a channel, clamped to the picture.
std::array<double, 3> post_lookups(const std::vector<uint8_t> &picture, int px, int py)
{
    const double uv[2] = {(px + 0.5) / 1920, (py + 0.5) / 1080};
    double scale[3] = {1, 1, 1};
    std::array<double, 3> mean = {0, 0, 0};
    for (int round = 0; round < 16; ++round) {
        for (int c = 0; c < 3; ++c) {
            double q[2];
            for (int k = 0; k < 2; ++k) q[k] = std::min(1.0, std::max(0.0, 0.5 - 0.5 * (1 - 2 * uv[k]) * scale[c]));
            mean[c] += bilinear(picture, q[0], q[1], c) / 16;
        }
        scale[0] *= 0.9995;
        scale[2] /= 0.9995;
    }
    return mean;
}

// Channel c of the post pass's result for the mean `mean` of its lookups
// at (px, py), without bloom: the grade, vignette, curve and gamma.
double post_graded(double mean, int c, int px, int py)
{
    const double lift[3] = {0, 0.009, 0.02}, power[3] = {1.02, 1, 1.09};
    const double u = (px + 0.5) / 1920, v = (py + 0.5) / 1080;
    double vignette = 0.3 + 0.7 * std::min(1.0, 28 * u * v * (1 - u) * (1 - v));
    double t = std::min(1.0, std::max(0.0, (mean - 0.08) / (1.11 - 0.08)));
    double colour = (lift[c] + (1 - lift[c]) * t * t * (3 - 2 * t)) * vignette;
    return std::pow(aces((float)std::pow(colour, power[c])), 0.4545);
}

} // namespace

TEST(Tracer, SkyGradientAndDownwardBounces)
{
    // a: direction; b.x: segment
    auto r = glsl_eval("vec4 bench_eval(vec4 a, vec4 b) { return vec4(sky_radiance(normalize(a.xyz), int(b.x)), 0.0); }",
                       {{0, -1, 0, 0}, {1, 0, 0, 0}, {0, 1, 0, 0},
                        {0.995f, -0.0998f, 0, 0}, {0, -1, 0, 0}, {0.9165f, 0.4f, 0, 0}, {0.98869f, 0.15f, 0, 0}},
                       {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
                        {1, 0, 0, 0}, {3, 0, 0, 0}, {2, 0, 0, 0}, {4, 0, 0, 0}});
    expect_rgb(r[0], 0.135f, 0.1386f, 0.153f, tol, "straight down, camera ray");
    expect_rgb(r[1], 0.1035f, 0.1143f, 0.1575f, tol, "horizon");
    expect_rgb(r[2], 0.072f, 0.09f, 0.162f, tol, "straight up");
    expect_rgb(r[3], 0, 0, 0, 1e-4f, "bounce leaving at y = -0.1");
    expect_rgb(r[4], 0, 0, 0, 0, "bounce leaving straight down");
    // full gradient value at y = 0.4: 0.18 * mix(lo, hi, 0.7)
    expect_rgb(r[5], 0.18f * 0.505f, 0.18f * 0.581f, 0.18f * 0.885f, tol, "bounce at y = 0.4");
    // halfway up the falling edge the weight is 0.5
    expect_rgb(r[6], 0.5f * 0.18f * 0.54875f, 0.5f * 0.18f * 0.61475f, 0.5f * 0.18f * 0.87875f, tol, "bounce at y = 0.15");
}

TEST(Tracer, FresnelRaisesTheSpecularChance)
{
    // a: spec_chance, b: direction; the normal is +y
    auto r = glsl_eval("vec4 bench_eval(vec4 a, vec4 b) { return vec4(fresnel_spec_chance(a.x, vec3(0, 1, 0), b.xyz)); }",
                       {{0.15f, 0, 0, 0}, {0.15f, 0, 0, 0}, {0.15f, 0, 0, 0}, {0.3f, 0, 0, 0}},
                       {{0, -1, 0, 0}, {0.8660254f, -0.5f, 0, 0}, {1, 0, 0, 0}, {0.6f, 0.8f, 0, 0}});
    EXPECT_NEAR(r[0][0], 0.15f, 1e-6f) << "normal incidence";
    EXPECT_NEAR(r[1][0], 0.1766f, 1e-4f) << "60 degrees";
    EXPECT_NEAR(r[2][0], 1.0f, 1e-6f) << "grazing";
    EXPECT_NEAR(r[3][0], 1.0f, 1e-6f) << "surface met from behind";
}

TEST(Tracer, LightsAndMaterialTable)
{
    // a.x: id; returns albedo * emission and spec_chance
    const std::string code =
        "vec4 bench_eval(vec4 a, vec4 b) { Material m = material_at(a.x, b.xyz, vec3(0, 1, 0));"
        " return vec4(m.albedo * m.emission, m.spec_chance); }";
    auto r = glsl_eval(code, {{6, 0, 0, 0}, {7, 0, 0, 0}, {3, 0, 0, 0}, {12, 0, 0, 0}},
                       {{0, 6, 0, 0}, {-6, 10, -8, 0}, {0, 1, 14, 0}, {0, 0, 0, 0}});
    expect_rgb(r[0], 40.0f, 34.4f, 28.0f, 1e-3f, "overhead light panel");
    EXPECT_NEAR(r[0][3], 0.9f, 1e-6f);
    expect_rgb(r[1], 3000.0f, 2700.0f, 2250.0f, 1e-2f, "sphere light");
    EXPECT_NEAR(r[1][3], 0.15f, 1e-6f) << "the sphere light keeps the default spec chance";
    expect_rgb(r[2], 0.12f, 0.12f, 0.12f, 1e-6f, "block cores glow faintly");
    expect_rgb(r[3], 0, 0, 0, 0, "ground emits nothing");

    // Ids without a row (0, 12, 13) all get the ground; the sphere light and
    // id 21 take the ground's roughness and tint.
    const std::string fields =
        "vec4 bench_eval(vec4 a, vec4 b) { Material m = material_at(a.x, b.xyz, vec3(0, 1, 0));"
        " return vec4(m.spec_tint.x, m.roughness, m.albedo.x, m.spec_chance); }";
    const Vec4 at = {3.3f, 0, 7.1f, 0};
    auto g = glsl_eval(fields, {{0, 0, 0, 0}, {12, 0, 0, 0}, {13, 0, 0, 0}, {7, 0, 0, 0}, {21, 0, 0, 0}},
                       {at, at, at, at, at});
    for (int i = 1; i < 5; ++i) {
        EXPECT_FLOAT_EQ(g[i][0], g[0][0]) << "spec tint, case " << i;
        EXPECT_FLOAT_EQ(g[i][1], g[0][1]) << "roughness, case " << i;
    }
    EXPECT_FLOAT_EQ(g[1][2], g[0][2]);
    EXPECT_FLOAT_EQ(g[2][2], g[0][2]);
    EXPECT_FLOAT_EQ(g[4][2], 1.0f) << "yellow badge";
    EXPECT_GT(g[0][2], 0.0266f) << "ground albedo is never below its floor";
    EXPECT_LE(g[0][1], 0.6f);
    EXPECT_GE(g[0][1], 0.57f);
}

TEST(Tracer, PatternedAlbedos)
{
    const std::string code =
        "vec4 bench_eval(vec4 a, vec4 b) { return vec4(material_at(a.x, b.xyz, vec3(0, 1, 0)).albedo, 0.0); }";
    // Rail bands: b = mod(0.3 z - 1.3, 2) at 0.25, 1.0, 1.75.
    // Helmet: visor, centre stripe, its black line, dark red shell.
    // Paint: panel, side text (black on the panel), top text (white on red).
    auto r = glsl_eval(code,
                       {{8, 0, 0, 0}, {8, 0, 0, 0}, {8, 0, 0, 0},
                        {10, 0, 0, 0}, {10, 0, 0, 0}, {10, 0, 0, 0}, {10, 0, 0, 0}, {10, 0, 0, 0},
                        {1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}, {1, 0, 0, 0}},
                       {{0, 0.5f, 5.1666667f, 0}, {0, 0.5f, 7.6666667f, 0}, {0, 0.5f, 10.166667f, 0},
                        {0.1f, 0.67f, 0, 0}, {0.0f, 0.72f, 0, 0}, {0.0f, 0.695f, 0, 0}, {0.3f, 0.8f, 0, 0}, {0.3f, 0.67f, 0, 0},
                        {0, 0.9f, 1.1f, 0}, {0, 0.71f, 0.8552083f, 0}, {-0.0575f, 0.5f, -0.2883333f, 0},
                        {0, 0.5f, 2.5f, 0}, {0.0425f, 0.5f, -0.3716667f, 0}});
    expect_rgb(r[0], 0.69f, 0.05f, 0.05f, 1e-6f, "rail red band");
    expect_rgb(r[1], 0.85f, 0.85f, 0.85f, 1e-6f, "rail white band");
    expect_rgb(r[2], 0.6f, 0.6f, 0.6f, 1e-6f, "rail grey band");
    expect_rgb(r[3], 0.02f, 0.02f, 0.02f, 1e-6f, "visor rises with |x|");
    expect_rgb(r[4], 1, 1, 1, 1e-6f, "helmet centre stripe");
    expect_rgb(r[5], 0.02f, 0.02f, 0.02f, 1e-6f, "line across the stripe");
    expect_rgb(r[6], 0.345f, 0, 0, 1e-6f, "helmet shell");
    expect_rgb(r[7], 0.345f, 0, 0, 1e-6f, "the visor's edge is higher away from the middle");
    expect_rgb(r[8], 1, 1, 1, 1e-6f, "paint panel");
    expect_rgb(r[9], 0.02f, 0.02f, 0.02f, 1e-6f, "side text: top-left stroke of the first glyph");
    expect_rgb(r[10], 1, 1, 1, 1e-6f, "top text over the red paint");
    expect_rgb(r[11], 0.345f, 0, 0, 1e-6f, "plain paint");
    expect_rgb(r[12], 0.345f, 0, 0, 1e-6f, "top text: the empty sixth column");
}

TEST(Tracer, WingTextFollowsTheFlapFrame)
{
    // b.xyz: a point in the flap's frame; bench_eval maps it back to the world.
    const std::string code =
        "vec4 bench_eval(vec4 a, vec4 b) { vec3 p = vec3(0.0, 0.92, 2.5) + rotate_xyz(b.xyz, vec3(0.7, 0.0, 0.0));"
        " return vec4(material_at(2.0, p, vec3(0, 1, 0)).albedo, font_glyph_bold(vec2(24.0 - 48.0 * b.x, 24.0 * b.z + 2.88))); }";
    // glyph 0 ("V"), column 0 at row 5: set; the gap column 5 (+0.5 bold) is clear
    auto r = glsl_eval(code, {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
                       {{(24.0f - 0.5f) / 48.0f, 0.3f, (5.5f - 2.88f) / 24.0f, 0},
                        {(24.0f - 5.7f) / 48.0f, -0.2f, (1.5f - 2.88f) / 24.0f, 0},
                        {0.9f, 0, 0, 0}});
    EXPECT_EQ(r[0][3], 1.0f);
    expect_rgb(r[0], 0.02f, 0.02f, 0.02f, 1e-5f, "text stroke, either face of the flap");
    EXPECT_EQ(r[1][3], 0.0f);
    expect_rgb(r[1], 0.85f, 0.85f, 0.85f, 1e-6f, "between glyphs");
    expect_rgb(r[2], 0.85f, 0.85f, 0.85f, 1e-6f, "outside the text");
}

TEST(Tracer, CompressionAndToneMap)
{
    // a: radiance, b: primary direction
    const std::string code = "vec4 bench_eval(vec4 a, vec4 b) { return vec4(finish_sample(a.xyz, normalize(b.xyz)), 0.0); }";
    const Vec4 away = {-0.7f, -0.1f, -0.8f, 0};
    const Vec4 sun = {0.7f, 0.1f, 0.8f, 0};
    auto r = glsl_eval(code, {{1, 0, 10, 0}, {3000, 1e6f, 0.5f, 0}, {0, 0, 0, 0}}, {away, away, sun});
    expect_rgb(r[0], 0.8805f, 0, 0.9853f, 2e-4f, "1, 0 and 10 after the glow (none here)");
    EXPECT_LT(r[1][1], 0.9972f) << "any radiance stays below 0.9972";
    EXPECT_GT(r[1][0], 0.99f);
    // the glow peaks at the sun direction: (0.1125, 0.084375, 0.0675) added
    const float glow[3] = {0.1125f, 0.084375f, 0.0675f};
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(r[2][c], aces(glow[c] / (0.5f + 0.15f * glow[c])), 2e-5f) << "channel " << c;
}

TEST(Font, ZeroOutsideItsLineAndInEveryGapColumn)
{
    const std::string code = "vec4 bench_eval(vec4 a, vec4 b) { return vec4(font_glyph(a.xy), font_glyph_bold(a.xy), 0, 0); }";
    std::vector<Vec4> outside = {{-0.001f, 3.5f, 0, 0}, {-5.5f, 0.5f, 0, 0}, {48.0f, 3.5f, 0, 0}, {60.5f, 2.5f, 0, 0},
                                 {2.5f, -0.01f, 0, 0}, {0.5f, 6.0f, 0, 0}, {0.5f, 9.5f, 0, 0}, {-1e9f, -1e9f, 0, 0},
                                 {1e9f, 1e9f, 0, 0}, {3.5f, -4e9f, 0, 0}, {NAN, 2.5f, 0, 0}, {2.5f, INFINITY, 0, 0}};
    for (const Vec4 &v : glsl_eval(code, outside)) EXPECT_EQ(v[0], 0.0f) << v[2];
    std::vector<Vec4> gaps;
    for (int column = 5; column < 48; column += 6)
        for (int row = 0; row < 6; ++row)
            for (float f : {0.01f, 0.5f, 0.99f}) gaps.push_back({column + f, row + f, 0, 0});
    auto r = glsl_eval(code, gaps);
    for (size_t i = 0; i < r.size(); ++i) EXPECT_EQ(r[i][0], 0.0f) << gaps[i][0] << ", " << gaps[i][1];
}

TEST(Font, SpellsTheTeamNameAndBoldThickens)
{
    // The line as it reads on the car, top row first.
    const char *const banner[6] = {
        "X...X XXXXX X.... .XXX. X...X       .XXX. XXXXX ",
        "X...X X.... X.... X...X .X.X.       X...X ....X ",
        "X...X XXXX. X.... X...X ..X..       ...X. ...X. ",
        ".X.X. X.... X.... X...X ..X..       ..X.. ..X.. ",
        ".X.X. X.... X.... X...X .X.X.       .X... ..X.. ",
        "..X.. XXXXX XXXXX .XXX. X...X       XXXXX ..X.. ",
    };
    const std::string code = "vec4 bench_eval(vec4 a, vec4 b) { return vec4(font_glyph(a.xy), font_glyph_bold(a.xy), 0, 0); }";
    std::vector<Vec4> cells;
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 48; ++column) cells.push_back({column + 0.5f, row + 0.5f, 0, 0});
    auto r = glsl_eval(code, cells);
    ASSERT_EQ(r.size(), cells.size());
    auto bit = [&](int column, int row) {
        return column < 0 || row < 0 ? 0.0f : r[row * 48 + column][0];
    };
    for (int row = 0; row < 6; ++row) {
        std::string line;
        for (int column = 0; column < 48; ++column) line += bit(column, row) == 1.0f ? 'X' : '.';
        std::string expected = banner[5 - row];
        for (char &c : expected) if (c == ' ') c = '.';
        EXPECT_EQ(line, expected) << "row " << row;
    }
    // At a cell's upper part the bold glyph also covers the cell to the
    // left, the one below and the one below-left (0.8 of a row up).
    std::vector<Vec4> upper;
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 48; ++column) upper.push_back({column + 0.5f, row + 0.9f, 0, 0});
    auto bold = glsl_eval(code, upper);
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 48; ++column) {
            // the 0.8 shift from y = row + 0.9 lands in the same row
            float expected = std::max(bit(column, row), bit(column - 1, row));
            EXPECT_EQ(bold[row * 48 + column][1], expected) << column << ", " << row;
        }
    for (int row = 0; row < 6; ++row)
        for (int column = 0; column < 48; ++column) {
            float expected = std::max(std::max(bit(column, row), bit(column - 1, row)),
                                      std::max(bit(column, row - 1), bit(column - 1, row - 1)));
            EXPECT_EQ(r[row * 48 + column][1], expected) << "lower half, " << column << ", " << row;
        }
}

TEST(Tracer, RandomDrawsPerSample)
{
    // Every draw is counted by comparing the generator's state afterwards.
    const std::string code =
        "vec4 bench_eval(vec4 a, vec4 b) { rng_state = floatBitsToUint(a.x); x = a.y;"
        " sample_pass(a.zw); return vec4(uintBitsToFloat(rng_state)); }";
    const uint32_t seed = 123456789u;
    Vec4 in = {0, 0, 0.1f, -0.2f};
    std::memcpy(&in[0], &seed, 4);
    // Nothing to hit: only the two lens draws.
    auto miss = glsl_eval(code, {in}, {}, shader_with_scene("return vec2(1e3, 12.0);"));
    EXPECT_EQ(float_bits(miss[0][0]), advance_rng(seed, 2));
    // A surface everywhere under the march's tolerance, with the light
    // panel's material: every segment hits and the roulette never ends the
    // path (its throughput keeps a component >= 1), so 2 + 5 * 5 draws.
    auto hits = glsl_eval(code, {in, {in[0], 77, 0.5f, 0.3f}}, {},
                          shader_with_scene("return vec2(1e-7 * (p.y + 10.0), 6.0);"));
    EXPECT_EQ(float_bits(hits[0][0]), advance_rng(seed, 27));
    EXPECT_EQ(float_bits(hits[1][0]), advance_rng(seed, 27));
}

TEST(PostProcess, DrawsAFixedNumberOfRandomNumbers)
{
    const std::string code =
        "vec4 bench_eval(vec4 a, vec4 b) { rng_state = floatBitsToUint(a.x); post_process(a.yz);"
        " return vec4(uintBitsToFloat(rng_state)); }";
    const uint32_t seed = 987654321u;
    Vec4 in = {0, 0.5f, 0.5f, 0};
    std::memcpy(&in[0], &seed, 4);
    auto r = glsl_eval(code, {in, {in[0], 0.01f, 0.99f, 0}});
    EXPECT_EQ(float_bits(r[0][0]), advance_rng(seed, 192));
    EXPECT_EQ(float_bits(r[1][0]), advance_rng(seed, 192));
}

TEST(PostProcess, BlackAndWhiteInputs)
{
    std::vector<uint8_t> black(1920 * 1080 * 4, 0);
    auto b = glsl_render_pixels(project_shader_text(), 128, 2, {{960, 540}, {0, 0}, {1919, 1079}},
                                &black);
    expect_rgb(b[0], 0, 0.0740f, 0.0990f, 5e-4f, "centre over black: the lifted black");
    expect_rgb(b[1], 0, 0.0369f, 0.0443f, 5e-4f, "corner over black: vignette 0.3");
    expect_rgb(b[2], 0, 0.0369f, 0.0443f, 5e-4f, "opposite corner");
    EXPECT_EQ(b[0][3], 0.0f) << "alpha stays 0";

    std::vector<uint8_t> white(1920 * 1080 * 4, 255);
    auto w = glsl_render_pixels(project_shader_text(), 128, 2, {{960, 540}, {0, 540}}, &white);
    expect_rgb(w[0], 0.9055f, 0.9055f, 0.9055f, 5e-4f, "centre over white: never pure white");
    EXPECT_LT(w[1][0], 0.75f) << "the vignette darkens the border";
    EXPECT_EQ(w[0][3], 0.0f);
}

TEST(PostProcess, EdgePixelsLookUpClampedAberratedTexels)
{
    // A saw-tooth of 7 levels a pixel, each channel its own, never above
    // 107/255 so that nothing blooms: at the borders the blue lookups,
    // spread outwards, stop at the picture's edge, and the red ones move in.
    std::vector<uint8_t> picture(1920 * 1080 * 4, 0);
    for (int y = 0; y < 1080; ++y)
        for (int x = 0; x < 1920; ++x)
            for (int c = 0; c < 3; ++c)
                picture[((size_t)y * 1920 + x) * 4 + c] = (uint8_t)(20 + (7 * x + 13 * y + 29 * c) % 88);
    const std::vector<std::array<int, 2>> pixels = {{0, 0},      {1919, 0}, {0, 1079},   {1919, 1079}, {0, 540},
                                                    {1919, 541}, {961, 0},  {960, 1079}, {3, 2},       {1917, 1076}};
    auto got = glsl_render_pixels(project_shader_text(), 128, 2, pixels, &picture);
    // The driver filters in 8 bits: each lookup may be a level off. The
    // grading rises with the mean, so the result lies between those of the
    // means a level apart.
    const double level = 1.0 / 255;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int x = pixels[i][0], y = pixels[i][1];
        std::array<double, 3> mean = post_lookups(picture, x, y);
        for (int c = 0; c < 3; ++c) {
            EXPECT_GE(got[i][c], post_graded(mean[c] - level, c, x, y) - 1e-5) << x << "," << y << " channel " << c;
            EXPECT_LE(got[i][c], post_graded(mean[c] + level, c, x, y) + 1e-5) << x << "," << y << " channel " << c;
        }
    }
}

TEST(MaterialTable, EveryIdGetsItsOwnRow)
{
    // The rows as the shader's text has them: material_at's default before
    // its first test, then each `id == NAME` branch, rebuilt here as a
    // function of its own; the ids' values from their declarations.
    const std::string shader = project_shader_text();
    const std::string head = "Material material_at(float id, vec3 p, vec3 n)\n{";
    size_t at = shader.find(head), first = shader.find("    if (id ==", at);
    ASSERT_NE(at, std::string::npos);
    ASSERT_NE(first, std::string::npos);
    const std::string prelude = shader.substr(at + head.size(), first - at - head.size());
    std::string body = shader.substr(first, shader.find("\n}\n", first) - first);
    std::map<std::string, std::string> rows;
    std::regex branch(R"(if \(id == (MAT_[A-Z_]+)\) \{([^}]*)\})");
    for (std::sregex_iterator m(body.begin(), body.end(), branch), end; m != end; ++m) {
        EXPECT_EQ(rows.count((*m)[1]), 0u) << (*m)[1] << " tested twice";
        rows[(*m)[1]] = (*m)[2];
    }
    std::vector<std::pair<std::string, float>> ids; // every id, its value
    std::regex declared(R"(const float (MAT_[A-Z_]+) = ([0-9.]+);)");
    for (std::sregex_iterator m(shader.begin(), shader.end(), declared), end; m != end; ++m)
        ids.push_back({(*m)[1], std::stof((*m)[2])});
    ASSERT_GE(rows.size(), 10u);

    std::string code, choose;
    for (size_t k = 0; k < ids.size(); ++k) {
        // An id without a row gets the default.
        auto row = rows.find(ids[k].first);
        code += "Material table_row_" + std::to_string(k) + "(vec3 p, vec3 n)\n{" + prelude +
                (row == rows.end() ? "" : row->second) + "\nreturn mat;\n}\n";
        choose += "if (k == " + std::to_string(k) + ") return table_row_" + std::to_string(k) + "(p, n);\n";
        if (row != rows.end()) rows.erase(row);
    }
    EXPECT_TRUE(rows.empty()) << "a row for an id never declared: " << rows.begin()->first;
    code += "Material table_row(int k, vec3 p, vec3 n)\n{\n" + choose + "return table_row_0(p, n);\n}\n"
            "vec4 bench_eval(vec4 a, vec4 b) {\n"
            "  vec3 n = vec3(0.6, 0.8, 0.0);\n"
            "  Material m = a.z == 0.0 ? material_at(a.x, b.xyz, n) : table_row(int(a.y), b.xyz, n);\n"
            "  if (b.w == 0.0) return vec4(m.albedo, m.spec_chance);\n"
            "  if (b.w == 1.0) return vec4(m.spec_tint, m.roughness);\n"
            "  return vec4(m.emission);\n}\n";
    // On the paint's white panel and out on the road, each field group of
    // material_at and of the row, side by side.
    const Vec4 points[2] = {{0.05f, 0.87f, 1.09f, 0}, {3.3f, 0, 7.1f, 0}};
    std::vector<Vec4> a, b;
    for (size_t k = 0; k < ids.size(); ++k)
        for (const Vec4 &p : points)
            for (float group = 0; group < 3; ++group)
                for (float from_row = 0; from_row < 2; ++from_row) {
                    a.push_back({ids[k].second, (float)k, from_row, 0});
                    b.push_back({p[0], p[1], p[2], group});
                }
    auto r = glsl_eval(code, a, b);
    for (size_t i = 0; i + 1 < r.size(); i += 2)
        for (int c = 0; c < 4; ++c)
            EXPECT_FLOAT_EQ(r[i][c], r[i + 1][c]) << ids[(size_t)a[i][1]].first << ", field group " << b[i][3]
                                                  << ", component " << c;
}

TEST(PostProcess, BloomSpreadsOnlyWhatExceedsTheThreshold)
{
    // A bright square in the middle of black: light bleeds outwards, more in
    // red than in blue; a square at 0.42 adds no bloom at all.
    auto square = [](uint8_t level) {
        std::vector<uint8_t> picture(1920 * 1080 * 4, 0);
        for (int y = 340; y < 740; ++y)
            for (int x = 760; x < 1160; ++x)
                for (int c = 0; c < 3; ++c) picture[(y * 1920 + x) * 4 + c] = level;
        return picture;
    };
    std::vector<uint8_t> bright = square(255), dim = square(107); // 107/255 = 0.4196
    const std::vector<std::array<int, 2>> pixels = {{1220, 540}, {1400, 540}};
    auto lit = glsl_render_pixels(project_shader_text(), 128, 2, pixels, &bright);
    auto flat = glsl_render_pixels(project_shader_text(), 128, 2, pixels, &dim);
    EXPECT_GT(lit[0][0], 0.2f) << "60 px from a bright square";
    EXPECT_GT(lit[0][0] - 0.0f, lit[0][2] - 0.0990f) << "orange bloom: more red than blue";
    expect_rgb(lit[1], 0, 0.0740f, 0.0990f, 5e-4f, "beyond the bloom's reach");
    expect_rgb(flat[0], 0, 0.0740f, 0.0990f, 5e-4f, "no excess over 0.42, no bloom");
}
