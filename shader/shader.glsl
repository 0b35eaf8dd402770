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

// ============================================================================
// Distance primitives
// ============================================================================

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
