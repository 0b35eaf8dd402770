#include "render/picture_files.h"

#include "core/output_file.h"
#include "core/tga_file.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

bool read_file(const std::string &path, std::string &text, std::string &error)
{
    FILE *file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = "cannot read shader \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    char buffer[65536];
    size_t n;
    text.clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    bool failed = std::ferror(file);
    std::fclose(file);
    if (failed) {
        error = "cannot read shader \"" + path + "\"";
        return false;
    }
    return true;
}

std::string tagged_path(const std::string &path, int tag)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    std::string suffix = "." + std::to_string(tag);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

static std::string temp_path(const std::string &path)
{
    return path + ".tmp" + std::to_string((long)getpid());
}

bool check_writable(const std::string &path, std::string &error)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "cannot write \"" + path + "\": it is a directory";
        return false;
    }
    std::string temp = temp_path(path);
    FILE *file = std::fopen(temp.c_str(), "wb");
    if (!file) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    std::fclose(file);
    std::remove(temp.c_str());
    return true;
}

static void png_sink(void *context, void *data, int size)
{
    output_write(*(OutputFile *)context, data, (size_t)size);
}

bool write_picture(const std::string &path, PictureFormat format, const std::vector<unsigned char> &rgb,
                   int w, int h, std::string &error)
{
    OutputFile file;
    bool ok = output_open(file, path.c_str(), error);
    if (ok) {
        bool encoded = false;
        switch (format) {
        case PictureFormat::png:
            encoded = stbi_write_png_to_func(png_sink, &file, w, h, 3, rgb.data(), w * 3) != 0;
            break;
        case PictureFormat::tga:
            // The screen grab's format and writer.
            encoded = write_tga_rows(file, w, h, rgb.data(), true);
            break;
        }
        if (encoded) {
            ok = output_close(file, error);
        } else {
            output_discard(file);
            error = "the picture could not be encoded";
            ok = false;
        }
    }
    if (!ok) error = "cannot write \"" + path + "\": " + error;
    return ok;
}
