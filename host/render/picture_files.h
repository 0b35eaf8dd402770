// The files intro-render reads and writes: the shader, and the pictures
// (PNG, or the screen grab's TGA) under a temporary name, then renamed.
#pragma once
#include "render/render_options.h"

#include <string>
#include <vector>

bool read_file(const std::string &path, std::string &text, std::string &error);
// "dir/intro.png" with tag 4 gives "dir/intro.4.png".
std::string tagged_path(const std::string &path, int tag);
// Fails early, before a long render, where the picture could not be written.
bool check_writable(const std::string &path, std::string &error);
// Writes rgb (w x h, top row first) under a temporary name, then renames it,
// so a failure never leaves a partial picture behind.
bool write_picture(const std::string &path, PictureFormat format, const std::vector<unsigned char> &rgb,
                   int w, int h, std::string &error);
