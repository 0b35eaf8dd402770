// The shader's foundations on the real driver: interface and main, random
// numbers, noise, rotations, tone map, distance primitives and operators.
#include "bench.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

const float pi = 3.14159265f;

float bits_float(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// The generator's step on the CPU, only to find states with a chosen output.
uint32_t wang_forward(uint32_t s)
{
    uint32_t t = (s ^ 61u ^ (s >> 16)) * 9u;
    t ^= t >> 4;
    t *= 668265261u;
    return t ^ (t >> 15);
}

uint32_t odd_inverse(uint32_t a)
{
    uint32_t inv = a;   // Newton's iteration doubles the correct low bits each step
    for (int i = 0; i < 5; ++i) inv *= 2u - a * inv;
    return inv;
}

// A state from which the generator returns `out`.
uint32_t wang_inverse(uint32_t out)
{
    uint32_t t = out ^ (out >> 15) ^ (out >> 30);
    t *= odd_inverse(668265261u);
    t ^= (t >> 4) ^ (t >> 8) ^ (t >> 12) ^ (t >> 16) ^ (t >> 20) ^ (t >> 24) ^ (t >> 28);
    t *= odd_inverse(9u);
    uint32_t w = t ^ 61u;
    return w ^ (w >> 16);
}

Vec4 scalar(float s)
{
    return Vec4{s, 0.0f, 0.0f, 0.0f};
}

// Evaluates a float expression of `a` and `b` (GLSL), one result per input.
std::vector<float> eval_float(const std::string &expression, const std::vector<Vec4> &a,
                              const std::vector<Vec4> &b = {})
{
    std::vector<Vec4> out =
        glsl_eval("vec4 bench_eval(vec4 a, vec4 b) { return vec4(" + expression + "); }", a, b);
    std::vector<float> values;
    for (const Vec4 &v : out) values.push_back(v[0]);
    return values;
}

// ---------------------------------------------------------------------------
// Random numbers

TEST(Generator, SequenceFromStateOne)
{
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            rng_state = 1u;
            uint r0 = rng_uint(); uint s0 = rng_state;
            uint r1 = rng_uint(); uint s1 = rng_state;
            uint r2 = rng_uint(); uint s2 = rng_state;
            return a.x == 0.0 ? uintBitsToFloat(uvec4(r0, s0, r1, s1)) : uintBitsToFloat(uvec4(r2, s2, 0u, 0u));
        })",
                         {scalar(0), scalar(1)});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(float_bits(out[0][0]), 663891101u);
    EXPECT_EQ(float_bits(out[0][1]), 663905209u);
    EXPECT_EQ(float_bits(out[0][2]), 2918292387u);
    EXPECT_EQ(float_bits(out[0][3]), 2918236226u);
    EXPECT_EQ(float_bits(out[1][0]), 2968413317u);
    EXPECT_EQ(float_bits(out[1][1]), 2968454491u);
}

TEST(Generator, FloatAdvancesTheSameStream)
{
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            rng_state = 1u;
            float u = rng_float();
            return vec4(u, uintBitsToFloat(rng_uint()), 0.0, 0.0);
        })",
                         {scalar(0)});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_NEAR(out[0][0], 663891101.0 * 2.3283e-10, 1e-7);
    EXPECT_EQ(float_bits(out[0][1]), 2918292387u);
}

TEST(Generator, FloatStaysBelowOneAtLargestUint)
{
    const uint32_t state = wang_inverse(0xFFFFFFFFu);
    ASSERT_EQ(wang_forward(state), 0xFFFFFFFFu);
    Vec4 in = {bits_float(state), 0.0f, 0.0f, 0.0f};
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            rng_state = floatBitsToUint(a.x);
            uint r = rng_uint();
            rng_state = floatBitsToUint(a.x);
            return vec4(uintBitsToFloat(r), rng_float(), 0.0, 0.0);
        })",
                         {in});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(float_bits(out[0][0]), 0xFFFFFFFFu);
    EXPECT_LT(out[0][1], 1.0f);
    EXPECT_NEAR(out[0][1], 0.9999973f, 2e-7f);
}

TEST(MainSetup, SeedsAndGlobalsForSampleZero)
{
    // Inputs 0, 1, 2 and 256 sit at pixels (0,0), (1,0), (2,0) and (0,1).
    std::vector<Vec4> in(257, scalar(0));
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            return vec4(uintBitsToFloat(rng_state), frag_coord.xy, x);
        })",
                         in);
    ASSERT_EQ(out.size(), 257u);
    EXPECT_EQ(float_bits(out[0][0]), 1u);
    EXPECT_EQ(float_bits(out[1][0]), 1973u);
    EXPECT_EQ(float_bits(out[2][0]), 3947u);
    EXPECT_EQ(float_bits(out[256][0]), 9277u);
    EXPECT_EQ(out[256][1], 0.5f);
    EXPECT_EQ(out[256][2], 1.5f);
    EXPECT_EQ(out[2][1], 2.5f);
    for (const Vec4 &v : out) {
        EXPECT_EQ(float_bits(v[0]) & 1u, 1u);
        EXPECT_EQ(v[3], 0.0f);
    }
}

// ---------------------------------------------------------------------------
// Hash and noise

TEST(Noise, ZeroPointAndLatticeValues)
{
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            return vec4(hash21(a.xy), value_noise(a.xy), hash21(a.xy) * 1.3 - 0.175, fbm2(a.xy));
        })",
                         {{0, 0, 0, 0}, {3, -2, 0, 0}, {17, 5, 0, 0}, {-40, 12, 0, 0}});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_EQ(out[0][0], 0.0f);
    EXPECT_FLOAT_EQ(out[0][1], -0.175f);
    for (const Vec4 &v : out) {
        EXPECT_GE(v[0], 0.0f);
        EXPECT_LT(v[0], 1.0f);
        EXPECT_NEAR(v[1], v[2], 1e-6f);
        EXPECT_GE(v[3], -0.35f);
        EXPECT_LT(v[3], 2.25f);
    }
}

TEST(Noise, ContinuousAcrossCellBorders)
{
    // Pairs of points 2e-4 apart straddling vertical and horizontal borders.
    std::vector<Vec4> a, b;
    const float e = 1e-4f;
    for (int i = 0; i < 12; ++i) {
        float border = (float)(i - 5);
        float along = 0.13f + 0.07f * (float)i;
        a.push_back({border - e, along, 0, 0});
        b.push_back({border + e, along, 0, 0});
        a.push_back({along + 3.0f, border - e, 0, 0});
        b.push_back({along + 3.0f, border + e, 0, 0});
    }
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            return vec4(value_noise(a.xy), value_noise(b.xy), fbm2(a.xy), fbm2(b.xy));
        })",
                         a, b);
    ASSERT_EQ(out.size(), a.size());
    for (size_t i = 0; i < out.size(); ++i) {
        EXPECT_NEAR(out[i][0], out[i][1], 2e-3f) << "border pair " << i;
        EXPECT_NEAR(out[i][2], out[i][3], 5e-3f) << "border pair " << i;
    }
}

TEST(Noise, SecondOctaveIsShiftedThenDoubled)
{
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            return vec4(fbm2(a.xy), value_noise(a.xy) + value_noise(2.0 * a.xy + 80.0), 0.0, 0.0);
        })",
                         {{0.3f, 0.7f, 0, 0}, {-2.6f, 4.1f, 0, 0}, {11.25f, -7.5f, 0, 0}});
    for (const Vec4 &v : out) EXPECT_NEAR(v[0], v[1], 1e-5f);
}

// ---------------------------------------------------------------------------
// Rotations, tone map, falling smoothstep

TEST(Rotation, PairAndThreeAxisConventions)
{
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            if (a.w == 0.0) {
                vec2 q = vec2(1.0, 0.0);
                q *= rot2(a.x);
                return vec4(q, 0.0, 0.0);
            }
            return vec4(rotate_xyz(a.xyz, b.xyz), 0.0);
        })",
                         {{pi / 2, 0, 0, 0}, {0.3f, 0, 0, 0}, {1, 0, 0, 1}, {0, 1, 0, 1}, {0, 0, 1, 1},
                          {0, 1, 0, 1}, {1, 0, 0, 1}},
                         {{}, {}, {0, pi / 2, 0, 0}, {pi / 2, 0, 0, 0}, {0, 0, pi / 2, 0},
                          {pi / 2, pi / 2, 0, 0}, {0, 0, -pi / 2, 0}});
    ASSERT_EQ(out.size(), 7u);
    const float expected[7][3] = {
        {0, -1, 0},                               // (1,0) * rot2(pi/2)
        {std::cos(0.3f), -std::sin(0.3f), 0},     // turns from the first axis towards the second
        {0, 0, -1},                               // x about y
        {0, 0, -1},                               // y about x
        {0, 0, 1},                                // z axis unmoved by the (x, y) turn
        {-1, 0, 0},                               // (y,z) first, then (x,z); other order gives (0,0,-1)
        {0, 1, 0},                                // negative angle turns the other way
    };
    for (int i = 0; i < 7; ++i)
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(out[i][c], expected[i][c], 1e-6f) << "case " << i << " axis " << c;
}

TEST(ToneMap, KnownValuesPerComponentAndClamp)
{
    auto out = glsl_eval("vec4 bench_eval(vec4 a, vec4 b) { return vec4(tonemap_aces(a.xyz), 0.0); }",
                         {{0.0f, 0.18f, 1.0f, 0}, {2.0f, 10.0f, -0.01f, 0}, {7.0f, 100.0f, 1e6f, 0}});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0][0], 0.0f);
    EXPECT_NEAR(out[0][1], 0.2669f, 1e-4f);
    EXPECT_NEAR(out[0][2], 0.8038f, 1e-4f);
    EXPECT_NEAR(out[1][0], 0.9149f, 1e-4f);
    EXPECT_EQ(out[1][1], 1.0f);
    EXPECT_EQ(out[1][2], 0.0f);
    EXPECT_LT(out[2][0], 1.0f);
    EXPECT_EQ(out[2][1], 1.0f);
    EXPECT_EQ(out[2][2], 1.0f);
}

TEST(SmoothstepAny, FallingAndRisingEdges)
{
    auto out = eval_float("smoothstep_any(a.x, a.y, a.z), 0.0, 0.0, 0.0",
                          {{0.1f, 0.05f, 0.02f, 0}, {0.1f, 0.05f, 0.2f, 0}, {0.1f, 0.05f, 0.075f, 0},
                           {0.1f, 0.05f, 0.0625f, 0}, {0.0f, 1.0f, 0.25f, 0}, {0.0f, 1.0f, 2.0f, 0}});
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[0], 1.0f);
    EXPECT_EQ(out[1], 0.0f);
    EXPECT_NEAR(out[2], 0.5f, 1e-5f);
    EXPECT_NEAR(out[3], 0.84375f, 1e-5f);   // t = 0.75 of the way down
    EXPECT_NEAR(out[4], 0.15625f, 1e-6f);
    EXPECT_EQ(out[5], 1.0f);
}

// ---------------------------------------------------------------------------
// Distance primitives and operators

TEST(Primitives, Box)
{
    auto out = eval_float("sd_box(a.xyz, b.xyz), 0.0, 0.0, 0.0",
                          {{0, 0, 0, 0}, {1, 0.5f, -2, 0}, {2, 3, 4, 0}, {-2, -3, 0.5f, 0}, {0, 0, -3.5f, 0}},
                          {{1, 2, 3, 0}, {1, 2, 3, 0}, {1, 1, 1, 0}, {1, 1, 1, 0}, {1, 2, 3, 0}});
    ASSERT_EQ(out.size(), 5u);
    EXPECT_FLOAT_EQ(out[0], -1.0f);                    // centre: -min(b)
    EXPECT_EQ(out[1], 0.0f);                           // on a face
    EXPECT_FLOAT_EQ(out[2], std::sqrt(14.0f));         // beyond a corner
    EXPECT_FLOAT_EQ(out[3], std::sqrt(5.0f));          // beyond an edge
    EXPECT_FLOAT_EQ(out[4], 0.5f);                     // straight out from a face
}

TEST(Primitives, CylinderAndZeroHeightDisc)
{
    auto out = eval_float("sd_cylinder(a.xyz, b.x, b.y), 0.0, 0.0, 0.0",
                          {{0.3f, 0, 0.2f, 0}, {0.3f, 0.5f, 0.2f, 0}, {0, -0.25f, 0, 0}, {2, 0, 0, 0},
                           {0, 0, 0, 0}, {0.5f, 3, 0, 0}},
                          {{0, 1, 0, 0}, {0, 1, 0, 0}, {0, 1, 0, 0}, {0, 1, 0, 0}, {2, 1, 0, 0}, {2, 0.1f, 0, 0}});
    ASSERT_EQ(out.size(), 6u);
    EXPECT_EQ(out[0], 0.0f);                 // on the disc
    EXPECT_FLOAT_EQ(out[1], 0.5f);           // above its interior
    EXPECT_FLOAT_EQ(out[2], 0.25f);          // below its centre
    EXPECT_FLOAT_EQ(out[3], 1.0f);           // beside its rim
    EXPECT_FLOAT_EQ(out[4], -1.0f);          // centre of a tall one: nearest is the side
    EXPECT_NEAR(out[5], std::sqrt(0.16f + 1.0f), 1e-6f);   // beyond the rim edge (half-height first)
}

TEST(Primitives, Torus4RingAndStretch)
{
    const float r = 1.5f;
    auto out = eval_float("sd_torus4(a.xyz, b.xyz), 0.0, 0.0, 0.0",
                          {{r, 0, 0, 0}, {r * std::cos(1.0f), 0, r * std::sin(1.0f), 0}, {0, 0, 0, 0},
                           {r + 0.1f, 0.1f, 0, 0}, {r, 0.3f, 0, 0}, {r, 0.7f, 0, 0}, {r + 0.3f, 0, 0, 0}},
                          {{r, 0, 0, 0}, {r, 0, 0, 0}, {r, 0, 0, 0}, {r, 0, 0, 0}, {r, 0, 0.5f, 0},
                           {r, 0, 0.5f, 0}, {r, 0.1f, 0, 0}});
    ASSERT_EQ(out.size(), 7u);
    EXPECT_NEAR(out[0], 0.0f, 1e-6f);                        // on the circle
    EXPECT_NEAR(out[1], 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(out[2], r);                              // ring centre
    EXPECT_NEAR(out[3], 0.1f * std::pow(2.0f, 0.25f), 1e-6f);  // diagonal: fourth-power norm
    EXPECT_NEAR(out[4], 0.0f, 1e-6f);                        // inside the stretch
    EXPECT_NEAR(out[5], 0.2f, 1e-6f);                        // past the stretch
    EXPECT_NEAR(out[6], 0.2f, 1e-6f);                        // straight out from the tube
}

TEST(Primitives, EllipsoidSurfaceOutsideAndCentre)
{
    auto out = eval_float("sd_ellipsoid(a.xyz, b.xyz), 0.0, 0.0, 0.0",
                          {{0.5f, 0, 0, 0}, {0, 0, 1.77f, 0}, {1.0f, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
                           {1e-30f, 0, 0, 0}, {0, 0.1f, 0, 0}},
                          {{0.5f, 0.2f, 1.77f, 0}, {0.5f, 0.2f, 1.77f, 0}, {0.5f, 0.2f, 1.77f, 0},
                           {0.5f, 0.2f, 1.77f, 0}, {1, 1, 1, 0}, {0.5f, 0.2f, 1.77f, 0}, {0.5f, 0.2f, 1.77f, 0}});
    ASSERT_EQ(out.size(), 7u);
    EXPECT_NEAR(out[0], 0.0f, 1e-6f);
    EXPECT_NEAR(out[1], 0.0f, 1e-6f);
    EXPECT_NEAR(out[2], 0.5f, 1e-6f);        // straight out along an axis: exact
    EXPECT_FLOAT_EQ(out[3], -0.2f);          // centre: distance to the nearest surface point
    EXPECT_FLOAT_EQ(out[4], -1.0f);
    for (float d : out) EXPECT_FALSE(std::isnan(d));
    EXPECT_LT(out[5], 0.0f);                 // next to the centre: inside, finite
    EXPECT_LT(out[6], 0.0f);
}

TEST(Primitives, ParabolaSheet)
{
    const float k = 2.0f;
    auto out = eval_float("sd_parabola(a.xyz, b.x), 0.0, 0.0, 0.0",
                          {{1.0f, -0.25f, 5.0f, 0}, {-2.0f, -1.0f, 0, 0}, {0, 0.5f, 7.0f, 0}, {0, -0.5f, 0, 0},
                           {2.0f, 0, 0, 0}},
                          {{k, 0, 0, 0}, {k, 0, 0, 0}, {k, 0, 0, 0}, {k, 0, 0, 0}, {k, 0, 0, 0}});
    ASSERT_EQ(out.size(), 5u);
    EXPECT_NEAR(out[0], 0.0f, 1e-6f);        // on the parabola, any z
    EXPECT_NEAR(out[1], 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(out[2], 0.5f);           // above the apex
    EXPECT_FLOAT_EQ(out[3], -0.5f);          // below it
    EXPECT_NEAR(out[4], 1.0f / std::sqrt(2.0f), 1e-6f);   // g = 1 over a gradient of length sqrt(2)
}

TEST(Primitives, SegmentIncludingZeroLength)
{
    auto out = eval_float("sd_segment(a.xy, b.xy), 0.0, 0.0, 0.0",
                          {{1, 1, 0, 0}, {3, 4, 0, 0}, {-3, 4, 0, 0}, {1, 0, 0, 0}, {3, 4, 0, 0}, {0, 0, 0, 0}},
                          {{2, 0, 0, 0}, {2, 0, 0, 0}, {2, 0, 0, 0}, {2, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}});
    ASSERT_EQ(out.size(), 6u);
    EXPECT_FLOAT_EQ(out[0], 1.0f);                      // beside the middle
    EXPECT_FLOAT_EQ(out[1], std::sqrt(17.0f));          // past the end
    EXPECT_FLOAT_EQ(out[2], 5.0f);                      // behind the origin
    EXPECT_EQ(out[3], 0.0f);                            // on it
    EXPECT_FLOAT_EQ(out[4], 5.0f);                      // zero length: distance to the point
    EXPECT_EQ(out[5], 0.0f);
}

TEST(Operators, SmoothMin)
{
    auto out = eval_float("smooth_min(a.x, a.y, a.z), 0.0, 0.0, 0.0",
                          {{0.3f, 0.3f, 0.2f, 0}, {0.1f, 0.5f, 0.4f, 0}, {0.9f, -0.5f, 1.0f, 0}, {0.1f, 0.2f, 0.4f, 0}});
    ASSERT_EQ(out.size(), 4u);
    EXPECT_NEAR(out[0], 0.3f - 0.05f, 1e-6f);   // equal: a - k/4
    EXPECT_NEAR(out[1], 0.1f, 1e-6f);           // |a - b| = k: plain min
    EXPECT_FLOAT_EQ(out[2], -0.5f);             // beyond k
    EXPECT_LT(out[3], 0.1f);                    // within k: blends below the min
    auto swapped = glsl_eval("vec4 bench_eval(vec4 a, vec4 b) { return vec4(smooth_min(a.y, a.x, a.z)); }",
                             {{0.1f, 0.2f, 0.4f, 0}});
    EXPECT_FLOAT_EQ(swapped[0][0], out[3]);     // symmetric
}

TEST(Operators, SmoothSubtract)
{
    auto out = eval_float("smooth_subtract(a.x, a.y, a.z), 0.0, 0.0, 0.0",
                          {{2.0f, 0.5f, 0.5f, 0}, {-2.0f, 0.5f, 0.5f, 0}, {-0.3f, 0.3f, 0.4f, 0},
                           {-0.3f, 0.5f, 0.2f, 0}, {0.1f, 0.05f, 0.4f, 0}});
    ASSERT_EQ(out.size(), 5u);
    EXPECT_FLOAT_EQ(out[0], 0.5f);              // cutter far away: b
    EXPECT_FLOAT_EQ(out[1], 2.0f);              // deep in the cutter: -a
    EXPECT_NEAR(out[2], 0.3f + 0.1f, 1e-6f);    // b = -a: b + k/4
    EXPECT_NEAR(out[3], 0.5f, 1e-6f);           // a + b = k: the blend's edge
    EXPECT_GT(out[4], 0.05f);                   // within k: above max(b, -a)
}

TEST(Operators, UnionTiesGoToSecond)
{
    auto out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            return vec4(op_union(a.xy, b.xy), op_union(b.xy, a.xy));
        })",
                         {{1, 3, 0, 0}, {0.5f, 3, 0, 0}, {-0.0f, 4, 0, 0}}, {{1, 7, 0, 0}, {0.7f, 7, 0, 0}, {0.0f, 9, 0, 0}});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0][1], 7.0f);   // tie: second argument
    EXPECT_EQ(out[0][3], 3.0f);
    EXPECT_EQ(out[1][1], 3.0f);   // nearer wins either way round
    EXPECT_EQ(out[1][3], 3.0f);
    EXPECT_EQ(out[2][1], 9.0f);   // -0 and 0 are equal distances
    EXPECT_EQ(out[2][3], 4.0f);
}

// ---------------------------------------------------------------------------
// Passes through the real main

std::vector<std::array<int, 2>> columns_of_row(int row)
{
    return {{0, row}, {1, row}, {960, row}, {1500, row}, {1919, row}};
}

TEST(Passes, LetterboxRows)
{
    const std::string shader = project_shader_text();
    for (int row : {134, 945, 0, 1079}) {
        auto out = glsl_render_pixels(shader, 0, 1, columns_of_row(row));
        for (const Vec4 &px : out)
            EXPECT_EQ(px, (Vec4{0, 0, 0, 0})) << "row " << row << " must stay black";
    }
    for (int row : {135, 944}) {
        auto out = glsl_render_pixels(shader, 0, 1, columns_of_row(row));
        for (const Vec4 &px : out)
            EXPECT_GT(px[0] + px[1] + px[2], 0.0f) << "row " << row << " must be traced";
    }
}

TEST(Passes, UnknownPassSelectorGivesZero)
{
    const std::string shader = project_shader_text();
    std::vector<uint8_t> picture((size_t)1920 * 1080 * 4, 200);
    std::vector<std::array<int, 2>> pixels = {{0, 0}, {960, 540}, {100, 700}, {1919, 1079}, {1200, 300}};
    for (int vy : {0, 3, -1}) {
        for (int vx : {0, 5, 128}) {
            auto out = glsl_render_pixels(shader, vx, vy, pixels, &picture);
            for (const Vec4 &px : out) EXPECT_EQ(px, (Vec4{0, 0, 0, 0})) << "v = (" << vx << ", " << vy << ")";
        }
    }
}

TEST(Passes, AlphaIsZeroInBothPasses)
{
    const std::string shader = project_shader_text();
    std::vector<uint8_t> picture((size_t)1920 * 1080 * 4, 255);   // opaque input must not leak
    std::vector<std::array<int, 2>> pixels = {{0, 0}, {960, 540}, {10, 200}, {1919, 1079}, {700, 135}};
    for (int vy : {1, 2}) {
        for (bool float_target : {true, false}) {
            auto out = glsl_render_pixels(shader, vy == 2 ? 128 : 7, vy, pixels, &picture, float_target);
            for (const Vec4 &px : out) EXPECT_EQ(px[3], 0.0f) << "pass " << vy;
        }
    }
}

TEST(Passes, SamplePassOutputInRangeAndRepeatable)
{
    const std::string shader = project_shader_text();
    std::vector<std::array<int, 2>> pixels = {{960, 540}, {300, 200}, {1700, 900}, {5, 500}};
    for (int s : {0, 1, 127}) {
        auto first = glsl_render_pixels(shader, s, 1, pixels);
        auto second = glsl_render_pixels(shader, s, 1, pixels);
        ASSERT_EQ(first.size(), pixels.size());
        for (size_t i = 0; i < first.size(); ++i) {
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(float_bits(first[i][c]), float_bits(second[i][c])) << "sample " << s << " pixel " << i;
                EXPECT_GE(first[i][c], 0.0f);
                EXPECT_LE(first[i][c], 1.0f);
            }
        }
    }
}

} // namespace
