#include "render/render_options.h"

#include "core/output_file.h"
#include "core/sums_file.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

void print_usage(FILE *out)
{
    std::fprintf(out,
        "usage: intro-render [options]\n"
        "  -o, --output FILE        picture to write (default \"intro.png\"); a name\n"
        "                           ending in .tga gives an uncompressed 24-bit TGA\n"
        "  -s, --samples N          samples per pixel (default 128)\n"
        "      --shader FILE        render FILE instead of the embedded shader\n"
        "      --crop X,Y,W,H       render and write only this region; X, Y from the\n"
        "                           picture's top-left corner, in pixels\n"
        "      --margin N           samples traced around a crop for the post pass's\n"
        "                           bloom (default 240: the crop matches the full\n"
        "                           picture; less is faster but dims bloom near edges)\n"
        "      --progress-pictures  also write the mean after 1, 4, 16 and 64 samples\n"
        "                           as FILE.1.png ... (default for full renders)\n"
        "      --no-progress-pictures\n"
        "      --part I/N --sums FILE\n"
        "                           render share I (from 0) of N of the samples and\n"
        "                           write their per-pixel sums to FILE, not a picture\n"
        "      --merge FILE...      merge the sums of all N shares into the picture\n"
        "                           one process would write (-o; --shader as for the parts)\n"
        "      --benchmark          time sample and post passes at 1920x1080 and on a\n"
        "                           crop (default 3 samples; --samples, --crop apply)\n"
        "  -h, --help\n");
}

namespace {

bool has_tga_extension(const std::string &path)
{
    if (path.size() < 4) return false;
    std::string ext = path.substr(path.size() - 4);
    for (char &c : ext) c = (char)std::tolower((unsigned char)c);
    return ext == ".tga";
}

bool parse_int(const char *text, int low, int high, int &value)
{
    char *end = nullptr;
    errno = 0;
    long n = std::strtol(text, &end, 10);
    if (errno || end == text || *end || n < low || n > high) return false;
    value = (int)n;
    return true;
}

bool parse_crop(const char *text, Rect &crop)
{
    int values[4];
    std::string rest = text;
    for (int i = 0; i < 4; ++i) {
        size_t comma = rest.find(',');
        if ((i < 3) != (comma != std::string::npos)) return false;
        std::string item = rest.substr(0, comma);
        if (!parse_int(item.c_str(), 0, 100000, values[i])) return false;
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    }
    crop = Rect{values[0], values[1], values[2], values[3]};
    return crop.w > 0 && crop.h > 0 && crop.x + crop.w <= kPictureWidth &&
           crop.y + crop.h <= kPictureHeight;
}

// --part, --sums and --merge at argv[i]: -1 for another option, else 0 or
// the exit status, with i on the last argument taken.
int parse_split_option(int argc, char **argv, int &i, Options &opt)
{
    std::string arg = argv[i];
    if (arg == "--merge") {
        while (i + 1 < argc && argv[i + 1][0] != '-') opt.merge_paths.push_back(argv[++i]);
        if (!opt.merge_paths.empty()) return 0;
        std::fprintf(stderr, "intro-render: --merge needs the sums files of the parts\n");
        return 2;
    }
    if (arg != "--part" && arg != "--sums") return -1;
    if (i + 1 >= argc) {
        std::fprintf(stderr, "intro-render: %s needs a value\n", arg.c_str());
        return 2;
    }
    const char *value = argv[++i];
    if (arg == "--sums") {
        opt.sums_path = value;
        if (!opt.sums_path.empty()) return 0;
        std::fprintf(stderr, "intro-render: the sums path is empty\n");
        return 2;
    }
    if (!parse_part(value, opt.part, opt.parts)) {
        std::fprintf(stderr, "intro-render: --part takes I/N with 0 <= I < N, not \"%s\"\n", value);
        return 2;
    }
    opt.part_given = true;
    return 0;
}

// A part, a merge and a benchmark exclude each other.
bool split_options_agree(const Options &opt)
{
    const char *clash = nullptr;
    if (opt.part_given && opt.sums_path.empty()) clash = "--part needs --sums FILE";
    else if (!opt.sums_path.empty() && opt.output_given) clash = "a part writes --sums, not a picture: leave out -o";
    else if (!opt.merge_paths.empty() && (!opt.sums_path.empty() || opt.benchmark))
        clash = "--merge goes with neither --part, --sums nor --benchmark";
    else if (!opt.sums_path.empty() && opt.benchmark) clash = "--benchmark goes with neither --part nor --sums";
    if (clash) {
        std::fprintf(stderr, "intro-render: %s\n", clash);
        return false;
    }
    if (opt.parts > opt.samples) {
        std::fprintf(stderr, "intro-render: %d parts of %d samples: a part needs one sample at least\n", opt.parts,
                     opt.samples);
        return false;
    }
    return true;
}

} // namespace

int parse_options(int argc, char **argv, Options &opt, bool &done)
{
    done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        auto need_value = [&]() {
            if (!next) std::fprintf(stderr, "intro-render: %s needs a value\n", arg.c_str());
            return next != nullptr;
        };
        if (arg == "-h" || arg == "--help") {
            print_usage(stdout);
            done = true;
            return 0;
        } else if (arg == "-o" || arg == "--output") {
            if (!need_value()) return 2;
            opt.output = argv[++i];
            if (opt.output.empty()) {
                std::fprintf(stderr, "intro-render: the output path is empty\n");
                return 2;
            }
            opt.format = has_tga_extension(opt.output) ? PictureFormat::tga : PictureFormat::png;
            opt.output_given = true;
        } else if (arg == "-s" || arg == "--samples") {
            if (!need_value()) return 2;
            if (!parse_int(argv[++i], 1, 65536, opt.samples)) {
                std::fprintf(stderr, "intro-render: samples must be a whole number from 1 to 65536, not \"%s\"\n", argv[i]);
                return 2;
            }
            opt.samples_given = true;
        } else if (arg == "--shader") {
            if (!need_value()) return 2;
            opt.shader_path = argv[++i];
        } else if (arg == "--crop") {
            if (!need_value()) return 2;
            if (!parse_crop(argv[++i], opt.crop)) {
                std::fprintf(stderr, "intro-render: --crop takes X,Y,W,H inside the 1920x1080 picture, not \"%s\"\n", argv[i]);
                return 2;
            }
            opt.crop_given = true;
        } else if (arg == "--margin") {
            if (!need_value()) return 2;
            if (!parse_int(argv[++i], 0, kPictureWidth, opt.margin)) {
                std::fprintf(stderr, "intro-render: margin must be a whole number from 0 to 1920, not \"%s\"\n", argv[i]);
                return 2;
            }
            opt.margin_given = true;
        } else if (int split = parse_split_option(argc, argv, i, opt); split >= 0) {
            if (split) return split;
        } else if (arg == "--progress-pictures") {
            opt.progress_pictures = 1;
        } else if (arg == "--no-progress-pictures") {
            opt.progress_pictures = 0;
        } else if (arg == "--benchmark") {
            opt.benchmark = true;
        } else {
            std::fprintf(stderr, "intro-render: unknown option \"%s\" (see --help)\n", arg.c_str());
            return 2;
        }
    }
    if (!split_options_agree(opt)) return 2;
    // A device, FIFO or standard output takes one picture: no progress ones.
    bool direct = output_is_direct(opt.output.c_str());
    if (opt.progress_pictures > 0 && direct && !opt.benchmark) {
        std::fprintf(stderr, "intro-render: progress pictures need an output file, not \"%s\"\n",
                     opt.output.c_str());
        return 2;
    }
    if (opt.progress_pictures < 0) opt.progress_pictures = opt.crop_given || direct || !opt.sums_path.empty() ? 0 : 1;
    return 0;
}

Rect gl_crop(const Options &opt)
{
    if (!opt.crop_given) return Rect{0, 0, kPictureWidth, kPictureHeight};
    return crop_to_gl_rows(opt.crop, kPictureHeight);
}
