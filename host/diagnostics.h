// Diagnostics for whoever investigates a shader or a pixel format. Need a
// current GL context.
#pragma once
#include "tga_file.h"

// Grabs the picture on screen from the lower-left corner into a TGA file.
// Leaves the GL read buffer and pack alignment as it found them.
bool save_tga(const char *path, int width, int height);
// Colour format of the default framebuffer and accumulation bits, on stdout.
void print_framebuffer_info();
// F12: the window's picture into the next free "intro_NNNN.tga" of the
// working directory; prints the name on stdout.
bool grab_screen();
