// Sums files: the exact per-pixel sums of one share of a render's samples,
// so that a render split across processes or machines merges into the
// picture one process would make. The samples are 8-bit, so the sums are
// whole numbers and merge without rounding.
//
// Format, version 1, all integers little-endian:
//
//   offset  size  field
//        0     8  magic "INTROSUM"
//        8     4  version (1)
//       12     8  picture width, height
//       20    16  crop x, y, w, h (rows counted from the bottom)
//       36     4  margin around the crop
//       40     4  samples of the whole render
//       44     8  part, parts: this file holds share `part` of `parts`
//       52     8  shader hash: FNV-1a 64 of the shader text
//       60     4  region count R (1 to 9)
//       64  16*R  sampled regions x, y, w, h (rows counted from the bottom)
//     then        per pixel of each region in turn, bottom row first, left to
//                 right: red, green, blue sums (u32 each, 0 to 255 * share)
//
// Nothing follows the sums. The regions are those the post pass over the
// crop reads, so they hold exactly what a single render would sample.
//
// Share `part` of `parts` is the contiguous block of sample indices
// [part * samples / parts, (part + 1) * samples / parts), rounded down:
// the shares differ in size by one at most.
#pragma once
#include "core/crop_geometry.h"
#include "core/shader_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SumsHeader {
    int picture_width = 0;
    int picture_height = 0;
    Rect crop;
    int margin = 0;
    int samples = 0;
    int part = 0;
    int parts = 1;
    uint64_t shader_hash = 0;
    std::vector<Rect> regions;
};

struct Sums {
    SumsHeader header;
    std::vector<uint32_t> values; // 3 per pixel, in the file's order
};

constexpr int kSumsVersion = 1;
constexpr int kSumsMaxRegions = 9;


// "I/N" with 0 <= I < N; false for anything else.
bool parse_part(const char *text, int &part, int &parts);
// The sample indices of share `part` of `parts`: [first, first + count).
void share_range(int samples, int part, int parts, int &first, int &count);

// Pixels over all regions; values hold three per pixel.
size_t sums_pixel_count(const std::vector<Rect> &regions);
// A cleared record for the header's regions.
void sums_init(Sums &sums, const SumsHeader &header);
// Adds one sample of region `index`, read back as RGBA8 rows (bottom first).
void sums_add_region(Sums &sums, int index, const uint8_t *rgba);
// The mean of `count` samples quantised to 8 bits (halves round up), as an
// RGBA8 picture of the header's picture size, bottom row first, with alpha
// and every pixel outside the regions 0.
void sums_mean(const Sums &sums, int count, std::vector<uint8_t> &rgba);

std::vector<uint8_t> sums_encode(const Sums &sums);
// Checks everything the format allows to check; `error` says what is wrong.
bool sums_decode(const uint8_t *data, size_t size, Sums &sums, std::string &error);

// Through an output file: a part that fails leaves no file, and an older one
// as it was.
bool sums_write_file(const std::string &path, const Sums &sums, std::string &error);
bool sums_read_file(const std::string &path, Sums &sums, std::string &error);

// Checks that `parts` (read from `names`) are the shares of one render, each
// exactly once, and adds them into `total` (a header with part 0 of 1).
bool sums_merge(const std::vector<Sums> &parts, const std::vector<std::string> &names, Sums &total,
                std::string &error);
