// The pictured world on the real driver: the car's proportions and material
// ids, its mirror symmetry, the per-sample motion, the background's layers,
// block field and guard rail. Surfaces are found by marching along lines.
#include "bench.h"

#include <gtest/gtest.h>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

// GLSL shared by the probes. which = 0 measures the car alone (nothing else
// in the way), 1 the whole scene.
const char *const probe_glsl = R"(
vec2 probe(vec3 p, float which)
{
    return which < 0.5 ? car_sdf(p, vec2(1e9, -1.0)) : scene_sdf(p);
}

// Half steps: several of the car's distances are estimates that may
// overstate a little; halving keeps the march from stepping through.
vec4 march(vec3 o, vec3 d, float tmax, float which)
{
    float t = 0.0;
    for (int i = 0; i < 800; ++i) {
        vec2 s = probe(o + t * d, which);
        if (s.x < 2e-5) return vec4(t, s.y, s.x, 1.0);
        t += 0.5 * s.x;
        if (t > tmax) break;
    }
    return vec4(t, -1.0, 0.0, 0.0);
}
)";

struct Hit {
    bool hit = false;
    float t = 0.0f;
    float id = -1.0f;
    std::array<float, 3> point{};
};

struct Line {
    std::array<float, 3> origin;
    std::array<float, 3> direction; // unit length
    float length;
};

std::vector<Hit> march_lines(const std::vector<Line> &lines, bool whole_scene)
{
    std::vector<Vec4> a, b;
    for (const Line &l : lines) {
        a.push_back(Vec4{l.origin[0], l.origin[1], l.origin[2], whole_scene ? 1.0f : 0.0f});
        b.push_back(Vec4{l.direction[0], l.direction[1], l.direction[2], l.length});
    }
    std::vector<Vec4> out = glsl_eval(std::string(probe_glsl) + R"(
        vec4 bench_eval(vec4 a, vec4 b) { return march(a.xyz, b.xyz, b.w, a.w); })",
                                      a, b);
    std::vector<Hit> hits;
    for (size_t i = 0; i < out.size() && i < lines.size(); ++i) {
        Hit h;
        h.hit = out[i][3] > 0.5f;
        h.t = out[i][0];
        h.id = out[i][1];
        for (int k = 0; k < 3; ++k) h.point[k] = lines[i].origin[k] + h.t * lines[i].direction[k];
        hits.push_back(h);
    }
    return hits;
}

Hit march_one(const Line &line, bool whole_scene)
{
    std::vector<Hit> hits = march_lines({line}, whole_scene);
    return hits.empty() ? Hit{} : hits[0];
}

// Lines parallel to `axis` (0 x, 1 y, 2 z) through a grid over the other two
// coordinates, starting at `start` on the axis and running `sign` along it.
std::vector<Line> line_grid(int axis, float start, float sign, float u0, float u1, int nu, float v0,
                            float v1, int nv, float length)
{
    int ua = axis == 0 ? 1 : 0;
    int va = axis == 2 ? 1 : 2;
    std::vector<Line> lines;
    for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j) {
            Line l{};
            l.origin[axis] = start;
            l.origin[ua] = nu > 1 ? u0 + (u1 - u0) * i / (nu - 1) : u0;
            l.origin[va] = nv > 1 ? v0 + (v1 - v0) * j / (nv - 1) : v0;
            l.direction[axis] = sign;
            l.length = length;
            lines.push_back(l);
        }
    return lines;
}

// The farthest reach of the car along `axis` in the direction opposite to the
// march: the extreme coordinate over all hits.
float extreme(const std::vector<Line> &lines, int axis)
{
    std::vector<Hit> hits = march_lines(lines, false);
    float best = NAN;
    float sign = lines.empty() ? 1.0f : lines[0].direction[axis];
    for (const Hit &h : hits) {
        if (!h.hit) continue;
        float c = h.point[axis];
        if (std::isnan(best) || (sign > 0 ? c < best : c > best)) best = c;
    }
    return best;
}

// ---------------------------------------------------------------------------
// Proportions, probed from outside the car bound

TEST(CarProportions, LengthFromFrontWingToRearWing)
{
    // endplates: thin plates at x = +-0.7, probed over their height
    float endplate = extreme(line_grid(2, -3.3f, 1.0f, 0.66f, 0.74f, 5, 0.0f, 0.4f, 41, 3.0f), 2);
    float endplate_left = extreme(line_grid(2, -3.3f, 1.0f, -0.74f, -0.66f, 5, 0.0f, 0.4f, 41, 3.0f), 2);
    EXPECT_NEAR(endplate, -2.24f, 0.015f);
    EXPECT_NEAR(endplate_left, endplate, 1e-4f);
    // nose tip on the centre line, above the front wing's planes
    float nose = extreme(line_grid(2, -3.3f, 1.0f, -0.02f, 0.02f, 3, 0.2f, 0.6f, 41, 3.0f), 2);
    EXPECT_NEAR(nose, -2.07f, 0.015f);
    float rear = extreme(line_grid(2, 3.2f, -1.0f, -1.2f, 1.2f, 25, 0.3f, 1.2f, 19, 2.0f), 2);
    EXPECT_NEAR(rear, 2.6f, 0.005f);
}

TEST(CarProportions, WidthAtWheelsAndSidePods)
{
    // both axles, over the whole wheel height
    for (float z : {-1.02f, 2.04f}) {
        float right = extreme(line_grid(0, 1.4f, -1.0f, 0.0f, 0.7f, 36, z - 0.1f, z + 0.1f, 3, 1.0f), 0);
        float left = extreme(line_grid(0, -1.4f, 1.0f, 0.0f, 0.7f, 36, z - 0.1f, z + 0.1f, 3, 1.0f), 0);
        EXPECT_NEAR(right, 0.93f, 0.01f) << "z = " << z;
        EXPECT_NEAR(left, -right, 1e-4f) << "z = " << z;
    }
    // side pods between the wheels, above the side plates and the floor
    float pods = extreme(line_grid(0, 1.4f, -1.0f, 0.2f, 0.55f, 8, -0.3f, 1.2f, 16, 1.0f), 0);
    EXPECT_NEAR(pods, 0.75f, 0.003f);
}

TEST(CarProportions, HighestPoints)
{
    // mount on the spine: post and cross bar at z = 0.55
    float mount = extreme(line_grid(1, 1.4f, -1.0f, -0.2f, 0.2f, 9, 0.5f, 0.6f, 11, 1.0f), 1);
    EXPECT_NEAR(mount, 1.165f, 0.005f);
    // the spine alone, just behind the mount
    float spine = extreme(line_grid(1, 1.4f, -1.0f, -0.05f, 0.05f, 3, 0.6f, 0.62f, 3, 1.0f), 1);
    EXPECT_NEAR(spine, 1.06f, 0.02f);
    // rear flap above the rear wing's main plane
    float flap = extreme(line_grid(1, 1.4f, -1.0f, -0.5f, 0.5f, 5, 2.3f, 2.7f, 41, 1.0f), 1);
    EXPECT_NEAR(flap, 0.992f, 0.005f);
    // nothing of the car is higher than the mount
    float top = extreme(line_grid(1, 1.4f, -1.0f, -1.25f, 1.25f, 26, -3.2f, 2.9f, 62, 1.5f), 1);
    EXPECT_LE(top, mount + 1e-3f);
}

TEST(CarProportions, FloorAndTyresFromBelow)
{
    // floor underside between the axles
    std::vector<Hit> floor = march_lines(line_grid(1, -0.2f, 1.0f, -0.5f, 0.5f, 5, 0.2f, 1.4f, 5, 1.0f), false);
    for (const Hit &h : floor) {
        ASSERT_TRUE(h.hit);
        EXPECT_NEAR(h.point[1], 0.036f, 1e-4f);
        EXPECT_EQ(h.id, 0.0f);
    }
    // tyres touch y = 0 under each axle, all four; the lowest points are
    // beside the centre groove, the shrinking radius lifts the rest a little
    for (float x : {-0.76f, 0.76f})
        for (float z : {-1.02f, 2.04f}) {
            float low = extreme(line_grid(1, -0.2f, 1.0f, x - 0.05f, x + 0.05f, 51, z, z, 1, 1.0f), 1);
            EXPECT_NEAR(low, 0.0f, 2e-4f) << x << " " << z;
        }
    // and the ground plane lies 0.01 below them
    Hit ground = march_one(Line{{-3.0f, 0.5f, -3.0f}, {0, -1, 0}, 1.0f}, true);
    ASSERT_TRUE(ground.hit);
    EXPECT_NEAR(ground.point[1], -0.01f, 1e-4f);
    EXPECT_EQ(ground.id, 12.0f);
}

TEST(CarProportions, SpineRidgeAndWingProfiles)
{
    // spine top on the centre line behind the intake: the ellipsoid's centre
    // falls 0.35 per unit of z away from z = 0.53
    for (float z : {1.0f, 1.15f}) {
        Hit h = march_one(Line{{0.0f, 1.4f, z}, {0, -1, 0}, 1.4f}, false);
        float dz = (z - 0.536f) / 1.55f;
        float expected = 0.931f - 0.35f * std::fabs(z - 0.53f) + 0.151f * std::sqrt(1.0f - dz * dz);
        ASSERT_TRUE(h.hit);
        EXPECT_NEAR(h.point[1], expected, 1e-3f) << z;
        EXPECT_EQ(h.id, 1.0f);
    }
    // front-wing endplate: its top edge dips to a notch at its middle
    // (z = -1.93) and reaches the rounded block's top, 0.27, either side
    Hit notch = march_one(Line{{0.7f, 1.0f, -1.93f}, {0, -1, 0}, 1.0f}, false);
    Hit front = march_one(Line{{0.7f, 1.0f, -2.13f}, {0, -1, 0}, 1.0f}, false);
    Hit back = march_one(Line{{0.7f, 1.0f, -1.73f}, {0, -1, 0}, 1.0f}, false);
    ASSERT_TRUE(notch.hit && front.hit && back.hit);
    EXPECT_NEAR(front.point[1], 0.27f, 5e-3f);
    EXPECT_NEAR(back.point[1], front.point[1], 1e-4f);
    EXPECT_LT(notch.point[1], 0.1f + 0.09f / std::cos(0.4f) + 1e-3f);
    EXPECT_GT(notch.point[1], 0.17f);
    EXPECT_EQ(notch.id, 1.0f);
    // the endplate itself, at mid height, reaches the car's front
    Hit endplate = march_one(Line{{0.7f, 0.2f, -3.0f}, {0, 0, 1}, 2.0f}, false);
    ASSERT_TRUE(endplate.hit);
    EXPECT_NEAR(endplate.point[2], -2.24f, 0.015f);
    EXPECT_EQ(endplate.id, 1.0f);
    // rear flap: tilted so that its top edge is its rear edge
    std::vector<Line> flap = line_grid(1, 1.4f, -1.0f, -0.02f, 0.02f, 2, 2.3f, 2.7f, 81, 1.0f);
    std::vector<Hit> hits = march_lines(flap, false);
    const Hit *top = nullptr;
    for (const Hit &h : hits)
        if (h.hit && (!top || h.point[1] > top->point[1])) top = &h;
    ASSERT_NE(top, nullptr);
    EXPECT_NEAR(top->point[2], 2.5f + 0.1f * std::cos(0.7f), 0.02f);
    EXPECT_EQ(top->id, 2.0f);
}

TEST(CarProportions, ShortenedStepsOfDistortedParts)
{
    // straight below a tyre's crown, 0.1 under it: the tyre's frame stretches
    // the radius by c, and its distance is taken at 0.6
    for (float z : {-1.02f, 2.04f}) {
        const float tx = 0.025f, c = 1.0f + 3.0f * tx * tx;
        std::vector<Vec4> out = glsl_eval(
            "vec4 bench_eval(vec4 a, vec4 b) { return vec4(car_sdf(a.xyz, vec2(1e9, -1.0)), 0.0, 0.0); }",
            {Vec4{0.76f + tx, -0.1f, z, 0}, Vec4{0.6f, 0.1f + 0.5f * 0.43f * 0.43f + 0.05f, -1.72f, 0}});
        ASSERT_EQ(out.size(), 2u);
        EXPECT_NEAR(out[0][0], 0.6f * (0.45f * c - 0.35f), 1e-4f) << z;
        EXPECT_EQ(out[0][1], 0.0f);
        // 0.05 above the front flap, where its camber puts it at that x and z:
        // a 0.01 thick sheet, taken at 0.9
        EXPECT_NEAR(out[1][0], 0.9f * (0.05f - 0.005f), 1e-4f);
        EXPECT_EQ(out[1][1], 2.0f);
    }
}

// ---------------------------------------------------------------------------
// The body shell, the helmet and the tyre against a second, CPU transcription
// of their construction: every blend radius, swizzle and sign in these long
// chains shows up as a difference somewhere on a fine lattice.

struct V3 {
    float x, y, z;
};
V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
V3 operator*(V3 a, V3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
V3 operator/(V3 a, V3 b) { return {a.x / b.x, a.y / b.y, a.z / b.z}; }
float len(V3 a) { return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z); }
float clampf(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }

// (p, q) as a row vector times rot2(a)
void turn(float &p, float &q, float a)
{
    float c = std::cos(a), s = std::sin(a);
    float np = p * c + q * s;
    q = q * c - p * s;
    p = np;
}
V3 rotate_xyz_ref(V3 p, V3 a)
{
    turn(p.y, p.z, a.x);
    turn(p.x, p.z, a.y);
    turn(p.x, p.y, a.z);
    return p;
}
float box_ref(V3 p, V3 b)
{
    V3 q{std::fabs(p.x) - b.x, std::fabs(p.y) - b.y, std::fabs(p.z) - b.z};
    V3 m{std::max(q.x, 0.0f), std::max(q.y, 0.0f), std::max(q.z, 0.0f)};
    return std::min(std::max(q.x, std::max(q.y, q.z)), 0.0f) + len(m);
}
float ellipsoid_ref(V3 p, V3 r)
{
    float k0 = len(p / r), k1 = len(p / (r * r));
    return k0 * (k0 - 1.0f) / k1;
}
float parabola_ref(V3 p, float k)
{
    return (p.y + p.x * p.x / (2.0f * k)) / std::sqrt(1.0f + (p.x / k) * (p.x / k));
}
float cylinder_ref(V3 p, float h, float r)
{
    float dx = std::fabs(std::hypot(p.x, p.z)) - r, dy = std::fabs(p.y) - h;
    return std::min(std::max(dx, dy), 0.0f) + std::hypot(std::max(dx, 0.0f), std::max(dy, 0.0f));
}
float torus4_ref(V3 p, V3 t)
{
    p.y -= clampf(p.y, -t.z, t.z);
    float dx = std::hypot(p.x, p.z) - t.x, dy = p.y;
    return std::pow(dx * dx * dx * dx + dy * dy * dy * dy, 0.25f) - t.y;
}
float smin_ref(float a, float b, float k)
{
    float h = clampf(0.5f + 0.5f * (b - a) / k, 0.0f, 1.0f);
    return b + (a - b) * h - k * h * (1.0f - h);
}
float ssub_ref(float a, float b, float k)
{
    float h = clampf(0.5f - 0.5f * (b + a) / k, 0.0f, 1.0f);
    return b + (-a - b) * h + k * h * (1.0f - h);
}
V3 zyx(V3 p) { return {p.z, p.y, p.x}; }
V3 zxy(V3 p) { return {p.z, p.x, p.y}; }

float shell_ref(V3 f)
{
    V3 y{std::fabs(f.x), f.y, f.z};
    auto side = [&](V3 o, float a, float k) { return parabola_ref(rotate_xyz_ref(zyx(y - o), {0, 0, a}), k); };
    auto ball = [&](V3 o, float r) { return len(y - o) - r; };
    auto ell = [&](V3 o, V3 r) { return ellipsoid_ref(y - o, r); };

    float a = ball({0, 0.35f, -1}, 1.4f);
    a = ssub_ref(side({0, 0.315f, -1.65f}, -0.1f, 3), a, 0.1f);
    a = ssub_ref(side({0, 0.332f, -2.795f}, 0.1f, 6), a, 0.01f);
    a = ssub_ref(parabola_ref(zxy((y - V3{-0.033f, 0.269f, -2.15f}) * V3{-1, 1, 1}), 10) + 0.15f, a, 0.02f);
    a = ssub_ref(-side({0, -0.05f, -2.358f}, 0.3f, 4.5f) + 0.5f, a, 0.02f);
    a = ssub_ref(-side({0, -0.05f, -1.908f}, 0.35f, 4.5f) + 0.5f, a, 0.01f);
    a = ssub_ref(ball({0.26f, 0.383f, -2.563f}, 0.22f), a, 0.561f);
    a = ssub_ref(parabola_ref(rotate_xyz_ref(zyx(y * V3{1, -1, 1}), {0, 0, 0.049f}), 8) + 0.6f, a, 0.1f);
    a = std::max(0.1f - f.y, a);

    float m = ball({0.45f, 0.35f, 0.6f}, 1.4f);
    m = ssub_ref(0.58f - rotate_xyz_ref(y, {0, 0, -0.05f}).y, m, 0.1f);
    m = ssub_ref(0.75f - y.x, m, 0.1f);
    m = ssub_ref(ell({0.457f, 0.321f, -0.597f}, {0.21f, 1.77f, 0.61f}), m, 0.1f);
    m = ssub_ref(ellipsoid_ref(rotate_xyz_ref(y - V3{0.642f, 0.321f, -0.111f}, {0, 0.6f, 0}), {0.34f, 1.77f, 0.2f}), m, 0.1f);
    m = ssub_ref(ell({0.828f, 0.048f, 1.563f}, {0.5f, 0.31f, 0.89f}), m, 0.25f);
    m = ssub_ref(std::max(box_ref(rotate_xyz_ref(y - V3{0.495f, 0.318f, 1.686f}, {0, 0.4f, -0.3f}), {0.25f, 0.46f, 0.49f}),
                          1.3f - y.z),
                 m, 0.05f);
    float h = ell({0.502f, 0.339f, -0.065f}, {0.61f, 0.23f, 2});
    h = ssub_ref(0.65f - rotate_xyz_ref(y, {0, 0, -0.1f}).x, h, 0.25f);
    h = ssub_ref(y.z + 0.6f, h, 0.1f);
    h = ssub_ref(0.5f - y.z, h, 0.1f);
    h = ssub_ref(y.x - 0.2f, h, 0.1f);
    h = ssub_ref(0.5f - y.y, h, 0.03f);
    h = ssub_ref(y.y - 0.1f, h, 0.1f);
    m = ssub_ref(h, m, 0.05f);
    m = std::max(m, -box_ref(y - V3{0.729f, 0.309f, -0.569f}, {0.1f, 0.22f, 0.31f}));
    m = ssub_ref(y.y - 0.05f, m, 0.1f);
    m = ssub_ref(1.85f - y.z, m, 0.01f);
    m = ssub_ref(ball({0, 0.306f, -1.006f}, 0.36f), m, 0.3f);

    float shell = smin_ref(a, m, 0.01f);
    float cavity = ssub_ref(f.y - 0.84f, ellipsoid_ref(f - V3{0, 0.86f, 0.509f}, {0.08f, 0.18f, 0.5f}) + 0.01f, 0.05f);
    float ridge = std::fabs(y.z - 0.53f);
    float u1 = ssub_ref(y.z - 0.5f, ell({0, 0.66f - 0.2f * ridge, 0.537f}, {0.161f, 0.211f, 1.63f}), 0.05f);
    float u2 = ssub_ref(y.z - 0.5f, ell({0, 0.931f - 0.35f * ridge, 0.536f}, {0.091f, 0.151f, 1.55f}), 0.05f);
    shell = smin_ref(smin_ref(shell, u1, 0.1f), u2, 0.1f);
    shell = ssub_ref(box_ref(f - V3{0, 0.562f, 0.17f}, {0.15f, 0.19f, 0.32f}), shell, 0.04f);
    shell = std::max(shell, -ssub_ref(f.y - 0.84f, ellipsoid_ref(f - V3{0, 0.868f, 0.509f}, {0.08f, 0.18f, 0.051f}), 0.05f));
    return std::max(shell, -cavity);
}

float helmet_ref(V3 f)
{
    V3 h = rotate_xyz_ref(f - V3{-0.016f, 0.5895f, 0.358f}, {-1.2f, -0.3f, -0.1f});
    return smin_ref(len(h - V3{0, 0, 0.1f}) - 0.1f, ellipsoid_ref(h - V3{0, 0.01f, 0}, {0.12f, 0.131f, 0.15f}), 0.15f) -
           0.02f;
}

float tyre_ref(V3 f)
{
    V3 t0{std::fabs(f.x) - 0.76f, f.y - 0.35f, std::fabs(f.z - 0.51f) - 1.53f};
    float e = clampf((std::fabs(t0.x) - 0.1f) / (0.27f - 0.1f), 0.0f, 1.0f);
    float c = 1.0f + 3.0f * t0.x * t0.x + 0.2f * e * e * (3.0f - 2.0f * e);
    V3 t{t0.x, t0.y * c, t0.z * c};
    float tyre = ssub_ref(cylinder_ref(zxy(t), 0.2f, 0.21f), cylinder_ref(zxy(t), 0.125f, 0.305f) - 0.045f, 0.02f);
    float g = t.x + 0.025f;
    g = g - 0.05f * std::floor(g / 0.05f) - 0.025f;
    float grooves = std::max(torus4_ref(zxy(V3{g, t.y, t.z}), {0.35f, 0, 0}) - 0.005f, std::fabs(t0.x) - 0.15f);
    return 0.6f * ssub_ref(grooves, tyre, 0.003f);
}

TEST(CarReference, ShellHelmetAndTyreMatchTheirConstruction)
{
    // half the car bound on a 0.04 lattice (the other half is the symmetry
    // tests' business), nudged off the lattice's round values
    std::vector<Vec4> points;
    for (float x = 0.0013f; x < 1.3f; x += 0.04f)
        for (float y = -0.0987f; y < 1.3f; y += 0.04f)
            for (float z = -3.2987f; z < 3.0f; z += 0.04f) points.push_back(Vec4{x, y, z, 0});
    // and the helmet's side, which is not mirrored
    for (float x = -0.2013f; x < 0.0f; x += 0.01f)
        for (float y = 0.4013f; y < 0.9f; y += 0.01f)
            for (float z = 0.1513f; z < 0.6f; z += 0.01f) points.push_back(Vec4{x, y, z, 0});
    std::vector<Vec4> out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            vec3 f = a.xyz;
            vec3 h = rotate_xyz(f - vec3(-0.016, 0.5895, 0.358), vec3(-1.2, -0.3, -0.1));
            vec3 t0 = vec3(abs(f.x) - 0.76, f.y - 0.35, abs(f.z - 0.51) - 1.53);
            return vec4(car_shell(f, vec3(abs(f.x), f.y, f.z)), car_helmet(h), car_tyre(t0).x,
                        car_sdf(f, vec2(1e9, -1.0)).x);
        })",
                                      points);
    ASSERT_EQ(out.size(), points.size());
    int bad[4] = {};
    for (size_t i = 0; i < points.size(); ++i) {
        V3 f{points[i][0], points[i][1], points[i][2]};
        float want[3] = {shell_ref(f), helmet_ref(f), tyre_ref(f)};
        for (int k = 0; k < 3; ++k) {
            float tolerance = 2e-5f * std::max(1.0f, std::fabs(want[k]));
            if (!(std::fabs(out[i][k] - want[k]) <= tolerance) && ++bad[k] <= 3)
                ADD_FAILURE() << "part " << k << " at (" << f.x << ", " << f.y << ", " << f.z << "): shader "
                              << out[i][k] << ", construction " << want[k];
        }
        // and the car takes each of them into its union
        float nearest = std::min(want[0], std::min(want[1], want[2]));
        if (!(out[i][3] <= nearest + 2e-5f) && ++bad[3] <= 3)
            ADD_FAILURE() << "car at (" << f.x << ", " << f.y << ", " << f.z << "): " << out[i][3] << " above "
                          << nearest;
    }
    EXPECT_EQ(bad[0] + bad[1] + bad[2] + bad[3], 0);
}

// ---------------------------------------------------------------------------
// Material ids, read at surface points found by marching towards the part

// World point on a flank of the car at badge coordinates (bx, by).
float badge_z(float bx) { return -0.449f + 0.1f * bx; }
float badge_y(float by) { return 0.513f + 0.1f * by; }

TEST(CarMaterials, BadgeOnBothFlanks)
{
    struct Case {
        float bx, by, id;
    } cases[] = {
        {0.35f, 0.1f, 21.0f},     // shield, outside the symbol
        {-0.3f, 0.2f, 21.0f},
        {0.055f, -0.285f, 5.0f},  // centre of the round blob
        {-0.01f, 0.05f, 5.0f},    // on the long stroke
        {0.0f, 0.8f, 1.0f},       // above the shield's pointed top
        {-0.4f, 0.49f, 1.0f},     // above its sloping top edge, both halves
        {0.4f, 0.49f, 1.0f},
        {-0.4f, 0.4f, 21.0f},     // just below it
        {0.4f, 0.4f, 21.0f},
        {0.9f, 0.0f, 1.0f},       // beside it
    };
    for (const Case &c : cases)
        for (float side : {-1.0f, 1.0f}) {
            // from inside the slot in front of the pods onto the nose's flank
            Hit h = march_one(Line{{0.45f * side, badge_y(c.by), badge_z(c.bx)}, {-side, 0, 0}, 0.45f}, false);
            ASSERT_TRUE(h.hit);
            EXPECT_EQ(h.id, c.id) << "badge (" << c.bx << ", " << c.by << ") side " << side;
            EXPECT_GT(std::fabs(h.point[0]), 0.2f);
            EXPECT_LT(std::fabs(h.point[0]), 0.35f);
        }
}

TEST(CarMaterials, CoatingsStandProudOnlyInsideTheirMasks)
{
    // pairs of lines 0.002 apart in z across a mask's edge: the flank barely
    // moves over that step, the coating's height jumps
    struct Pair {
        float by, bx_in, bx_out, proud, id_in, id_out;
    } pairs[] = {
        {0.1f, 0.49f, 0.51f, 0.01f, 21.0f, 1.0f},                     // shield against bare shell
        {-0.285f, 0.055f + 0.1f, 0.055f + 0.12f, 0.005f, 5.0f, 21.0f}, // symbol against shield
    };
    for (const Pair &p : pairs) {
        Hit in = march_one(Line{{0.45f, badge_y(p.by), badge_z(p.bx_in)}, {-1, 0, 0}, 0.45f}, false);
        Hit out = march_one(Line{{0.45f, badge_y(p.by), badge_z(p.bx_out)}, {-1, 0, 0}, 0.45f}, false);
        ASSERT_TRUE(in.hit && out.hit);
        EXPECT_NEAR(in.point[0] - out.point[0], p.proud, 1e-3f) << p.by;
        EXPECT_EQ(in.id, p.id_in) << p.by;
        EXPECT_EQ(out.id, p.id_out) << p.by;
    }
    // the yellow mark on the nose, seen from above
    Hit mark = march_one(Line{{0.0f, 1.0f, -1.974f}, {0, -1, 0}, 1.0f}, false);
    Hit beside = march_one(Line{{0.0f, 1.0f, -1.974f - 0.04f}, {0, -1, 0}, 1.0f}, false);
    ASSERT_TRUE(mark.hit && beside.hit);
    EXPECT_EQ(mark.id, 21.0f);
    EXPECT_EQ(beside.id, 1.0f);
}

TEST(CarMaterials, HeadrestRepaintsTheShellAroundTheHead)
{
    // Points in the cockpit around the head. Where the headrest takes over,
    // its distance is the shell's own, which the mirrored point (no helmet
    // there) shows with id 1. The region hugs the helmet, so this happens
    // only off the surface: no shell surface lies inside it.
    std::vector<Vec4> points;
    for (float x = 0.0f; x <= 0.2f; x += 0.01f)
        for (float y = 0.45f; y <= 0.85f; y += 0.01f)
            for (float z = 0.15f; z <= 0.5f; z += 0.01f) {
                points.push_back(Vec4{x, y, z, 0});
                points.push_back(Vec4{-x, y, z, 0});
            }
    std::vector<Vec4> out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            return vec4(car_sdf(a.xyz, vec2(1e9, -1.0)), car_sdf(a.xyz * vec3(-1.0, 1.0, 1.0), vec2(1e9, -1.0)));
        })",
                                      points);
    ASSERT_EQ(out.size(), points.size());
    int repainted = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i][1] != 0.0f || out[i][3] != 1.0f) continue;
        ++repainted;
        EXPECT_EQ(out[i][0], out[i][2]) << points[i][0] << ", " << points[i][1] << ", " << points[i][2];
        EXPECT_GT(out[i][0], 0.0f);
    }
    EXPECT_GT(repainted, 20);
}

TEST(CarMaterials, WheelsAndHelmet)
{
    for (float z : {-1.02f, 2.04f}) {
        // tyre crown between two grooves, from below
        Hit crown = march_one(Line{{0.785f, -0.2f, z}, {0, 1, 0}, 1.0f}, false);
        // a groove floor
        Hit groove = march_one(Line{{0.76f, -0.2f, z}, {0, 1, 0}, 1.0f}, false);
        // the sidewall, from outside along the axle
        Hit sidewall = march_one(Line{{1.4f, 0.35f + 0.25f, z}, {-1, 0, 0}, 1.0f}, false);
        // the rim through the tyre's hole
        Hit rim = march_one(Line{{1.4f, 0.35f + 0.18f, z}, {-1, 0, 0}, 1.0f}, false);
        ASSERT_TRUE(crown.hit && groove.hit && sidewall.hit && rim.hit);
        EXPECT_EQ(crown.id, 0.0f) << z;
        EXPECT_EQ(groove.id, 5.0f) << z;
        EXPECT_NEAR(groove.point[1] - crown.point[1], 0.005f, 1e-3f) << z;
        EXPECT_EQ(sidewall.id, 5.0f) << z;
        EXPECT_EQ(rim.id, 11.0f) << z;
        // the outer tube's end, 0.08 + 0.09 + 0.005 out from the wheel's centre
        EXPECT_NEAR(rim.point[0], 0.935f, 3e-3f) << z;
    }
    // helmet in the cockpit opening, above its rim
    Hit helmet = march_one(Line{{-0.016f, 1.4f, 0.358f}, {0, -1, 0}, 1.5f}, false);
    ASSERT_TRUE(helmet.hit);
    EXPECT_EQ(helmet.id, 10.0f);
    EXPECT_GT(helmet.point[1], 0.752f);
    EXPECT_LT(helmet.point[1], 0.9f);
}

TEST(CarMaterials, SmallPartsAndTheirIds)
{
    struct Case {
        Line line;
        float id, coordinate;
        int axis;
        const char *what;
    } cases[] = {
        {{{1.4f, 0.089f, -0.07f}, {-1, 0, 0}, 1.0f}, 2.0f, 0.797f, 0, "side plate"},
        {{{1.4f, 0.43f, -1.02f}, {-1, 0, 0}, 1.0f}, 0.0f, 0.70f, 0, "front hub, through the rim"},
        {{{0.0f, 1.4f, 0.8f}, {0, -1, 0}, 1.0f}, 0.0f, 0.995f, 1, "intake lining on the spine"},
        {{{0.0f, 1.4f, 1.0f}, {0, -1, 0}, 1.0f}, 1.0f, 0.911f, 1, "spine behind the intake"},
        {{{-0.016f, 1.4f, 0.55f}, {0, -1, 0}, 1.0f}, 0.0f, 1.165f, 1, "mount"},
        {{{-0.4f, 0.53f, -1.214f}, {1, 0, 0}, 0.4f}, 0.0f, -0.345f, 0, "pod on the -x side"},
    };
    for (const Case &c : cases) {
        Hit h = march_one(c.line, false);
        ASSERT_TRUE(h.hit) << c.what;
        EXPECT_EQ(h.id, c.id) << c.what;
        EXPECT_NEAR(h.point[c.axis], c.coordinate, 2e-3f) << c.what;
    }
}

TEST(SceneMaterials, LightsGroundRailAndPanel)
{
    Hit overhead = march_one(Line{{-4.0f, 3.0f, -4.0f}, {0, 1, 0}, 5.0f}, true);
    ASSERT_TRUE(overhead.hit);
    EXPECT_EQ(overhead.id, 6.0f);
    EXPECT_NEAR(overhead.point[1], 5.45f, 1e-3f);

    Hit sphere = march_one(Line{{-6.0f, 7.0f, -8.0f}, {0, 1, 0}, 5.0f}, true);
    ASSERT_TRUE(sphere.hit);
    EXPECT_EQ(sphere.id, 7.0f);
    EXPECT_NEAR(sphere.point[1], 9.4f, 1e-3f);

    // across the road towards the rail, along its frame's x axis; its bars
    // and, between them, the post behind
    const float a = 0.25f;
    for (float y : {0.571f, 0.45f}) {
        Hit rail = march_one(Line{{1.4f, y, 2.0f}, {std::cos(a), 0, std::sin(a)}, 5.0f}, true);
        ASSERT_TRUE(rail.hit);
        EXPECT_EQ(rail.id, 8.0f) << y;
    }

    // the car itself through the whole scene: the nose tip
    Hit nose = march_one(Line{{0.0f, 0.4f, -3.3f}, {0, 0, 1}, 3.0f}, true);
    ASSERT_TRUE(nose.hit);
    EXPECT_EQ(nose.id, 1.0f);
    EXPECT_NEAR(nose.point[2], -2.07f, 0.02f);
}

// ---------------------------------------------------------------------------
// Symmetry

TEST(CarSymmetry, MirroredPointsMatchAwayFromTheOneSidedParts)
{
    // A lattice inside the car bound, right half, against its mirror image.
    // The pod (id 0) and the helmet and headrest (10, 0) are one-sided, and
    // the pod's shortened distance reaches far, so pairs where either side
    // reports those ids are left out. The upright fin sits 0.0018 off the
    // centre line; with its factor 0.2 that moves its distance by < 0.0037.
    std::vector<Vec4> points;
    for (float x = 0.013f; x < 1.3f; x += 0.09f)
        for (float y = -0.05f; y < 1.3f; y += 0.09f)
            for (float z = -3.25f; z < 3.0f; z += 0.17f) points.push_back(Vec4{x, y, z, 0});
    std::vector<Vec4> out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            vec2 r = car_sdf(a.xyz, vec2(1e9, -1.0));
            vec2 l = car_sdf(a.xyz * vec3(-1.0, 1.0, 1.0), vec2(1e9, -1.0));
            return vec4(r, l);
        })",
                                      points);
    ASSERT_EQ(out.size(), points.size());
    int compared = 0, exact = 0, mismatches = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i][1] == 0.0f || out[i][3] == 0.0f || out[i][1] == 10.0f || out[i][3] == 10.0f) continue;
        ++compared;
        float diff = std::fabs(out[i][0] - out[i][2]);
        if (diff <= 1e-6f * std::max(1.0f, std::fabs(out[i][0])) && out[i][1] == out[i][3]) {
            ++exact;
            continue;
        }
        if (diff <= 0.0037f && out[i][1] == 1.0f && out[i][3] == 1.0f) continue; // the fin
        if (++mismatches <= 5)
            ADD_FAILURE() << "(" << points[i][0] << ", " << points[i][1] << ", " << points[i][2] << "): " << out[i][0]
                          << " id " << out[i][1] << " against " << out[i][2] << " id " << out[i][3];
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(compared, 1500);
    EXPECT_GT(exact, compared / 3);
}

TEST(CarSymmetry, MirroredSurfacesMatch)
{
    // lines from both sides, from above and from below: the surfaces found
    // are mirror images except at the helmet and the pod
    std::vector<Line> right = line_grid(0, 1.4f, -1.0f, 0.0f, 1.2f, 13, -3.2f, 2.9f, 62, 1.4f);
    std::vector<Line> top = line_grid(1, 1.4f, -1.0f, 0.05f, 1.25f, 13, -3.2f, 2.9f, 62, 1.5f);
    std::vector<Line> bottom = line_grid(1, -0.2f, 1.0f, 0.05f, 1.25f, 13, -3.2f, 2.9f, 62, 1.0f);
    std::vector<Line> lines = right;
    lines.insert(lines.end(), top.begin(), top.end());
    lines.insert(lines.end(), bottom.begin(), bottom.end());
    std::vector<Line> mirrored = lines;
    for (Line &l : mirrored) {
        l.origin[0] = -l.origin[0];
        l.direction[0] = -l.direction[0];
    }
    std::vector<Hit> a = march_lines(lines, false);
    std::vector<Hit> b = march_lines(mirrored, false);
    ASSERT_EQ(a.size(), lines.size());
    ASSERT_EQ(b.size(), lines.size());
    int mismatches = 0, hits = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        auto near = [&](const Hit &h, float cx, float cy, float cz, float r) {
            float dx = std::fabs(h.point[0]) - cx, dy = h.point[1] - cy, dz = h.point[2] - cz;
            return dx * dx + dy * dy + dz * dz < r * r;
        };
        bool one_sided = near(a[i], 0.0f, 0.65f, 0.36f, 0.25f) || near(b[i], 0.0f, 0.65f, 0.36f, 0.25f) ||
                         near(a[i], 0.235f, 0.53f, -1.214f, 0.16f) || near(b[i], 0.235f, 0.53f, -1.214f, 0.16f);
        if (one_sided) continue;
        if (a[i].hit) ++hits;
        bool same = a[i].hit == b[i].hit && (!a[i].hit || (std::fabs(a[i].t - b[i].t) < 2e-3f && a[i].id == b[i].id));
        if (!same && ++mismatches <= 5)
            ADD_FAILURE() << "line " << i << ": " << a[i].point[0] << ", " << a[i].point[1] << ", " << a[i].point[2]
                          << " id " << a[i].id << " against " << b[i].point[0] << ", " << b[i].point[1] << ", "
                          << b[i].point[2] << " id " << b[i].id;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(hits, 600);
}

TEST(CarSymmetry, HelmetAndPodAreOneSided)
{
    std::vector<Vec4> points = {
        Vec4{-0.33f, 0.57f, -1.214f, 0},  // just above the pod's outer end on the -x side
        Vec4{0.1f, 0.75f, 0.36f, 0},      // beside the helmet, turned towards -x
    };
    std::vector<Vec4> out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            return vec4(car_sdf(a.xyz, vec2(1e9, -1.0)), car_sdf(a.xyz * vec3(-1.0, 1.0, 1.0), vec2(1e9, -1.0)));
        })",
                                      points);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_NEAR(out[0][0], 0.57f - 0.5525f, 2e-3f); // the pod's top is at y = 0.5525
    EXPECT_EQ(out[0][1], 0.0f);
    EXPECT_GT(out[0][2], out[0][0] + 0.01f);
    EXPECT_GT(std::fabs(out[1][0] - out[1][2]), 1e-3f);
}

TEST(CarSymmetry, FrontAndRearWheelsAreIdentical)
{
    // Surfaces of the front wheel against the rear one, mirrored about
    // z = 0.51: from outside along the axle (off the hub, where the front
    // suspension shows through the rim), from below and from ahead/behind.
    std::vector<Line> front, rear;
    auto add = [&](Line f) {
        Line r = f;
        r.origin[2] = 1.02f - f.origin[2];
        r.direction[2] = -f.direction[2];
        front.push_back(f);
        rear.push_back(r);
    };
    for (float y = 0.0f; y <= 0.7f; y += 0.025f)
        for (float dz = -0.35f; dz <= 0.35f; dz += 0.05f)
            if ((y - 0.35f) * (y - 0.35f) + dz * dz > 0.19f * 0.19f) add(Line{{1.4f, y, -1.02f + dz}, {-1, 0, 0}, 0.8f});
    for (float x = 0.6f; x <= 0.92f; x += 0.02f) {
        for (float dz = -0.3f; dz <= 0.3f; dz += 0.1f) add(Line{{x, -0.2f, -1.02f + dz}, {0, 1, 0}, 0.5f});
        for (float y = 0.1f; y <= 0.6f; y += 0.1f) add(Line{{x, y, -1.5f}, {0, 0, 1}, 0.5f});
    }
    std::vector<Hit> a = march_lines(front, false);
    std::vector<Hit> b = march_lines(rear, false);
    ASSERT_EQ(a.size(), front.size());
    ASSERT_EQ(b.size(), front.size());
    int mismatches = 0, hits = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].hit) ++hits;
        bool same = a[i].hit == b[i].hit && (!a[i].hit || (std::fabs(a[i].t - b[i].t) < 1e-4f && a[i].id == b[i].id));
        if (!same && ++mismatches <= 5)
            ADD_FAILURE() << "front " << a[i].point[0] << ", " << a[i].point[1] << ", " << a[i].point[2] << " id "
                          << a[i].id << " against rear " << b[i].point[0] << ", " << b[i].point[1] << ", "
                          << b[i].point[2] << " id " << b[i].id;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(hits, 300);
}

// ---------------------------------------------------------------------------
// Motion and repetition

// Scene distances at world points for a sample index, plus the car alone.
std::vector<Vec4> scene_at(float sample, const std::vector<Vec4> &points)
{
    return glsl_eval("vec4 bench_eval(vec4 a, vec4 b) { x = " + std::to_string(sample) +
                         "; return vec4(scene_sdf(a.xyz), car_sdf(a.xyz, vec2(1e9, -1.0))); }",
                     points);
}

TEST(SceneMotion, CarAndBackgroundShiftWithTheSampleIndex)
{
    // near the nose, near the rail's post, near the tilted panel
    const Vec4 car{0.0f, 0.4f, -2.1f, 0};
    const Vec4 rail{2.657f, 0.45f, 2.359f, 0}; // 0.3 in front of the rail's line
    const Vec4 panel{0.0f, 2.5f, 13.0f, 0};
    std::vector<Vec4> at0 = scene_at(0.0f, {car, rail, panel});
    ASSERT_EQ(at0.size(), 3u);
    // at x = 0 the car is where car_sdf puts it
    EXPECT_EQ(at0[0][0], at0[0][2]);
    EXPECT_EQ(at0[0][1], at0[0][3]);

    // at x = 100: the car moved 0.0167, the background 1.0167 towards -z, and
    // the tilted panel drifted a further (-0.4, -0.6) in x and z
    std::vector<Vec4> at100 = scene_at(100.0f, {Vec4{car[0], car[1], car[2] - 0.0167f, 0},
                                                Vec4{rail[0], rail[1], rail[2] - 1.0167f, 0},
                                                Vec4{panel[0] - 0.4f, panel[1], panel[2] - 1.6167f, 0}, car});
    ASSERT_EQ(at100.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(at100[i][0], at0[i][0], 2e-5f) << i;
        EXPECT_EQ(at100[i][1], at0[i][1]) << i;
    }
    EXPECT_EQ(at0[1][1], 8.0f);
    EXPECT_TRUE(at0[2][1] == 9.0f || at0[2][1] == 3.0f || at0[2][1] == 4.0f) << at0[2][1];
    // without following it, the moved car is measurably elsewhere
    EXPECT_GT(std::fabs(at100[3][0] - at0[0][0]), 0.005f);
}

TEST(SceneComposition, CarBoundEnclosesTheCar)
{
    // on the bound box's faces no part of the car is reached yet
    std::vector<Vec4> faces;
    for (float u = -1.0f; u <= 1.0f; u += 0.1f)
        for (float v = -1.0f; v <= 1.0f; v += 0.1f) {
            faces.push_back(Vec4{1.3f, 0.6f + 0.7f * u, -0.15f + 3.15f * v, 0});
            faces.push_back(Vec4{-1.3f, 0.6f + 0.7f * u, -0.15f + 3.15f * v, 0});
            faces.push_back(Vec4{1.3f * u, 1.3f, -0.15f + 3.15f * v, 0});
            faces.push_back(Vec4{1.3f * u, -0.1f, -0.15f + 3.15f * v, 0});
            faces.push_back(Vec4{1.3f * u, 0.6f + 0.7f * v, -3.3f, 0});
            faces.push_back(Vec4{1.3f * u, 0.6f + 0.7f * v, 3.0f, 0});
        }
    std::vector<Vec4> on_faces = scene_at(0.0f, faces);
    ASSERT_EQ(on_faces.size(), faces.size());
    for (size_t i = 0; i < faces.size(); ++i)
        EXPECT_GT(on_faces[i][2], 0.0f) << faces[i][0] << ", " << faces[i][1] << ", " << faces[i][2];

    // inside the bound the scene is the nearer of the car and the ground (the
    // lights and the background are farther than any point there)
    std::vector<Vec4> inside;
    for (float x = -1.25f; x <= 1.25f; x += 0.25f)
        for (float y = 0.0f; y <= 1.25f; y += 0.25f)
            for (float z = -3.25f; z <= 2.95f; z += 0.31f) inside.push_back(Vec4{x, y, z, 0});
    std::vector<Vec4> in_bound = scene_at(0.0f, inside);
    ASSERT_EQ(in_bound.size(), inside.size());
    int wrong = 0;
    for (size_t i = 0; i < inside.size(); ++i) {
        float ground = inside[i][1] + 0.01f;
        float expected = in_bound[i][2] < ground ? in_bound[i][2] : ground;
        float expected_id = in_bound[i][2] < ground ? in_bound[i][3] : 12.0f;
        if (in_bound[i][0] != expected || in_bound[i][1] != expected_id) ++wrong;
    }
    EXPECT_EQ(wrong, 0);
}

// World point from rail-frame coordinates: (a, c) across and along the
// straight line before the bend, h the world height. The background's layer
// shift is taken out so that the rail's own geometry is measured.
const char *const rail_glsl = R"(
float layer_shift(float y) { return 0.2 * fract(sin(floor(15.0 * y)) * 43758.5453); }
vec3 rail_point(float a, float c, float h)
{
    vec2 xz = vec2(a, c) * rot2(-0.25);
    vec3 q = vec3(xz.x + 1.0, h, xz.y + 4.0);
    float j = layer_shift(h);
    return q - vec3(j, 0.0, j);
}
)";

TEST(SceneBackground, GuardRailStraightThenBent)
{
    // 0.5 behind the rail line, at a post's middle (line coordinates -2 and
    // 10): the post's back face is 0.24 away, once the bend is followed
    const float bend = 10.0f * (1.0f - std::cos(1.0f));
    EXPECT_NEAR(bend, 4.597f, 1e-3f);
    std::vector<Vec4> a = {Vec4{2.0f, -2.0f, 0.45f, 0}, Vec4{2.0f - bend, 10.0f, 0.45f, 0},
                           Vec4{2.0f, 10.0f, 0.45f, 0}, Vec4{2.0f, -3.0f, 0.45f, 0}};
    std::vector<Vec4> out = glsl_eval(std::string(rail_glsl) + R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            return vec4(scene_sdf(rail_point(a.x, a.y, a.z)), 0.0, 0.0);
        })",
                                      a);
    ASSERT_EQ(out.size(), 4u);
    EXPECT_NEAR(out[0][0], 0.24f, 1e-4f);
    EXPECT_EQ(out[0][1], 8.0f);
    EXPECT_NEAR(out[1][0], 0.24f, 1e-4f);
    EXPECT_EQ(out[1][1], 8.0f);
    // without the bend the rail would be here; it is not
    EXPECT_NE(out[2][1], 8.0f);
    // between two posts (repeat every 2): only the rail, farther back
    EXPECT_GT(out[3][0], 0.4f);
}

TEST(SceneBackground, LayersShiftTheBackgroundDiagonally)
{
    // behind a post, at the heights of several 1/15 layers
    std::vector<Vec4> a;
    for (int k = 5; k <= 8; ++k) {
        float h = (k + 0.5f) / 15.0f;
        a.push_back(Vec4{2.0f, -2.0f, h, 1.0f});  // layer shift taken out
        a.push_back(Vec4{2.0f, -2.0f, h, 0.0f});  // raw world point
    }
    std::vector<Vec4> out = glsl_eval(std::string(rail_glsl) + R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            vec3 p = rail_point(a.x, a.y, a.z);
            if (a.w < 0.5) p += vec3(layer_shift(a.z), 0.0, layer_shift(a.z));
            return vec4(scene_sdf(p), layer_shift(a.z), 0.0);
        })",
                                      a);
    ASSERT_EQ(out.size(), a.size());
    float lo = 1e9f, hi = -1e9f;
    for (size_t i = 0; i < out.size(); i += 2) {
        // following each layer's shift, every layer sees the same post
        EXPECT_NEAR(out[i][0], 0.24f, 1e-4f) << i;
        lo = std::min(lo, out[i + 1][0]);
        hi = std::max(hi, out[i + 1][0]);
    }
    // at the same world x and z the layers disagree: steps at their boundaries
    EXPECT_GT(hi - lo, 0.01f);

    // across a boundary by a hair the distance jumps, within a layer it does not
    std::vector<Vec4> edge;
    for (int k = 5; k <= 8; ++k) {
        float y = k / 15.0f;
        edge.push_back(Vec4{2.0f, -2.0f, y - 2e-4f, 0.0f});
        edge.push_back(Vec4{2.0f, -2.0f, y + 2e-4f, 0.0f});
    }
    std::vector<Vec4> raw = glsl_eval(std::string(rail_glsl) + R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            vec3 p = rail_point(a.x, a.y, 0.4);
            p.y = a.z;
            return vec4(scene_sdf(p), layer_shift(a.z - 2e-4), layer_shift(a.z + 2e-4));
        })",
                                   edge);
    ASSERT_EQ(raw.size(), edge.size());
    int steps = 0;
    for (size_t i = 0; i < raw.size(); i += 2)
        if (std::fabs(raw[i][0] - raw[i + 1][0]) > 0.005f) ++steps;
    EXPECT_GE(steps, 1);
}

// The block field in the panel's frame: the blocks' distance alone (the
// panel sheet is added by the scene before it).
const char *const block_glsl = R"(
vec2 blocks(vec3 t) { return block_field_sdf(t, vec2(1e9, -1.0)); }
)";

TEST(SceneBackground, BlockFieldCellsEmptyAndEdge)
{
    // every cell: its hash, and the blocks' distance and id seen from straight
    // above the cell's nominal centre
    std::vector<Vec4> cells;
    for (int gx = -3; gx <= 2; ++gx)
        for (int gz = -4; gz <= 3; ++gz) cells.push_back(Vec4{(float)gx, (float)gz, 0, 0});
    std::vector<Vec4> out = glsl_eval(std::string(block_glsl) + R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            vec2 c = vec2(1.3, 1.9);
            vec2 centre = (a.xy + 0.5) * c;
            vec2 r = blocks(vec3(centre.x, 3.0, centre.y));
            return vec4(hash21(a.xy), r, 0.0);
        })",
                                      cells);
    ASSERT_EQ(out.size(), 48u);
    int empty = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        bool is_empty = out[i][0] > 0.9f;
        if (is_empty) {
            ++empty;
            EXPECT_GT(out[i][1], 1e6f) << "cell " << cells[i][0] << ", " << cells[i][1];
        } else {
            // tallest block: 0.12 + 1.8 * 0.28 above the panel
            EXPECT_LT(out[i][1], 3.0f) << "cell " << cells[i][0] << ", " << cells[i][1];
            EXPECT_GT(out[i][1], 3.0f - 0.12f - 1.8f * 0.28f - 1e-3f);
            EXPECT_TRUE(out[i][2] == 3.0f || out[i][2] == 4.0f);
        }
    }
    EXPECT_GE(empty, 1);
    EXPECT_LE(empty, 15);

    // beyond the field's edge, straight out along t.x from a corner cell and
    // from an edge cell: the distance grows with the distance to the edge
    // cell's block, instead of meeting blocks of cells that do not exist
    std::vector<Vec4> far;
    for (float tx : {8.0f, 10.0f, -8.0f, -10.0f}) far.push_back(Vec4{tx, 0.2f, 0.5f * 1.9f, 0});
    for (float tz : {12.0f, 14.0f}) far.push_back(Vec4{0.5f * 1.3f, 0.2f, tz, 0});
    std::vector<Vec4> beyond = glsl_eval(std::string(block_glsl) + R"(
        vec4 bench_eval(vec4 a, vec4 b) { return vec4(blocks(a.xyz), 0.0, 0.0); })",
                                         far);
    ASSERT_EQ(beyond.size(), 6u);
    for (int i = 0; i < 6; i += 2) {
        if (beyond[i][0] > 1e6f) continue; // that edge cell is empty
        EXPECT_GT(beyond[i][0], 3.0f) << i;
        // about 2 farther out, slightly less with the block's yaw
        EXPECT_NEAR(beyond[i + 1][0] - beyond[i][0], 2.0f, 0.05f) << i;
    }
}

TEST(SceneBackground, GuardRailBarsAtTheirHeights)
{
    // 0.3 in front of the rail's line, between two posts: the bars' rounded
    // fronts are 0.38 / 3 in front of it at their centre lines, and farther
    // back between them
    std::vector<Vec4> a;
    for (float h : {0.571f, 0.329f, 0.171f, 0.45f}) a.push_back(Vec4{1.2f, -3.0f, h, 0});
    std::vector<Vec4> out = glsl_eval(std::string(rail_glsl) + R"(
        vec4 bench_eval(vec4 a, vec4 b) { return vec4(scene_sdf(rail_point(a.x, a.y, a.z)), 0.0, 0.0); })",
                                      a);
    ASSERT_EQ(out.size(), 4u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(out[i][0], 0.3f - 0.38f / 3.0f, 2e-4f) << a[i][2];
        EXPECT_EQ(out[i][1], 8.0f);
    }
    EXPECT_GT(out[3][0], 0.3f - 0.38f / 3.0f + 0.02f);
}

TEST(SceneBackground, BlockScalesFavourSmallBlocks)
{
    // each block's top (the upper core's, 0.12 + 0.28 s above the panel),
    // from lines straight down over its whole cell
    std::vector<Vec4> a;
    for (int gx = -3; gx <= 2; ++gx)
        for (int gz = -4; gz <= 3; ++gz)
            for (int i = 0; i < 26; ++i)
                for (int k = 0; k < 38; ++k)
                    a.push_back(Vec4{(gx + (i + 0.5f) / 26.0f) * 1.3f, 3.0f, (gz + (k + 0.5f) / 38.0f) * 1.9f, 0});
    std::vector<Vec4> out = glsl_eval(std::string(block_glsl) + R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            float t = 0.0;
            for (int i = 0; i < 200; ++i) {
                float d = blocks(a.xyz - vec3(0.0, t, 0.0)).x;
                if (d < 1e-5) return vec4(a.y - t, 1.0, 0.0, 0.0);
                t += d;
                if (t > 3.0) break;
            }
            return vec4(0.0);
        })",
                                      a);
    ASSERT_EQ(out.size(), a.size());
    std::vector<float> scales;
    for (size_t cell = 0; cell < 48; ++cell) {
        float top = -1.0f;
        for (size_t j = cell * 26 * 38; j < (cell + 1) * 26 * 38; ++j)
            if (out[j][1] > 0.5f) top = std::max(top, out[j][0]);
        if (top > 0.0f) scales.push_back((top - 0.12f) / 0.28f);
    }
    ASSERT_GE(scales.size(), 33u);
    float mean = 0.0f;
    int small = 0;
    for (float s : scales) {
        EXPECT_GE(s, 0.35f - 0.01f);
        EXPECT_LE(s, 1.8f + 0.01f);
        mean += s / scales.size();
        if (s < 0.5f * (0.35f + 1.8f)) ++small;
    }
    // s = mix(0.35, 1.8, u^2) for u spread over [0, 1): mean 0.83, and seven
    // in ten below the middle of the range (a linear mix: 1.075, one in two)
    EXPECT_LT(mean, 0.9f);
    EXPECT_GT(3 * small, 2 * (int)scales.size());
}

TEST(SceneBackground, PanelAndBlocksInTheWorld)
{
    // from above the panel's middle cells down along its normal; the panel's
    // frame is turned back into the world here
    std::vector<Vec4> a;
    for (float tx = -3.5f; tx <= 3.5f; tx += 0.25f)
        for (float tz = -7.0f; tz <= 7.0f; tz += 0.5f) a.push_back(Vec4{tx, 2.0f, tz, 0});
    std::vector<Vec4> out = glsl_eval(std::string(probe_glsl) + R"(
        vec3 panel_to_world(vec3 t)
        {
            t.xy *= rot2(-0.1);
            t.zy *= rot2(-0.2);
            t.xz *= rot2(-0.8);
            return t + vec3(0.0, 1.0, 14.5);
        }
        vec4 bench_eval(vec4 a, vec4 b)
        {
            vec3 o = panel_to_world(a.xyz);
            vec3 d = normalize(panel_to_world(vec3(a.x, 1.0, a.z)) - o);
            // the layer shift moves the world point; follow it roughly
            vec4 m = march(o, d, 4.0, 1.0);
            return m;
        })",
                                      a);
    ASSERT_EQ(out.size(), a.size());
    int ids[16] = {};
    for (const Vec4 &o : out)
        if (o[3] > 0.5f && o[1] >= 0.0f && o[1] < 16.0f) ++ids[(int)o[1]];
    EXPECT_GT(ids[9], 50);  // the panel between the blocks
    EXPECT_GT(ids[3], 20);  // the blocks' light cores
    EXPECT_GT(ids[4], 20);  // their dark plates and bands
    // where the tilted panel dips below the road, the ground comes first
    EXPECT_EQ(ids[3] + ids[4] + ids[9] + ids[12], (int)out.size());
}

// ---------------------------------------------------------------------------
// A picture to look at: material ids in flat colours, lit by their normals,
// from the renderer's camera at a quarter of the resolution. Disabled by
// default (about a minute on llvmpipe); run with
//   --gtest_also_run_disabled_tests --gtest_filter='*SceneDebugImage*'
// It writes out/scene_ids.png beside the shader's folder.

struct Vec3 {
    float x, y, z;
};
Vec3 sub(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 normalized(Vec3 a)
{
    float l = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
    return {a.x / l, a.y / l, a.z / l};
}

TEST(DISABLED_SceneDebugImage, MaterialIdsFromTheCamera)
{
    const int width = 480, height = 270, scale = 1920 / width;
    const Vec3 eye{-2.0f, 1.25f, -4.5f};
    const Vec3 w = normalized(sub(Vec3{0.2f, 0.25f, 0.0f}, eye));
    const Vec3 u = normalized(cross(w, Vec3{0.31f, 1.0f, 0.0f}));
    const Vec3 v = cross(u, w);
    std::vector<Vec4> origins, directions;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            // centre of the full-resolution pixel this one stands for
            float px = (i + 0.5f) * scale, py = (j + 0.5f) * scale;
            Vec3 p = normalized(Vec3{(2.0f * px - 1920.0f) / 1080.0f, (2.0f * py - 1080.0f) / 1080.0f, 3.0f});
            Vec3 d{u.x * p.x + v.x * p.y + w.x * p.z, u.y * p.x + v.y * p.y + w.y * p.z,
                   u.z * p.x + v.z * p.y + w.z * p.z};
            origins.push_back(Vec4{eye.x, eye.y, eye.z, 0});
            directions.push_back(Vec4{d.x, d.y, d.z, 0});
        }
    std::vector<Vec4> out = glsl_eval(R"(
        vec4 bench_eval(vec4 a, vec4 b)
        {
            float t = 0.1;
            float id = -1.0;
            for (int i = 0; i < 256 && t < 50.0; ++i) {
                vec2 s = scene_sdf(a.xyz + t * b.xyz);
                if (abs(s.x) < 1e-4 * t) { id = s.y; break; }
                t += s.x;
            }
            if (id < 0.0) return vec4(-1.0, 0.0, 0.0, 0.0);
            vec3 p = a.xyz + t * b.xyz;
            const float h = 0.001;
            vec3 n = normalize(vec3(h, -h, -h) * scene_sdf(p + vec3(h, -h, -h)).x +
                               vec3(-h, -h, h) * scene_sdf(p + vec3(-h, -h, h)).x +
                               vec3(-h, h, -h) * scene_sdf(p + vec3(-h, h, -h)).x +
                               vec3(h, h, h) * scene_sdf(p + vec3(h, h, h)).x);
            return vec4(id, dot(n, normalize(vec3(-0.4, 1.0, -0.6))), t, 0.0);
        })",
                                      origins, directions);
    ASSERT_EQ(out.size(), origins.size());

    auto colour = [](int id) -> Vec3 {
        switch (id) {
        case 0: return {0.55f, 0.5f, 0.45f};   // default: floor, suspension, tyre crowns
        case 1: return {0.85f, 0.1f, 0.1f};    // body paint
        case 2: return {0.85f, 0.85f, 0.8f};   // light parts
        case 3: return {0.6f, 1.0f, 1.0f};     // block cores
        case 4: return {0.15f, 0.2f, 0.3f};    // block plates
        case 5: return {0.08f, 0.08f, 0.08f};  // black
        case 6: return {1.0f, 1.0f, 1.0f};     // light panel
        case 7: return {1.0f, 1.0f, 0.6f};     // sphere light
        case 8: return {0.9f, 0.5f, 0.5f};     // guard rail
        case 9: return {0.2f, 0.3f, 0.9f};     // tilted panel
        case 10: return {0.95f, 0.6f, 0.1f};   // helmet
        case 11: return {0.7f, 0.75f, 0.8f};   // rims
        case 12: return {0.3f, 0.4f, 0.3f};    // ground
        case 21: return {1.0f, 0.9f, 0.0f};    // yellow
        default: return {1.0f, 0.0f, 1.0f};
        }
    };
    std::vector<unsigned char> rgb((size_t)width * height * 3);
    int unknown = 0;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i) {
            const Vec4 &o = out[(size_t)j * width + i];
            Vec3 c{0.55f, 0.7f, 0.95f}; // miss
            if (o[0] >= 0.0f) {
                int id = (int)o[0];
                if (id != 21 && id > 12) ++unknown;
                float shade = 0.35f + 0.65f * std::max(0.0f, o[1]);
                c = colour(id);
                c = {c.x * shade, c.y * shade, c.z * shade};
            }
            // PNG rows run top down, the bench's from the bottom
            unsigned char *px = &rgb[((size_t)(height - 1 - j) * width + i) * 3];
            px[0] = (unsigned char)std::lround(255.0f * std::min(c.x, 1.0f));
            px[1] = (unsigned char)std::lround(255.0f * std::min(c.y, 1.0f));
            px[2] = (unsigned char)std::lround(255.0f * std::min(c.z, 1.0f));
        }
    EXPECT_EQ(unknown, 0);

    std::filesystem::path dir = std::filesystem::path(INTRO_SHADER_PATH).parent_path().parent_path() / "out";
    std::filesystem::create_directories(dir);
    std::string file = (dir / "scene_ids.png").string();
    ASSERT_NE(stbi_write_png(file.c_str(), width, height, 3, rgb.data(), width * 3), 0) << file;
    std::printf("wrote %s\n", file.c_str());
}

} // namespace

