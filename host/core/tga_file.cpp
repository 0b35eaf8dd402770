#include "core/tga_file.h"

#include "core/output_file.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

bool tga_size_ok(int width, int height)
{
    if (width <= 0 || height <= 0 || width >= 65536 || height >= 65536) return false;
    // The pixel buffer's size must also fit a size_t (a 32-bit build).
    return (uint64_t)width * (uint64_t)height * 3 <= (uint64_t)SIZE_MAX;
}

void tga_header(uint8_t out[kTgaHeaderSize], int width, int height)
{
    for (int i = 0; i < kTgaHeaderSize; ++i) out[i] = 0;
    out[2] = 2;   // uncompressed true-colour
    out[12] = (uint8_t)(width & 0xFF);
    out[13] = (uint8_t)(width >> 8);
    out[14] = (uint8_t)(height & 0xFF);
    out[15] = (uint8_t)(height >> 8);
    out[16] = 24;
}

bool write_tga_rows(OutputFile &out, int width, int height, const uint8_t *rgb, bool top_row_first)
{
    if (!tga_size_ok(width, height) || !rgb) return false;
    uint8_t header[kTgaHeaderSize];
    tga_header(header, width, height);
    output_write(out, header, sizeof header);
    // One row at a time, so the caller's pixels stay untouched.
    size_t row_bytes = (size_t)width * 3;
    std::vector<uint8_t> row(row_bytes);
    for (int y = 0; !out.error && y < height; ++y) {
        int source_row = top_row_first ? height - 1 - y : y;
        const uint8_t *src = rgb + (size_t)source_row * row_bytes;
        for (size_t i = 0; i < row_bytes; i += 3) {
            row[i] = src[i + 2];
            row[i + 1] = src[i + 1];
            row[i + 2] = src[i];
        }
        output_write(out, row.data(), row_bytes);
    }
    return true;
}

bool write_tga(const char *path, int width, int height, const uint8_t *rgb, std::string *error)
{
    std::string reason;
    if (!error) error = &reason;
    if (!tga_size_ok(width, height) || !rgb) {
        *error = "the picture's size does not fit a TGA header";
        return false;
    }
    OutputFile out;
    if (!output_open(out, path, *error)) return false;
    write_tga_rows(out, width, height, rgb, false);
    return output_close(out, *error);
}

namespace {

const int kLastGrab = 99999;

std::string grab_name(const std::string &dir, int n)
{
    char name[32];
    snprintf(name, sizeof name, "intro_%04d.tga", n);
    return dir + name;
}

// From `n` on; kLastGrab + 1 when all are taken.
int first_free_grab(const std::string &dir, int n)
{
    for (; n <= kLastGrab; ++n) {
        std::string path = grab_name(dir, n);
        struct stat st;
#ifdef _WIN32
        if (stat(path.c_str(), &st) != 0 && errno == ENOENT) break;
#else
        if (lstat(path.c_str(), &st) != 0 && errno == ENOENT) break;
#endif
    }
    return n;
}

} // namespace

std::string next_grab_name(const std::string &dir)
{
    int n = first_free_grab(dir, 1);
    return n > kLastGrab ? std::string() : grab_name(dir, n);
}

bool write_grab_tga(const std::string &dir, int width, int height, const uint8_t *rgb,
                    std::string &path, std::string &error)
{
    int n = first_free_grab(dir, 1);
    path = n > kLastGrab ? std::string() : grab_name(dir, n);
    const char *refusal = path.empty()                           ? "all names are taken"
                          : !tga_size_ok(width, height) || !rgb ? "the picture's size does not fit a TGA header"
                                                                : nullptr;
    if (refusal) error = refusal;
    OutputFile out;
    if (refusal || !output_open_new(out, path.c_str(), error)) return false;
    write_tga_rows(out, width, height, rgb, false);
    for (; n <= kLastGrab; n = first_free_grab(dir, n + 1)) {
        path = grab_name(dir, n);
        int err = output_claim(out, path);
        if (err != EEXIST) {
            if (err) error = std::strerror(err);
            return err == 0;
        }
    }
    output_discard(out);
    path.clear();
    error = "all names are taken";
    return false;
}
