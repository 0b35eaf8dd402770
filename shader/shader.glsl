#version 430
// ============================================================================
// Interface and main's globals
// ============================================================================
uniform sampler2D m;                 // averaged picture, read by the post pass
layout(location = 1) uniform ivec2 v; // (sample index or count, pass 1 or 2)
out vec4 f;

float x;                             // sample index: seed and moment of exposure
vec3 frag_coord;
const vec2 resolution = vec2(1920.0, 1080.0);
const vec3 zero_one_neg = vec3(0.0, 1.0, -1.0);
uint rng_state;

// The sample pass traces only |p.y| <= LETTERBOX: rows 135 to 944.
const float LETTERBOX = 0.75;
// Seed = (column * SEED_COLUMN + row * SEED_ROW + sample * SEED_SAMPLE) | 1.
const uint SEED_COLUMN = 1973u;
const uint SEED_ROW = 9277u;
const uint SEED_SAMPLE = 26699u;

// Material ids of the scene's surfaces; ids without a row of their own in
// material_at (the car's default parts and the ground) get the ground pattern.
const float MAT_DEFAULT = 0.0;      // car: floor, cockpit details, suspension, tyre crowns
const float MAT_PAINT = 1.0;        // car: body shell, mirrors, fins, wing plates
const float MAT_LIGHT_PARTS = 2.0;  // car: side plates, front-wing planes, rear flap
const float MAT_BLOCK_CORE = 3.0;
const float MAT_BLOCK_DARK = 4.0;
const float MAT_BLACK = 5.0;        // badge symbol, tyre sidewalls and grooves
const float MAT_LIGHT_PANEL = 6.0;
const float MAT_SPHERE_LIGHT = 7.0;
const float MAT_RAIL = 8.0;
const float MAT_TILTED_PANEL = 9.0;
const float MAT_HELMET = 10.0;
const float MAT_RIM = 11.0;
const float MAT_GROUND = 12.0;
const float MAT_YELLOW = 21.0;      // badge and nose mark

// Motion per unit of x, the sample's moment: the scene is evaluated at
// points moved by these, so what they move is drawn moving the other way.
const float CAR_SPEED = 167e-6;              // car geometry, along z
const float BACKGROUND_SPEED = 0.01;         // background, along z on top of the car's
const vec2 PANEL_DRIFT = vec2(0.004, 0.006); // tilted panel and blocks, along x and z on top
const float PATTERN_SPEED = 0.00167;         // hit point for shading and the next ray, along z
const float DECAL_LAG = 0.0015;              // taken back off for the car's decals

// ============================================================================
// Shared helpers
// ============================================================================
// Wang hash step. The state keeps the value before the final xor-shift.
uint rng_uint()
{
    uint t = (rng_state ^ 61u ^ (rng_state >> 16)) * 9u;
    t ^= t >> 4;
    t *= 668265261u;
    rng_state = t;
    return t ^ (t >> 15);
}

// The factor sits a little below 2^-32 so that the largest uint, which rounds
// to 2^32 as a float, still maps below 1.
float rng_float()
{
    return float(rng_uint()) * 2.3283e-10;
}

float hash21(vec2 q)
{
    return fract(sin(dot(q, vec2(12.9898, 78.233))) * 43758.5453);
}

float value_noise(vec2 q)
{
    vec2 cell = floor(q);
    vec2 t = fract(q);
    vec2 w = t * t * (3.0 - 2.0 * t);
    float a = hash21(cell);
    float b = hash21(cell + zero_one_neg.yx);
    float c = hash21(cell + zero_one_neg.xy);
    float d = hash21(cell + zero_one_neg.yy);
    return mix(mix(a, b, w.x), mix(c, d, w.x), w.y) * 1.3 - 0.175;
}

float fbm2(vec2 q)
{
    return value_noise(q) + value_noise((q + 40.0) * 2.0);
}

// Used from the right on a row pair: (p, q) * rot2(a) = (p cos a + q sin a, q cos a - p sin a).
mat2 rot2(float a)
{
    float c = cos(a);
    float s = sin(a);
    return mat2(c, s, -s, c);
}

// Turns (y, z) by a.x, then (x, z) by a.y, then (x, y) by a.z; placements rely on this order.
vec3 rotate_xyz(vec3 p, vec3 a)
{
    p.yz *= rot2(a.x);
    p.xz *= rot2(a.y);
    p.xy *= rot2(a.z);
    return p;
}

float saturate(float s)
{
    return clamp(s, 0.0, 1.0);
}

vec3 tonemap_aces(vec3 c)
{
    return clamp(c * (2.51 * c + 0.03) / (c * (2.43 * c + 0.59) + 0.14), 0.0, 1.0);
}

// smoothstep that also takes falling edges (e0 > e1); the builtin leaves that undefined.
float smoothstep_any(float e0, float e1, float s)
{
    float t = clamp((s - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// ============================================================================
// Distance primitives
// ============================================================================
// Negative inside, zero on the surface. Shapes sit at the origin; callers move,
// turn and scale the query point.

float sd_box(vec3 p, vec3 b)
{
    vec3 q = abs(p) - b;
    return min(max(q.x, max(q.y, q.z)), 0.0) + length(max(q, 0.0));
}

// Estimate, exact on the surface. At the centre the formula is 0/0: return
// the distance to the nearest point of the surface instead.
float sd_ellipsoid(vec3 p, vec3 r)
{
    float k0 = length(p / r);
    float k1 = length(p / (r * r));
    return k1 > 0.0 ? k0 * (k0 - 1.0) / k1 : -min(r.x, min(r.y, r.z));
}

// Ring about y with a fourth-power-norm tube: t = (ring radius, tube radius,
// half-length of the stretch along y). Never overstates the distance.
float sd_torus4(vec3 p, vec3 t)
{
    p.y -= clamp(p.y, -t.z, t.z);
    vec2 d = vec2(length(p.xz) - t.x, p.y);
    d *= d;
    return sqrt(sqrt(dot(d, d))) - t.y;
}

// Capped cylinder about y; half-height first, then radius.
float sd_cylinder(vec3 p, float h, float r)
{
    vec2 d = abs(vec2(length(p.xz), p.y)) - vec2(r, h);
    return min(max(d.x, d.y), 0.0) + length(max(d, 0.0));
}

// Sheet below y = -x^2 / (2k), extruded along z; k is the apex curvature radius.
float sd_parabola(vec3 p, float k)
{
    float g = p.y + p.x * p.x / (2.0 * k);
    return g / sqrt(1.0 + (p.x / k) * (p.x / k));
}

// 2D distance to the segment from the origin to e; a zero-length one is the origin.
float sd_segment(vec2 p, vec2 e)
{
    float ee = dot(e, e);
    float h = ee > 0.0 ? clamp(dot(p, e) / ee, 0.0, 1.0) : 0.0;
    return length(p - e * h);
}

// (distance, material id) pairs: the nearer wins, the second on a tie, so a
// later part with the same distance repaints the earlier one.
vec2 op_union(vec2 a, vec2 b)
{
    return a.x < b.x ? a : b;
}

float smooth_min(float a, float b, float k)
{
    float h = clamp(0.5 + 0.5 * (b - a) / k, 0.0, 1.0);
    return mix(b, a, h) - k * h * (1.0 - h);
}

// Removes shape a from shape b with a fillet of about k; smooth_subtract(-a, b, k)
// is the smooth intersection.
float smooth_subtract(float a, float b, float k)
{
    float h = clamp(0.5 - 0.5 * (b + a) / k, 0.0, 1.0);
    return mix(b, -a, h) + k * h * (1.0 - h);
}

// ============================================================================
// Car
// ============================================================================
// The car's frame: origin on the centre line at ground level, nose towards -z.
// Most parts are built in the mirrored frame y = (|x|, y, z).

// Side-view parabola in the (z, y) plane with its apex at (o.z, o.y), axis
// turned by a, extruded across x; negative below it.
float car_side_parabola(vec3 y, vec3 o, float a, float k)
{
    return sd_parabola(rotate_xyz((y - o).zyx, vec3(0.0, 0.0, a)), k);
}

// Nose and monocoque.
float car_nose(vec3 f, vec3 y)
{
    float d = length(y - vec3(0.0, 0.35, -1.0)) - 1.4;
    d = smooth_subtract(car_side_parabola(y, vec3(0.0, 0.315, -1.65), -0.1, 3.0), d, 0.1);
    d = smooth_subtract(car_side_parabola(y, vec3(0.0, 0.332, -2.795), 0.1, 6.0), d, 0.01);
    // parabola seen from above
    vec3 plan = ((y - vec3(-0.033, 0.269, -2.15)) * vec3(-1.0, 1.0, 1.0)).zxy;
    d = smooth_subtract(sd_parabola(plan, 10.0) + 0.15, d, 0.02);
    d = smooth_subtract(-car_side_parabola(y, vec3(0.0, -0.05, -2.358), 0.3, 4.5) + 0.5, d, 0.02);
    d = smooth_subtract(-car_side_parabola(y, vec3(0.0, -0.05, -1.908), 0.35, 4.5) + 0.5, d, 0.01);
    d = smooth_subtract(length(y - vec3(0.26, 0.383, -2.563)) - 0.22, d, 0.561);
    // upward-opening bowl: the top limit of nose and monocoque
    vec3 bowl = rotate_xyz((y * vec3(1.0, -1.0, 1.0)).zyx, vec3(0.0, 0.0, 0.049));
    d = smooth_subtract(sd_parabola(bowl, 8.0) + 0.6, d, 0.1);
    return max(0.1 - f.y, d);
}

// Side pods and engine base, hollowed out and open at the front.
float car_pods(vec3 y)
{
    float d = length(y - vec3(0.45, 0.35, 0.6)) - 1.4;
    d = smooth_subtract(0.58 - rotate_xyz(y, vec3(0.0, 0.0, -0.05)).y, d, 0.1);
    d = smooth_subtract(0.75 - y.x, d, 0.1);
    float front_cut = sd_ellipsoid(y - vec3(0.457, 0.321, -0.597), vec3(0.21, 1.77, 0.61));
    d = smooth_subtract(front_cut, d, 0.1);
    vec3 side_cut = rotate_xyz(y - vec3(0.642, 0.321, -0.111), vec3(0.0, 0.6, 0.0));
    d = smooth_subtract(sd_ellipsoid(side_cut, vec3(0.34, 1.77, 0.2)), d, 0.1);
    float undercut = sd_ellipsoid(y - vec3(0.828, 0.048, 1.563), vec3(0.5, 0.31, 0.89));
    d = smooth_subtract(undercut, d, 0.25);
    vec3 tail = rotate_xyz(y - vec3(0.495, 0.318, 1.686), vec3(0.0, 0.4, -0.3));
    d = smooth_subtract(max(sd_box(tail, vec3(0.25, 0.46, 0.49)), 1.3 - y.z), d, 0.05);

    float hollow = sd_ellipsoid(y - vec3(0.502, 0.339, -0.065), vec3(0.61, 0.23, 2.0));
    hollow = smooth_subtract(0.65 - rotate_xyz(y, vec3(0.0, 0.0, -0.1)).x, hollow, 0.25);
    hollow = smooth_subtract(y.z + 0.6, hollow, 0.1);
    hollow = smooth_subtract(0.5 - y.z, hollow, 0.1);
    hollow = smooth_subtract(y.x - 0.2, hollow, 0.1);
    hollow = smooth_subtract(0.5 - y.y, hollow, 0.03);
    hollow = smooth_subtract(y.y - 0.1, hollow, 0.1);

    d = smooth_subtract(hollow, d, 0.05);
    d = max(d, -sd_box(y - vec3(0.729, 0.309, -0.569), vec3(0.1, 0.22, 0.31)));
    d = smooth_subtract(y.y - 0.05, d, 0.1);
    d = smooth_subtract(1.85 - y.z, d, 0.01);
    return smooth_subtract(length(y - vec3(0.0, 0.306, -1.006)) - 0.36, d, 0.3);
}

// Air-intake cavity: the part of the ellipsoid above y = 0.84.
float car_intake_cavity(vec3 f)
{
    float inside = sd_ellipsoid(f - vec3(0.0, 0.86, 0.509), vec3(0.08, 0.18, 0.5)) + 0.01;
    return smooth_subtract(f.y - 0.84, inside, 0.05);
}

// Body shell: nose, pods, engine cover and spine, with the cockpit, the
// intake mouth and the cavity cut out.
float car_shell(vec3 f, vec3 y)
{
    float shell = smooth_min(car_nose(f, y), car_pods(y), 0.01);
    // engine cover and spine: ellipsoids whose centre height falls away from
    // z = 0.53 with the point's own z, which makes ridges
    float ridge = abs(y.z - 0.53);
    float cover = sd_ellipsoid(y - vec3(0.0, 0.66 - 0.2 * ridge, 0.537), vec3(0.161, 0.211, 1.63));
    float spine = sd_ellipsoid(y - vec3(0.0, 0.931 - 0.35 * ridge, 0.536), vec3(0.091, 0.151, 1.55));
    cover = smooth_subtract(y.z - 0.5, cover, 0.05);
    spine = smooth_subtract(y.z - 0.5, spine, 0.05);
    shell = smooth_min(smooth_min(shell, cover, 0.1), spine, 0.1);
    float cockpit = sd_box(f - vec3(0.0, 0.562, 0.17), vec3(0.15, 0.19, 0.32));
    shell = smooth_subtract(cockpit, shell, 0.04);
    float mouth = sd_ellipsoid(f - vec3(0.0, 0.868, 0.509), vec3(0.08, 0.18, 0.051));
    shell = max(shell, -smooth_subtract(f.y - 0.84, mouth, 0.05));
    return max(shell, -car_intake_cavity(f));
}

// Helmet in its own frame h: a ball and an ellipsoid blended.
float car_helmet(vec3 h)
{
    float ball = length(h - vec3(0.0, 0.0, 0.1)) - 0.1;
    float ellipsoid = sd_ellipsoid(h - vec3(0.0, 0.01, 0.0), vec3(0.12, 0.131, 0.15));
    return smooth_min(ball, ellipsoid, 0.15) - 0.02;
}

// Tyre in the wheel frame t0, as (distance, id). The tyre frame shrinks the
// radius towards the edges (factor c), which rounds the profile and
// stretches distances: they are taken at 0.6.
vec2 car_tyre(vec3 t0)
{
    float c = 1.0 + 3.0 * t0.x * t0.x + 0.2 * smoothstep(0.1, 0.27, abs(t0.x));
    vec3 t = vec3(t0.x, t0.yz * c);
    float bore = sd_cylinder(t.zxy, 0.2, 0.21);
    float tyre = smooth_subtract(bore, sd_cylinder(t.zxy, 0.125, 0.305) - 0.045, 0.02);
    vec3 g = vec3(mod(t.x + 0.025, 0.05) - 0.025, t.y, t.z); // a groove every 0.05 across
    float grooves = max(sd_torus4(g.zxy, vec3(0.35, 0.0, 0.0)) - 0.005, abs(t0.x) - 0.15);
    tyre = smooth_subtract(grooves, tyre, 0.003);
    // the crown between the grooves takes the default material
    return vec2(0.6 * tyre, length(vec2(t.z, t.y)) > 0.35 ? MAT_DEFAULT : MAT_BLACK);
}

// Badge masks in the badge frame b, each 1 or 0: (shield, symbol). The masks
// are prisms across x, so the badge shows on both flanks.
vec2 car_badge_masks(vec3 y)
{
    vec2 b = vec2((y.z + 0.449) / 0.1, (y.y - 0.513) / 0.1);
    float shield_top = b.y + 0.17 * abs(b.x) - 0.5;
    float shield_sides = length(vec2(abs(b.x) + 0.52, min(b.y, 0.0))) - 1.02;
    float shield = max(shield_top, shield_sides) <= 0.0 ? 1.0 : 0.0;
    float blob = length(b - vec2(0.055, -0.285)) - 0.11;
    float stem = sd_segment(b - vec2(-0.03, -0.14), vec2(0.03, 0.34)) - 0.1;
    float stroke = sd_segment(b - vec2(-0.12, -0.06), vec2(-0.12, 0.04)) - 0.07;
    float symbol = min(blob, min(stem, stroke)) <= 0.0 ? 1.0 : 0.0;
    return vec2(shield, symbol);
}

// Steering wheel, headrest, mount on the spine and intake lining, as one
// distance. The headrest equals the shell on its surface and, added after
// it, repaints it.
float car_cockpit_details(vec3 f, vec3 h, float shell, float cavity)
{
    vec3 wheel = abs(f.xzy - vec3(0.0, -0.13, 0.504)) - vec3(0.02, 0.0, 0.0); // doubled across x
    float wheel_disc = sd_cylinder(wheel, 0.0, 0.1) - 0.025;
    vec3 rest = rotate_xyz(h - vec3(0.0, 0.105, 0.035), vec3(-0.35, 0.0, 0.0));
    float headrest = max(shell, max(length(h - vec3(0.0, 0.058, 0.094)) - 0.151,
                                    sd_box(rest, vec3(0.151, 0.121, 0.057))));
    vec3 mp = f - vec3(0.0, 1.07, 0.55);
    float mount = min(sd_cylinder(mp - vec3(0.0, 0.03, 0.0), 0.025, 0.02),
                      sd_cylinder((mp - vec3(0.0, 0.065, 0.0)).yxz, 0.12, 0.005) - 0.025);
    float lining = max(shell, cavity) - 0.01;
    return min(min(wheel_disc, headrest), min(mount, lining));
}

float car_mirror(vec3 y)
{
    vec3 g = rotate_xyz(y - vec3(0.438, 0.63, 0.155), vec3(0.0, 0.5, 0.0));
    vec3 stalk = rotate_xyz(g - vec3(-0.165, -0.106, 0.037), vec3(-0.5, 0.0, -0.8));
    return smooth_min(max(g.z, sd_box(g, vec3(0.04, 0.01, 0.01)) - 0.03),
                      sd_cylinder(stalk, 0.13, 0.008), 0.01);
}

// Two thin centre-line fins: frame squeezed five times across x, hence the 0.2.
float car_fins(vec3 f)
{
    vec3 e = vec3(f.x / 0.2, f.y, f.z);
    return 0.2 * min(sd_cylinder(e - vec3(-0.009, 0.695, -1.067), 0.13, 0.01),
                     sd_cylinder(e.xzy - vec3(0.0, -0.501, 0.646), 0.13, 0.02));
}

float car_floor(vec3 y)
{
    float rear_cut = sd_box(y - vec3(0.78, 0.067, 2.103), vec3(0.22, 0.1, 0.38));
    float front_cut = sd_ellipsoid(y - vec3(0.855, 0.067, -0.783), vec3(0.48, 0.5, 0.84));
    float plate = sd_box(y - vec3(0.0, 0.05, 0.772), vec3(0.738, 0.004, 1.56)) - 0.01;
    return smooth_subtract(rear_cut, smooth_subtract(front_cut, plate, 0.2), 0.1);
}

// Front suspension, folded into r in two additions.
vec2 car_suspension(vec3 f, vec3 y, vec2 r)
{
    vec3 s = y - vec3(0.693, 0.361, -1.025);
    // bracket, lower arm and, on the -x side only, a pod whose frame is
    // squeezed four times in y
    float bracket = max(-sd_box(y - vec3(0.533, 0.405, -1.149), vec3(0.021, 0.05, 0.15)),
                        sd_box(y - vec3(0.56, 0.405, -1.054), vec3(0.031, 0.04, 0.1)) - 0.03);
    vec3 arm = rotate_xyz(s.zxy - vec3(0.02, -0.35, -0.153), vec3(-0.07, 0.0, -0.1));
    float lower_arm = sd_cylinder(arm, 0.3, 0.015);
    vec3 pod_at = (f.zxy - vec3(-1.214, -0.235, 0.53)) / vec3(1.0, 1.0, 0.25);
    float pod = 0.25 * sd_cylinder(pod_at, 0.11, 0.09);
    r = op_union(r, vec2(min(bracket, min(lower_arm, pod)), MAT_DEFAULT));

    s.y /= 0.5; // squeezed twice in y: the members below take 0.5
    vec3 u = s.zxy;
    vec3 upper = rotate_xyz(u - vec3(0.031, -0.312, 0.227), vec3(0.0, 0.0, -0.1));
    vec3 rod = rotate_xyz(u - vec3(0.113, -0.29, 0.075), vec3(-1.1, 0.0, 0.1));
    float members = 0.5 * min(sd_cylinder(u, 0.12, 0.03),
                              min(sd_cylinder(upper, 0.23, 0.02), sd_cylinder(rod, 0.52, 0.015)));
    float hub = sd_cylinder(y.zxy - vec3(-1.019, 0.65, 0.36), 0.02, 0.11) - 0.03;
    return op_union(r, vec2(min(members, hub), MAT_DEFAULT));
}

// Front wing (in its frame w) and rear wing, folded into r in three additions.
vec2 car_wings(vec3 f, vec3 y, vec2 r)
{
    vec3 w = y - vec3(0.0, 0.1, -1.95);
    vec3 trim = rotate_xyz(vec3(w.x, -w.y, abs(w.z - 0.02)), vec3(0.4, 0.0, 0.0));
    float plate = max(sd_box(w - vec3(0.7, 0.05, 0.1), vec3(0.1, 0.08, 0.35)) - 0.04,
                      sd_box(w - vec3(0.7, 0.05, 0.05), vec3(0.0, 0.15, 0.35)) - 0.005);
    float endplate = smooth_subtract(trim.y + 0.09, plate, 0.03);
    float pillar = sd_box(w - vec3(0.097 + 0.1 * w.z, 0.15, 0.07), vec3(0.005, 0.14, 0.07)) - 0.005;
    float footplate = sd_box(w - vec3(0.77, -0.05, 0.06), vec3(0.065, 0.0, 0.35)) - 0.005;
    r = op_union(r, vec2(min(pillar, min(endplate, footplate)), MAT_PAINT));

    // rear wing's main plane and endplates
    r = op_union(r, vec2(min(sd_box(y - vec3(0.55, 0.7, 2.4), vec3(0.01, 0.3, 0.2)),
                             sd_box(f - vec3(0.0, 0.8, 2.4), vec3(0.55, 0.01, 0.2))), MAT_PAINT));

    // main plane and front flap in frames bent by camber (along z) and sweep (across x)
    vec3 plane_at = w - vec3(0.0, 0.2 * (w.z + 0.1) * (w.z + 0.1), 0.05 * abs(w.x));
    float main_plane = sd_box(plane_at, vec3(0.7, 0.0, 0.2)) - 0.005;
    vec3 flap_at = w - vec3(0.0, 0.5 * (w.z + 0.2) * (w.z + 0.2), 0.2 + 0.05 * abs(w.x));
    float flap = sd_box(flap_at, vec3(0.85, 0.0, 0.12)) - 0.005;
    float flap_cut = -sd_parabola((w + vec3(-1.047, -1.292, -0.816)).zxy, 1.0);
    // the bent frame stretches the flap's distances, hence the 0.9
    float front_flap = 0.9 * max(0.3 - sd_box(w - vec3(0.0, 0.0, 0.6), vec3(0.23, 0.2, 0.1)),
                                 smooth_subtract(flap_cut, flap, 0.1));
    vec3 rear_at = rotate_xyz(f - vec3(0.0, 0.92, 2.5), vec3(-0.7, 0.0, 0.0));
    float rear_flap = sd_box(rear_at, vec3(0.55, 0.01, 0.1));
    return op_union(r, vec2(min(main_plane, min(front_flap, rear_flap)), MAT_LIGHT_PARTS));
}

// Tyres and rims, folded into r; the wheel frame t0 is mirrored in x and
// about z = 0.51.
vec2 car_wheels(vec3 f, vec2 r)
{
    vec3 t0 = vec3(abs(f.x) - 0.76, f.y - 0.35, abs(f.z - 0.51) - 1.53);
    r = op_union(r, car_tyre(t0));

    float rim = smooth_min(sd_torus4(t0.zxy - vec3(0.0, 0.08, 0.0), vec3(0.18, 0.005, 0.09)),
                           sd_torus4(t0.zxy - vec3(0.0, 0.04, 0.0), vec3(0.18, 0.001, 0.06)), 0.1);
    return op_union(r, vec2(rim, MAT_RIM));
}

// Folds the car's parts into r in a fixed order: on equal distances the part
// added later wins, which the badge, headrest and tyre ids depend on.
vec2 car_sdf(vec3 q, vec2 r)
{
    vec3 f = q;
    vec3 y = vec3(abs(f.x), f.y, f.z);
    vec3 h = rotate_xyz(f - vec3(-0.016, 0.5895, 0.358), vec3(-1.2, -0.3, -0.1));

    // small plates low on the sides
    float side_plates = sd_box(y - vec3(0.697, 0.089, -0.07), vec3(0.1, 0.02, 0.005));
    r = op_union(r, vec2(side_plates, MAT_LIGHT_PARTS));

    float cavity = car_intake_cavity(f);
    float shell = car_shell(f, y);
    r = op_union(r, vec2(car_helmet(h), MAT_HELMET));

    // the coatings sit 0.001 behind the shell so that it wins outside the masks
    vec2 badge = car_badge_masks(y);
    r = op_union(r, vec2(shell, MAT_PAINT));
    r = op_union(r, vec2(shell + 0.001 - 0.011 * badge.x, MAT_YELLOW));
    r = op_union(r, vec2(shell + 0.001 - 0.016 * badge.x * badge.y, MAT_BLACK));

    r = op_union(r, vec2(car_cockpit_details(f, h, shell, cavity), MAT_DEFAULT));

    float mirror = car_mirror(y);
    r = op_union(r, vec2(min(mirror, car_fins(f)), MAT_PAINT));

    float nose_mark = max(abs(f.x) - 0.015, abs(f.z + 1.974) - 0.03) <= 0.0 ? 1.0 : 0.0;
    r = op_union(r, vec2(min(shell, mirror) + 0.001 - 0.004 * nose_mark, MAT_YELLOW));

    r = op_union(r, vec2(car_floor(y), MAT_DEFAULT));
    r = car_suspension(f, y, r);
    r = car_wings(f, y, r);
    return car_wheels(f, r);
}

// ============================================================================
// Scene
// ============================================================================
// Lowers an empty cell's block out of every ray's reach.
const float EMPTY_CELL_DROP = 1e9;

// Blocks on the tilted panel, t in the panel's frame. Only the cell holding t
// (or the nearest edge cell) is examined, neighbours are not.
vec2 block_field_sdf(vec3 t, vec2 r)
{
    const vec2 cell = vec2(1.3, 1.9);
    vec2 g = clamp(floor(t.xz / cell), vec2(-3.0, -4.0), vec2(2.0, 3.0));
    float h = hash21(g);
    float u = fract(h * 91.7);
    t.xz -= (g + 0.5) * cell + (vec2(h, u) - 0.5) * cell * 0.5;
    t.y -= h > 0.9 ? EMPTY_CELL_DROP : 0.12; // about one cell in ten stays empty
    u = fract(u * 57.3);
    float s = mix(0.35, 1.8, u * u); // small blocks are the common ones
    t.xz *= rot2((h - 0.5) * 0.3);
    t /= s;

    float dark = min(sd_box(t - vec3(0.0, -0.06, 0.0), vec3(0.21, 0.04, 0.76)),
                     min(sd_box(t - vec3(0.0, 0.1, 0.0), vec3(0.205, 0.006, 0.75)),
                         sd_box(t - vec3(0.0, 0.2, 0.15), vec3(0.155, 0.012, 0.33))));
    float core = min(sd_box(t - vec3(0.0, 0.04, 0.0), vec3(0.2, 0.06, 0.75)),
                     sd_box(t - vec3(0.0, 0.18, 0.15), vec3(0.15, 0.1, 0.375)));
    r = op_union(r, vec2(s * dark, MAT_BLOCK_DARK));
    return op_union(r, vec2(s * core, MAT_BLOCK_CORE));
}

// The guard rail's frame from q: the rail runs along g.x = 0 on the road's
// +x side, straight up to its line coordinate g.z = 0 and bending towards -x
// beyond it, mirrored about y = 0.25.
vec3 guard_rail_frame(vec3 q)
{
    vec3 g = q - vec3(1.0, 1.0, 4.0);
    g.xz *= rot2(0.25);
    if (g.z >= 0.0)
        g.x += 10.0 * (1.0 - cos(0.1 * g.z));
    g.x -= 1.5;
    g.y = abs(g.y + 0.75);
    return g;
}

// Guard rail with a post every 2 units along its line.
vec2 guard_rail_sdf(vec3 q, vec2 r)
{
    vec3 g = guard_rail_frame(q);
    g.z = mod(g.z + 1.0, 2.0) - 1.0;

    // profile in a frame scaled by 3, doubled into two crests
    vec3 w = (g - vec3(0.0, 0.2, 0.0)) * 3.0;
    w.y = abs(w.y) - 0.08;
    float channel = max(max(sd_box(w - vec3(0.02, 0.283, 0.028), vec3(0.2, 0.01, 3.0)) - 0.2,
                            -(sd_box(w - vec3(0.142, 0.276, 0.041), vec3(0.22, 0.001, 3.0)) - 0.1)),
                        w.x - 0.2);
    float web = sd_box(w - vec3(0.1, 0.0, 0.0), vec3(0.1, 0.1, 3.0));
    float rail = smooth_min(channel, web, 0.1) / 3.0;
    float post = sd_box(g - vec3(0.15, 0.0, 0.0), vec3(0.1, 0.4, 0.1)) - 0.01;
    return op_union(r, vec2(min(rail, post), MAT_RAIL));
}

// Ground, overhead light panel and sphere light: they do not move.
vec2 environment_sdf(vec3 p)
{
    vec2 r = vec2(p.y + 0.01, MAT_GROUND);
    float panel = sd_box(p - vec3(-4.0, 6.0, -4.0), vec3(7.0, 0.05, 7.0)) - 0.5;
    r = op_union(r, vec2(panel, MAT_LIGHT_PANEL));
    return op_union(r, vec2(length(p - vec3(-6.0, 10.0, -8.0)) - 0.6, MAT_SPHERE_LIGHT));
}

// The car is the expensive part: it is only looked at where its bound box is
// no farther than the ground and lights (<= so a tie still evaluates it).
// q is in the car's moving frame.
bool car_in_reach(vec3 q, vec2 r)
{
    return sd_box(q - vec3(0.0, 0.6, -0.15), vec3(1.3, 0.7, 3.15)) <= r.x;
}

// The tilted panel's frame, from q in the background's moving frame.
vec3 tilted_panel_frame(vec3 q)
{
    vec3 t = q - vec3(0.0, 1.0, 14.5);
    t.x += PANEL_DRIFT.x * x;
    t.z += PANEL_DRIFT.y * x;
    t.xz *= rot2(0.8);
    t.zy *= rot2(0.2);
    t.xy *= rot2(0.1);
    return t;
}

// Tilted panel, its blocks and the guard rail, folded into r; q is in the
// car's moving frame, the background moves on faster.
vec2 background_sdf(vec3 q, vec2 r)
{
    q.z += BACKGROUND_SPEED * x;
    // horizontal layers 1/15 thick, each shifted by its own fixed amount
    float jitter = 0.2 * fract(sin(floor(15.0 * q.y)) * 43758.5453);
    q.xz += jitter;

    vec3 t = tilted_panel_frame(q);
    r = op_union(r, vec2(sd_box(t, vec3(4.0, 0.01, 7.5)), MAT_TILTED_PANEL));
    r = block_field_sdf(t, r);

    return guard_rail_sdf(q, r);
}

// A lower bound of the background's distances at q (the car's moving
// frame): boxes around the tilted panel with its blocks and around the guard
// rail's profile. They are taken without the layer jitter, which moves q by
// less than 0.2 along x and z, hence the margins.
float background_bound(vec3 q)
{
    q.z += BACKGROUND_SPEED * x;
    // blocks of the largest scale, turned and jittered to the field's edge
    float panel = sd_box(tilted_panel_frame(q) - vec3(0.0, 0.28, 0.0), vec3(4.2, 0.36, 8.6)) - 0.3;
    // the jitter moves g.x, and through the bend g.z, by up to 0.29 each
    vec3 g = guard_rail_frame(q);
    float rail = max(abs(g.x - 0.0665) - 0.1935, g.y - 0.41) - 0.6;
    return min(panel, rail);
}

// One look at the world at p before the car and the background are added:
// what leaving either out would need to know. `x` is the sample's moment:
// the car moves a little and the background a lot along z, which gives the
// blur.
struct SceneProbe {
    vec2 r;               // the ground and lights, as (distance, material id)
    vec3 q;               // p in the car's moving frame
    bool car_near;        // adding the car could change r
    bool background_near; // adding the background could change r
};

SceneProbe probe_scene(vec3 p)
{
    SceneProbe s;
    s.r = environment_sdf(p);
    s.q = p;
    s.q.z += CAR_SPEED * x;
    s.car_near = car_in_reach(s.q, s.r);
    s.background_near = background_bound(s.q) <= s.r.x;
    return s;
}

// The world as (distance, material id). The parts out of reach leave the
// numbers as they are, so they are only added where they could change them.
vec2 scene_sdf(vec3 p)
{
    SceneProbe s = probe_scene(p);
    vec2 r = s.r;
    if (s.car_near)
        r = car_sdf(s.q, r);
    if (s.background_near)
        r = background_sdf(s.q, r);
    return r;
}

// ============================================================================
// Materials
// ============================================================================
// What a hit's id makes of its surface. Patterns and decals are read at the
// time-shifted hit point, so they travel with the road and the car.

// Emitted light is albedo * emission.
const float BLOCK_CORE_EMISSION = 0.12;   // the blocks' cores glow faintly
const float PANEL_EMISSION = 40.0;        // overhead light panel
const float SPHERE_LIGHT_EMISSION = 3000.0;

const vec3 PAINT_RED = vec3(0.345, 0.0, 0.0); // body paint and the helmet's shell
const vec3 DECAL_BLACK = vec3(0.02);          // side and wing text, visor, helmet line
const vec3 DECAL_WHITE = vec3(1.0);           // paint panel, top text, helmet stripe

struct Material {
    vec3 albedo;       // diffuse colour, also the colour of emitted light
    float spec_chance; // chance of the specular lobe at normal incidence
    float roughness;   // blend of the mirror direction towards the diffuse one
    vec3 spec_tint;
    float emission;
};

// "VELOX 27", 5x6 cells, bit 5*row + column, row 0 at the bottom.
const uint font_masks[8] = uint[8](
    0x2318a944u, 0x3e17843fu, 0x0210843fu, 0x1d18c62eu,
    0x22a21151u, 0x00000000u, 0x1d14105fu, 0x3f041084u);

float font_glyph(vec2 c)
{
    // range test on the floats: converting a huge or NaN coordinate to int
    // is undefined
    if (!(c.x >= 0.0 && c.x < 48.0 && c.y >= 0.0 && c.y < 6.0)) return 0.0;
    int i = int(c.x);
    int j = int(c.y);
    if (i % 6 == 5) return 0.0;
    return float((font_masks[i / 6] >> uint(5 * j + i % 6)) & 1u);
}

// Each set bit also covers the next column and most of the next row.
float font_glyph_bold(vec2 c)
{
    return max(max(font_glyph(c), font_glyph(c - vec2(1.0, 0.0))),
               max(font_glyph(c - vec2(0.0, 0.8)), font_glyph(c - vec2(1.0, 0.8))));
}

// Road markings and asphalt; `stripe` is also returned for the roughness.
vec3 ground_pattern(vec3 p, out float stripe)
{
    vec3 q = p - vec3(1.0);
    q.xz = q.xz * rot2(0.15);
    if (q.z >= 0.0) q.x += 10.0 * (1.0 - cos(0.1 * q.z));
    q.z = mod(q.z + 1.0, 2.0) - 1.0;
    stripe = 0.3 * smoothstep_any(0.1, 0.05, abs(2.0 * fract(0.3 * q.x + 0.4) - 1.0));
    float seam = 0.1 * smoothstep_any(0.1, 0.05, abs(2.0 * fract(0.1 * q.x - 0.31) - 1.0));
    return 0.27 * vec3(0.55, 0.5, 0.45) * (1.1 + 0.4 * fbm2(vec2(12.3 * q.x, 2.0 * q.z))) + 0.01
         + stripe * (0.2 + 0.8 * value_noise(vec2(7.3 * q.x, 2.0 * q.z))) - seam;
}

// Paint with the white panel, black side text and white top text.
vec3 paint_albedo(vec3 p)
{
    vec3 q = p;
    q.z -= DECAL_LAG * x; // decals follow the car, not the road
    float panel = sd_box(q - vec3(0.0, 0.876, 1.093), vec3(0.3));
    vec3 albedo = mix(PAINT_RED, DECAL_WHITE, smoothstep_any(0.0, -0.01, panel));
    albedo = mix(albedo, DECAL_BLACK, font_glyph_bold(vec2(96.0 * q.z - 81.6, 50.0 * q.y - 30.0)));
    albedo = mix(albedo, DECAL_WHITE, font_glyph_bold(vec2(-60.0 * q.z - 16.8, 3.2 - 40.0 * q.x)));
    return albedo;
}

// Text in the frame of the rear wing's upper flap.
vec3 wing_albedo(vec3 p)
{
    vec3 q = p;
    q.z -= DECAL_LAG * x;
    q = rotate_xyz(q - vec3(0.0, 0.92, 2.5), vec3(-0.7, 0.0, 0.0));
    float text = font_glyph_bold(vec2(24.0 - 48.0 * q.x, 24.0 * q.z + 2.88));
    return mix(vec3(0.85), DECAL_BLACK, text);
}

vec3 helmet_albedo(vec3 p)
{
    if (p.y < 0.68 && p.y > 0.65 + 2.0 * (p.x * p.x - 0.05)) return DECAL_BLACK;
    if (p.y < 0.74 && abs(p.x) < 0.075) return abs(p.y - 0.695) < 0.01 ? DECAL_BLACK : DECAL_WHITE;
    return PAINT_RED;
}

vec3 rail_albedo(vec3 p)
{
    float b = mod(0.3 * p.z - 1.3, 2.0);
    if (b <= 0.5) return vec3(0.69, 0.05, 0.05);
    if (b <= 1.5) return vec3(0.85);
    return vec3(0.6);
}

// Material of a hit with id `id` at the time-shifted point p with normal n.
Material material_at(float id, vec3 p, vec3 n)
{
    float stripe;
    vec3 ground = ground_pattern(p, stripe);
    Material mat = Material(ground, 0.15, 0.6 - 0.1 * stripe, ground, 0.0);
    if (id == MAT_PAINT) {
        mat = Material(paint_albedo(p), 0.3, 0.05, vec3(1.0), 0.0);
    } else if (id == MAT_LIGHT_PARTS) {
        mat = Material(wing_albedo(p), 0.1, 0.3, ground, 0.0);
    } else if (id == MAT_BLOCK_CORE) {
        mat = Material(vec3(1.0), 0.6, 0.15, vec3(1.0), BLOCK_CORE_EMISSION);
    } else if (id == MAT_BLOCK_DARK) {
        vec3 a = vec3(0.06, 0.07, 0.12);
        mat = Material(a, 0.3, 0.4, 0.99 * a + 0.01, 0.0);
    } else if (id == MAT_BLACK) {
        mat = Material(vec3(0.035 + 0.045 * abs(n.x)), 0.15, 0.6, vec3(0.15), 0.0);
    } else if (id == MAT_LIGHT_PANEL) {
        mat = Material(vec3(1.0, 0.86, 0.7), 0.9, 0.01, vec3(1.0), PANEL_EMISSION);
    } else if (id == MAT_SPHERE_LIGHT) {
        mat.albedo = vec3(1.0, 0.9, 0.75);
        mat.emission = SPHERE_LIGHT_EMISSION;
    } else if (id == MAT_RAIL) {
        vec3 a = rail_albedo(p);
        mat = Material(a, 0.9, 0.35, 0.99 * a + 0.01, 0.0);
    } else if (id == MAT_TILTED_PANEL) {
        mat = Material(vec3(0.05, 0.05, 0.4), 0.2, 0.7, vec3(1.0), 0.0);
    } else if (id == MAT_HELMET) {
        mat = Material(helmet_albedo(p), 0.25, 0.3, ground, 0.0);
    } else if (id == MAT_RIM) {
        mat = Material(vec3(0.12, 0.12, 0.13), 0.7, 0.15, vec3(0.6), 0.0);
    } else if (id == MAT_YELLOW) {
        mat.albedo = vec3(1.0, 0.8, 0.0);
    }
    return mat;
}

// ============================================================================
// Path tracer
// ============================================================================
// Tracer limits.
const int PATH_SEGMENTS = 5;        // the camera ray and four bounces
const int MARCH_STEPS = 128;        // a march that runs out of them is a miss
const float MARCH_START = 0.1;      // every segment's first step, bounces included
const float MARCH_FAR = 50.0;       // a march that gets this far is a miss
const float HIT_TOLERANCE = 0.0001; // per unit of distance travelled
const float NORMAL_STEP = 0.001;    // of the normal's central differences
const float ORIGIN_OFFSET = 0.01;   // of the next ray, along the normal
const float MIN_LOBE_CHANCE = 0.001; // floor of the lobe weight's divisor
const float MISS_ID = -1.0;         // march's id when nothing was hit; no scene id is negative

// Sky seen along d; bounces that leave downwards see little or none of it.
vec3 sky_radiance(vec3 d, int segment)
{
    float w = segment == 0 ? 1.0 : smoothstep_any(-0.1, 0.4, d.y);
    return 0.18 * mix(vec3(0.75, 0.77, 0.85), vec3(0.4, 0.5, 0.9), 0.5 * d.y + 0.5) * w;
}

// Schlick: the specular lobe grows towards grazing incidence.
float fresnel_spec_chance(float spec_chance, vec3 n, vec3 d)
{
    return mix(spec_chance, 1.0, pow(1.0 - saturate(-dot(n, d)), 5.0));
}

// One step of the sphere trace with the scene sample h at o + t * d: true
// when the march is over, with id set on a hit.
bool march_step(vec2 h, inout float t, inout float id, inout int steps)
{
    if (abs(h.x) < HIT_TOLERANCE * t) {
        id = h.y;
        return true;
    }
    t += h.x;
    steps++;
    return steps == MARCH_STEPS || t >= MARCH_FAR;
}

// Sphere trace of one segment from o along d: the distance t of the hit and
// its material id, MISS_ID for a miss. It must keep the meaning of the plain
// march in tests/data/baseline.glsl, one scene_sdf per step, to the bit: the
// RenderExactness test holds the two to the same picture. Each step takes
// the cheapest scene that gives the same numbers there, each in a loop of
// its own: the ground and lights alone; with the background; with the car.
// A step that needs both the car and the background is held after the car's
// loop and finished in the background's. Why it is split so: see
// docs/performance.md. In the loops' notes, s probes t or, where a loop
// has just taken a step, the point of that step. A leg that takes no step
// holds one, which the next leg takes: the legs' bound never ends a march
// before its steps run out.
vec2 march(vec3 o, vec3 d)
{
    float t = MARCH_START;
    float id = MISS_ID;
    int steps = 0;
    bool done = false;
    bool held = false;
    vec2 with_car = vec2(0.0); // the held step's scene so far
    // Each leg, in and out: the step at t is still to take, or held with with_car its scene so far.
    for (int leg = 0; leg < 2 * MARCH_STEPS + 1 && !done; leg++) {
        SceneProbe s;
        // Ground and lights. In: a new leg. Out: done, held, or s has car or background near.
        while (!done && !held) {
            s = probe_scene(o + t * d);
            if (s.car_near || s.background_near) break;
            done = march_step(s.r, t, id, steps);
        }
        // Background. In: held, or s has it alone near. Out: done, s has the car near, or neither.
        while (!done && (held || !s.car_near)) {
            s = probe_scene(o + t * d);
            if (s.car_near && !held) break;
            vec2 h = background_sdf(s.q, held ? with_car : s.r);
            held = false;
            done = march_step(h, t, id, steps);
            if (!s.background_near) break;
        }
        // Car. In: s has the car near, nothing held. Out: done, held, or s has neither near.
        while (!done && !held && s.car_near) {
            s = probe_scene(o + t * d);
            vec2 h = s.r;
            if (s.car_near)
                h = car_sdf(s.q, h);
            held = background_bound(s.q) <= h.x;
            if (held)
                with_car = h;
            else
                done = march_step(h, t, id, steps);
        }
    }
    return vec2(t, id);
}

// Tetrahedral central differences: four scene samples. They stay written
// out with constant offsets: the compiler folds the offsets into the
// scene's own constants, and the picture depends on that rounding (a loop
// over the offsets, or the car added in one, changes a few pixels).
vec3 surface_normal(vec3 p)
{
    const vec2 e = vec2(NORMAL_STEP, -NORMAL_STEP);
    return normalize(e.xyy * scene_sdf(p + e.xyy).x + e.yyx * scene_sdf(p + e.yyx).x +
                     e.yxy * scene_sdf(p + e.yxy).x + e.xxx * scene_sdf(p + e.xxx).x);
}

// One path of at most five segments. Draws per hit: lobe, three for the
// diffuse direction, roulette; a miss draws nothing.
vec3 trace_path(vec3 o, vec3 d)
{
    vec3 radiance = vec3(0.0);
    vec3 throughput = vec3(1.0);
    for (int segment = 0; segment < PATH_SEGMENTS; segment++) {
        vec2 h = march(o, d);
        float t = h.x;
        float id = h.y;
        if (id == MISS_ID) {
            radiance += throughput * sky_radiance(d, segment);
            break;
        }
        vec3 p = o + t * d;
        vec3 n = surface_normal(p);
        p.z += PATTERN_SPEED * x; // road patterns and the next origin move with time
        Material mat = material_at(id, p, n);
        float spec_chance = fresnel_spec_chance(mat.spec_chance, n, d);
        float specular = step(rng_float(), spec_chance);
        o = p + ORIGIN_OFFSET * n;
        float r1 = rng_float();
        float r2 = rng_float();
        float r3 = rng_float();
        vec3 diffuse_dir = normalize(n + normalize(2.0 * vec3(r1, r2, r3) - 1.0));
        vec3 glossy_dir = normalize(mix(reflect(d, n), diffuse_dir, mat.roughness * mat.roughness));
        d = specular > 0.5 ? glossy_dir : diffuse_dir;
        radiance += mat.albedo * mat.emission * throughput;
        throughput *= (specular > 0.5 ? mat.spec_tint : mat.albedo) /
                      max(specular > 0.5 ? spec_chance : 1.0 - spec_chance, MIN_LOBE_CHANCE);
        float q = max(throughput.x, max(throughput.y, throughput.z));
        if (rng_float() > q) break;
        throughput /= q;
    }
    return radiance;
}

// Centre of the sun's glow, above the picture's top edge; normalised where used.
const vec3 SUN_DIRECTION = vec3(0.7, 0.1, 0.8);

// Sun glow, compression towards 1/0.15, then the filmic curve.
vec3 finish_sample(vec3 radiance, vec3 d)
{
    float g = max(dot(d, normalize(SUN_DIRECTION)), 0.0);
    float g4 = g * g * g * g;
    radiance += (0.25 * g4 + 0.2 * g4 * g4 * g4) * 0.25 * vec3(1.0, 0.75, 0.6);
    radiance = radiance / (0.5 + 0.15 * radiance);
    return tonemap_aces(radiance);
}

// Thin-lens camera: every ray passes through the pixel's focus point at
// distance 3 from a jittered point of a square aperture.
const vec3 CAMERA_EYE = vec3(-2.0, 1.25, -4.5);

// The camera's right, up and forward axes; it is rolled.
mat3 camera_basis()
{
    vec3 w = normalize(vec3(0.2, 0.25, 0.0) - CAMERA_EYE);
    vec3 u = normalize(cross(w, vec3(0.31, 1.0, 0.0)));
    vec3 vv = cross(u, w);
    return mat3(u, vv, w);
}

// The screen point of a pixel centre: y in -1..1, x scaled alike.
vec2 screen_point(vec2 pixel) { return (2.0 * pixel - resolution) / resolution.y; }

// The ray from the lens's centre through screen point p (a pinhole camera).
vec3 camera_ray(vec2 p) { return camera_basis() * normalize(vec3(p, 3.0)); }

vec3 sample_pass(vec2 p)
{
    vec3 d0 = camera_ray(p);
    vec3 focus = CAMERA_EYE + 3.0 * d0;
    float j1 = rng_float();
    float j2 = rng_float();
    vec3 origin = CAMERA_EYE + camera_basis() * vec3(j1 - 0.5, j2 - 0.5, 0.0) * 0.03;
    vec3 d = normalize(focus - origin);
    return finish_sample(trace_path(origin, d), d);
}

// ============================================================================
// Post-process
// ============================================================================
const int POST_ROUNDS = 16;         // aberrated lookups per channel, each with its bloom taps
const int BLOOM_TAPS = 4;           // per round, 64 in all
const float BLOOM_THRESHOLD = 0.42; // only what a tap has above it blooms
const float BLOOM_RADIUS = 0.0037;  // in uv, doubled at each level above the first
const float BLOOM_LEVELS = 5.0;

// Chromatic aberration, orange bloom, contrast, lifted black, vignette,
// grade, filmic curve and gamma. Draws 3 random numbers per bloom tap, 192.
vec3 post_process(vec2 uv)
{
    vec3 colour_sum = vec3(0.0);
    vec3 scales = vec3(1.0);
    vec3 bloom_sum = vec3(0.0);
    for (int i = 0; i < POST_ROUNDS; i++) {
        for (int c = 0; c < 3; c++) {
            vec2 q = clamp(0.5 - 0.5 * (1.0 - 2.0 * uv) * scales[c], 0.0, 1.0);
            colour_sum[c] += texture(m, q)[c];
        }
        scales *= vec3(0.9995, 1.0, 1.0 / 0.9995);
        for (int k = 0; k < BLOOM_TAPS; k++) {
            float angle = 6.283 * rng_float();
            float base = BLOOM_RADIUS * exp2(floor(BLOOM_LEVELS * rng_float()));
            float radius = base * 2.0 * rng_float();
            vec3 tap = texture(m, uv + radius * vec2(cos(angle), sin(angle))).rgb;
            bloom_sum += max(tap - BLOOM_THRESHOLD, 0.0);
        }
    }
    // the taps are divided by the rounds, not by their own count: the bloom
    // adds BLOOM_TAPS times the mean excess
    vec3 bloom = vec3(1.0, 0.5, 0.2) * bloom_sum / float(POST_ROUNDS);
    vec3 colour = colour_sum / float(POST_ROUNDS) + bloom;
    colour = smoothstep(0.08, 1.11, colour);
    colour = mix(vec3(0.0, 0.009, 0.02), vec3(1.0), colour);
    colour *= 0.3 + 0.7 * saturate(28.0 * uv.x * uv.y * (1.0 - uv.x) * (1.0 - uv.y));
    colour = pow(colour, vec3(1.02, 1.0, 1.09));
    colour = tonemap_aces(colour);
    return pow(colour, vec3(0.4545));
}

// ============================================================================
// main
// ============================================================================
void main()
{
    f = vec4(0.0);
    x = float(v.x);
    frag_coord = gl_FragCoord.xyy;
    vec2 p = screen_point(frag_coord.xy);
    vec2 uv = frag_coord.xy / resolution;
    uint column = uint(frag_coord.x);
    uint row = uint(frag_coord.y);
    // int first: a negative index then wraps instead of hitting the undefined
    // float-to-uint conversion.
    uint sample_index = uint(int(x));
    rng_state = (column * SEED_COLUMN + row * SEED_ROW + sample_index * SEED_SAMPLE) | 1u;
    if (v.y == 1) {
        if (abs(p.y) > LETTERBOX) return;
        f.rgb = sample_pass(p);
    }
    if (v.y == 2)
        f.rgb = post_process(uv);
}
