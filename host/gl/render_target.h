// A texture with a framebuffer that draws into it: the float sum of the
// accumulator, intro-render's stand-in for the back buffer.
#pragma once
#include "core/gl_api.h"

// A w x h texture in `internal_format` (read texel for texel: no filtering)
// and a framebuffer bound for drawing into it, cleared to zero. False when
// the driver cannot render into that format; the names are set either way.
bool make_render_target(GLenum internal_format, GLenum type, int w, int h, GLuint &texture, GLuint &framebuffer);
