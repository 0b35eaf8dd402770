// Uncompressed 24-bit TGA files, and the numbered names of screen grabs.
#pragma once
#include <cstdint>
#include <string>

struct OutputFile;

constexpr int kTgaHeaderSize = 18;

// Width and height fit the header's two bytes each and are positive.
bool tga_size_ok(int width, int height);
// The 18-byte header: true-colour, 24 bits, origin at the lower left.
void tga_header(uint8_t out[kTgaHeaderSize], int width, int height);
// Writes the header and `rgb` (width*height pixels, no padding; bottom row
// first unless `top_row_first`) to an open output file as BGR, bottom row
// first. False for a size the header cannot hold; a failed write is kept in
// `out` for output_close.
bool write_tga_rows(OutputFile &out, int width, int height, const uint8_t *rgb, bool top_row_first);
// Writes `rgb` (width*height pixels, bottom row first, no padding) as BGR,
// through a temporary file, so a failed write leaves no partial picture.
// False, with the reason in `error` if given, for a size the header cannot
// hold or a file that cannot be written.
bool write_tga(const char *path, int width, int height, const uint8_t *rgb,
               std::string *error = nullptr);
// The first of "intro_0001.tga", "intro_0002.tga", ... that does not exist in
// `dir` (empty: the working directory; else ending in a separator), with
// `dir` in front; empty when all are taken. A link, even a dangling one,
// takes its name.
std::string next_grab_name(const std::string &dir);
// Writes `rgb` as write_tga does under the first free grab name of `dir`,
// never replacing a file: a name taken while the picture was written (a
// second program grabbing there) passes to the next. `path` gets the name
// written, or the one that failed; false with the reason in `error`.
bool write_grab_tga(const std::string &dir, int width, int height, const uint8_t *rgb,
                    std::string &path, std::string &error);
