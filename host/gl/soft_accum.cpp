#include "gl/soft_accum.h"

#include "core/gl_api.h"
#include "gl/gl_loader.h"
#include "gl/render_target.h"
#include "gl/shader_program.h"

#include <vector>

namespace {

// One triangle that covers the viewport; no vertex buffers needed.
const char *const vertex_source = R"(#version 330 core
void main()
{
    vec2 corner = vec2(float((gl_VertexID & 1) << 2), float((gl_VertexID & 2) << 1));
    gl_Position = vec4(corner - 1.0, 0.0, 1.0);
}
)";

const char *const fragment_source = R"(#version 330 core
uniform sampler2D source;
uniform float scale;
out vec4 colour;
void main()
{
    colour = texelFetch(source, ivec2(gl_FragCoord.xy), 0) * scale;
}
)";

// GL state that add/return/clear touch, saved on entry and put back on exit.
struct SavedState {
    GLint program = 0;
    GLint draw_framebuffer = 0;
    GLint vertex_array = 0;
    GLint active_texture = 0;
    GLint texture_unit0 = 0;
    GLint viewport[4] = {0, 0, 0, 0};
    GLboolean blend = GL_FALSE;
    GLint blend_src_rgb = 0, blend_dst_rgb = 0, blend_src_alpha = 0, blend_dst_alpha = 0;
    GLint blend_eq_rgb = 0, blend_eq_alpha = 0;
};

SavedState save_state()
{
    SavedState s;
    glGetIntegerv(GL_CURRENT_PROGRAM, &s.program);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &s.draw_framebuffer);
    glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &s.vertex_array);
    glGetIntegerv(GL_ACTIVE_TEXTURE, &s.active_texture);
    gl_ext.ActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture_unit0);
    glGetIntegerv(GL_VIEWPORT, s.viewport);
    s.blend = glIsEnabled(GL_BLEND);
    glGetIntegerv(GL_BLEND_SRC_RGB, &s.blend_src_rgb);
    glGetIntegerv(GL_BLEND_DST_RGB, &s.blend_dst_rgb);
    glGetIntegerv(GL_BLEND_SRC_ALPHA, &s.blend_src_alpha);
    glGetIntegerv(GL_BLEND_DST_ALPHA, &s.blend_dst_alpha);
    glGetIntegerv(GL_BLEND_EQUATION_RGB, &s.blend_eq_rgb);
    glGetIntegerv(GL_BLEND_EQUATION_ALPHA, &s.blend_eq_alpha);
    return s;
}

void restore_state(const SavedState &s)
{
    gl_ext.UseProgram(s.program);
    gl_ext.BindFramebuffer(GL_DRAW_FRAMEBUFFER, s.draw_framebuffer);
    gl_ext.BindVertexArray(s.vertex_array);
    gl_ext.ActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, s.texture_unit0);
    gl_ext.ActiveTexture(s.active_texture);
    glViewport(s.viewport[0], s.viewport[1], s.viewport[2], s.viewport[3]);
    if (s.blend) glEnable(GL_BLEND); else glDisable(GL_BLEND);
    gl_ext.BlendFuncSeparate(s.blend_src_rgb, s.blend_dst_rgb, s.blend_src_alpha, s.blend_dst_alpha);
    gl_ext.BlendEquationSeparate(s.blend_eq_rgb, s.blend_eq_alpha);
}

GLuint compile(GLenum stage, const char *source, std::string &error)
{
    GLuint shader = gl_ext.CreateShader(stage);
    gl_ext.ShaderSource(shader, 1, &source, nullptr);
    gl_ext.CompileShader(shader);
    GLint ok = GL_FALSE;
    gl_ext.GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        error = "accumulation shader does not compile: " + shader_info_log(shader);
        gl_ext.DeleteShader(shader);
        return 0;
    }
    return shader;
}

// Draws sum texel * scale (or source texel * scale) over the viewport.
void draw_scaled(SoftAccum &acc, GLuint source, float scale)
{
    gl_ext.UseProgram(acc.program);
    gl_ext.Uniform1f(acc.scale_location, scale);
    gl_ext.BindVertexArray(acc.vertex_array);
    gl_ext.ActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, source);
    glDrawArrays(GL_TRIANGLES, 0, 3);
}

// The program that draws texel * scale, with its uniforms set.
bool make_program(SoftAccum &acc, std::string &error)
{
    GLuint vs = compile(GL_VERTEX_SHADER, vertex_source, error);
    GLuint fs = vs ? compile(GL_FRAGMENT_SHADER, fragment_source, error) : 0;
    bool ok = vs && fs;
    if (ok) {
        acc.program = gl_ext.CreateProgram();
        gl_ext.AttachShader(acc.program, vs);
        gl_ext.AttachShader(acc.program, fs);
        gl_ext.LinkProgram(acc.program);
        GLint linked = GL_FALSE;
        gl_ext.GetProgramiv(acc.program, GL_LINK_STATUS, &linked);
        if (!linked) {
            error = "accumulation program does not link";
            ok = false;
        }
    }
    if (vs) gl_ext.DeleteShader(vs);
    if (fs) gl_ext.DeleteShader(fs);
    if (!ok) return false;
    GLint previous_program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &previous_program);
    gl_ext.UseProgram(acc.program);
    gl_ext.Uniform1i(gl_ext.GetUniformLocation(acc.program, "source"), 0);
    acc.scale_location = gl_ext.GetUniformLocation(acc.program, "scale");
    gl_ext.UseProgram(previous_program);
    return true;
}

} // namespace

bool soft_accum_init(SoftAccum &acc, int w, int h, std::string &error)
{
    acc = SoftAccum();
    if (w <= 0 || h <= 0) {
        error = "accumulation target must not be empty";
        return false;
    }
    if (!gl_loader_ready(error)) return false;
    GLint previous_texture = 0, previous_framebuffer = 0, previous_active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &previous_active);
    gl_ext.ActiveTexture(GL_TEXTURE0);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous_texture);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous_framebuffer);

    bool ok = make_program(acc, error);
    if (ok) {
        gl_ext.GenVertexArrays(1, &acc.vertex_array);
        ok = make_render_target(GL_RGBA32F, GL_FLOAT, w, h, acc.texture, acc.framebuffer);
        if (!ok) error = "the driver cannot render into a 32-bit float target";
    }
    gl_ext.BindFramebuffer(GL_DRAW_FRAMEBUFFER, previous_framebuffer);
    glBindTexture(GL_TEXTURE_2D, previous_texture);
    gl_ext.ActiveTexture(previous_active);
    if (!ok) {
        soft_accum_destroy(acc);
        return false;
    }
    acc.width = w;
    acc.height = h;
    return true;
}

void soft_accum_add(SoftAccum &acc, unsigned source_texture, float weight)
{
    SavedState saved = save_state();
    gl_ext.BindFramebuffer(GL_DRAW_FRAMEBUFFER, acc.framebuffer);
    glViewport(0, 0, acc.width, acc.height);
    glEnable(GL_BLEND);
    gl_ext.BlendEquation(GL_FUNC_ADD);
    glBlendFunc(GL_ONE, GL_ONE);
    draw_scaled(acc, source_texture, weight);
    restore_state(saved);
}

void soft_accum_return(SoftAccum &acc, float scale)
{
    SavedState saved = save_state();
    glViewport(0, 0, acc.width, acc.height);
    glDisable(GL_BLEND);
    draw_scaled(acc, acc.texture, scale);
    restore_state(saved);
}

void soft_accum_clear(SoftAccum &acc)
{
    GLint previous_framebuffer = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &previous_framebuffer);
    gl_ext.BindFramebuffer(GL_DRAW_FRAMEBUFFER, acc.framebuffer);
    const GLfloat zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    gl_ext.ClearBufferfv(GL_COLOR, 0, zero);
    gl_ext.BindFramebuffer(GL_DRAW_FRAMEBUFFER, previous_framebuffer);
}

void soft_accum_destroy(SoftAccum &acc)
{
    if (acc.framebuffer) gl_ext.DeleteFramebuffers(1, &acc.framebuffer);
    if (acc.texture) glDeleteTextures(1, &acc.texture);
    if (acc.vertex_array) gl_ext.DeleteVertexArrays(1, &acc.vertex_array);
    if (acc.program) gl_ext.DeleteProgram(acc.program);
    acc = SoftAccum();
}
