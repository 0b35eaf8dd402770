// Diagnostics for whoever investigates a shader or a pixel format. Need a
// current GL context.
#pragma once
#include "core/gl_api.h"

#include <string>

// Grabs the picture on screen (or in `read_buffer`) from the lower-left
// corner into a TGA file. Leaves the GL read buffer and pack alignment as it
// found them. On failure nothing is left at `path` and `error`, if given,
// says why.
bool save_tga(const char *path, int width, int height, GLenum read_buffer = GL_FRONT,
              std::string *error = nullptr);
// Colour format of the default framebuffer and accumulation bits, on stdout.
void print_framebuffer_info();
// F12: asks, through the window's `grab_pending`, for the next picture shown
// to be written to the next free "intro_NNNN.tga" of the working directory.
// Deferred because the front buffer cannot be read back everywhere (Mesa's
// software GLX returns black).
void grab_screen(bool &grab_pending);
// Called by the present right before the buffers swap: if a grab was asked
// for, clears the request, writes the finished picture from the back buffer
// and prints the file's name on stdout. True when a file was written.
bool grab_screen_before_swap(bool &grab_pending);
