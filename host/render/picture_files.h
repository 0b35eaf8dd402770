// The pictures intro-render writes (PNG, or the screen grab's TGA), through
// output files.
#pragma once
#include "render/render_options.h"

#include <string>
#include <vector>

// "dir/intro.png" with tag 4 gives "dir/intro.4.png".
std::string tagged_path(const std::string &path, int tag);
// Every name the run will write: the progress pictures', then the picture's;
// a part's sums file alone; none for a mode without a picture.
std::vector<std::string> output_names(const Options &opt);
// A file the run reads, which no output may overwrite.
struct InputFile {
    std::string path;
    const char *role; // "the shader", ...
};
std::vector<InputFile> input_files(const Options &opt);
// False, saying which, where an output is one of the inputs.
bool check_not_inputs(const Options &opt, std::string &error);
// Fails early, before a long render, where any of them could not be written;
// "-" or /dev/stdout too when standard output was closed at start.
bool check_writable(const Options &opt, bool stdout_closed, std::string &error);
// Writes rgb (w x h, top row first) so that a failure never leaves a partial
// picture behind.
bool write_picture(const std::string &path, PictureFormat format, const std::vector<unsigned char> &rgb,
                   int w, int h, std::string &error);
