#include "render/picture_files.h"

#include "core/output_file.h"
#include "core/tga_file.h"
#include "render/progress.h"

#include <sys/stat.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>


std::string tagged_path(const std::string &path, int tag)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    std::string suffix = "." + std::to_string(tag);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

std::vector<std::string> output_names(const Options &opt)
{
    if (!opt.sums_path.empty()) return {opt.sums_path}; // a part writes only its sums
    std::vector<std::string> names;
    if (opt.output.empty()) return names; // a mode without a picture
    if (opt.progress_pictures)
        for (int count = 1; count < opt.samples; ++count)
            if (is_progress_count(count)) names.push_back(tagged_path(opt.output, count));
    names.push_back(opt.output);
    return names;
}

// The names of standard output; once it was found closed, they lead to the
// null device put in its place.
static bool names_stdout(const std::string &name)
{
    return name == "-" || name == "/dev/stdout" || name == "/dev/fd/1" || name == "/proc/self/fd/1";
}

std::vector<InputFile> input_files(const Options &opt)
{
    std::vector<InputFile> inputs;
    if (!opt.shader_path.empty()) inputs.push_back({opt.shader_path, "the shader"});
    if (!opt.baseline_path.empty()) inputs.push_back({opt.baseline_path, "the baseline"});
    if (!opt.compare_path.empty()) inputs.push_back({opt.compare_path, "the reference shader"});
    for (const std::string &name : opt.merge_paths) inputs.push_back({name, "a part's sums"});
    return inputs;
}

// The input that `output` names, by identity (a link, another spelling of
// its path, a hard link); null if none.
static const InputFile *same_file(const std::string &output, const std::vector<InputFile> &inputs)
{
    struct stat out, in;
    // Not there yet, or a device or FIFO that is written through: nothing to lose.
    if (stat(output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return nullptr;
    for (const InputFile &input : inputs)
        if (stat(input.path.c_str(), &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) return &input;
    return nullptr;
}

bool check_not_inputs(const Options &opt, std::string &error)
{
    std::vector<InputFile> inputs = input_files(opt);
    for (const std::string &name : output_names(opt))
        if (const InputFile *input = same_file(name, inputs)) {
            error = "cannot write \"" + name + "\": it is " + input->role + " \"" + input->path + "\"";
            return false;
        }
    return true;
}

bool check_writable(const Options &opt, bool stdout_closed, std::string &error)
{
    for (const std::string &name : output_names(opt)) {
        if (stdout_closed && names_stdout(name)) {
            error = "cannot write \"" + name + "\": standard output is closed";
            return false;
        }
        if (!output_check(name.c_str(), error)) {
            error = "cannot write \"" + name + "\": " + error;
            return false;
        }
    }
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
