// Test bench for the fragment shader: evaluates GLSL snippets against the
// project's shader text, and renders single pixels of its real passes, on a
// headless EGL context (llvmpipe here).
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using Vec4 = std::array<float, 4>;

// Contents of shader/shader.glsl, read at run time.
std::string project_shader_text();

// Compiles `shader` with its `main` renamed, plus `code`, which must define
//   vec4 bench_eval(vec4 a, vec4 b)
// and evaluates it once per input pair (a[i], b[i]): one fragment each, into a
// 32-bit float target. b may be empty (zeros are passed). Before bench_eval
// runs, the module-scope values are set by the shader's own `main` as for
// v = (0, 1) at that fragment (its pass is not run); `code` may overwrite them.
// Input i is evaluated at the pixel (i % 256, i / 256), so frag_coord is
// (i % 256 + 0.5, i / 256 + 0.5) and rng_state that pixel's seed for sample 0.
// Inputs travel as raw bits, so uintBitsToFloat values survive unchanged.
// On a compile/link failure or without a context the test fails and the
// results are NaN.
std::vector<Vec4> glsl_eval(const std::string &code, const std::vector<Vec4> &a,
                            const std::vector<Vec4> &b = {},
                            const std::string &shader = project_shader_text());

// Renders the chosen pixels (column, row from the bottom) of the real passes
// of `shader` over a 1920x1080 target with scissored draws and uniform
// v = (vx, vy). `input_rgba8`, when given, is a 1920*1080*4 byte picture
// (bottom row first) uploaded as a texture bound to unit 0 the way the host
// leaves it (GL_RGBA8, min filter GL_LINEAR, other state at defaults). With
// float_target the target is RGBA32F (exact shader output), else RGBA8 (what
// the host gets, returned as k/255).
std::vector<Vec4> glsl_render_pixels(const std::string &shader, int vx, int vy,
                                     const std::vector<std::array<int, 2>> &pixels,
                                     const std::vector<uint8_t> *input_rgba8 = nullptr,
                                     bool float_target = true);

// The bits of a float, for uint results returned through uintBitsToFloat.
uint32_t float_bits(float f);
