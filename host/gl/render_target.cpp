#include "gl/render_target.h"

#include "gl/gl_loader.h"

bool make_render_target(GLenum internal_format, GLenum type, int w, int h, GLuint &texture, GLuint &framebuffer)
{
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, internal_format, w, h, 0, GL_RGBA, type, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl_ext.GenFramebuffers(1, &framebuffer);
    gl_ext.BindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer);
    gl_ext.FramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    if (gl_ext.CheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return false;
    const GLfloat zero[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    gl_ext.ClearBufferfv(GL_COLOR, 0, zero);
    return true;
}
