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
vec2 car_sdf(vec3 q, vec2 r)
{
    return r; // placeholder until the car lands
}

// ============================================================================
// Scene
// ============================================================================
vec2 scene_sdf(vec3 p)
{
    return vec2(p.y + 0.01, 12.0); // placeholder: the ground only
}

// ============================================================================
// Path tracer
// ============================================================================
vec3 sample_pass(vec2 p)
{
    // placeholder picture: moves with the sample index so the loop can be seen
    return vec3(fract(x / 128.0 + 0.25 * p.x), 0.5 + 0.5 * p.y, 0.25);
}

// ============================================================================
// Post-process
// ============================================================================
vec3 post_process(vec2 uv)
{
    return texture(m, uv).rgb;
}

// ============================================================================
// main
// ============================================================================
void main()
{
    f = vec4(0.0);
    x = float(v.x);
    frag_coord = gl_FragCoord.xyy;
    vec2 p = (2.0 * frag_coord.xy - resolution) / resolution.y;
    vec2 uv = frag_coord.xy / resolution;
    rng_state = (uint(frag_coord.x) * 1973u + uint(frag_coord.y) * 9277u + uint(x) * 26699u) | 1u;
    if (v.y == 1) {
        if (abs(p.y) > 0.75) return;
        f.rgb = sample_pass(p);
    }
    if (v.y == 2)
        f.rgb = post_process(uv);
}
