#include "render/render_options.h"

#include "core/output_file.h"
#include "core/sums_file.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

#include <getopt.h>

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
        "      --baseline FILE      with --benchmark: time FILE too, in turns with the\n"
        "                           shader, and print the ratio of their times\n"
        "      --watch              with --shader: a live preview; writes FILE after\n"
        "                           1, 2, 4, ... samples and starts over whenever the\n"
        "                           shader file is saved; Ctrl-C ends it\n"
        "      --cost-map           time the sample pass tile by tile over the picture\n"
        "                           or --crop and write a heat map of the times to -o\n"
        "                           (default \"cost-map.png\"); each tile's time is the\n"
        "                           median of --samples passes (default 3)\n"
        "      --tile N             with --cost-map: tiles of N x N pixels (default 16)\n"
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

// A part, a merge and a benchmark exclude each other.
bool split_options_agree(const Options &opt)
{
    const char *clash = nullptr;
    if (opt.part_given && opt.sums_path.empty()) clash = "--part needs --sums FILE";
    else if (!opt.sums_path.empty() && opt.output_given) clash = "a part writes --sums, not a picture: leave out -o";
    else if (!opt.merge_paths.empty() && (!opt.sums_path.empty() || opt.benchmark))
        clash = "--merge goes with neither --part, --sums nor --benchmark";
    else if (!opt.sums_path.empty() && opt.benchmark) clash = "--benchmark goes with neither --part nor --sums";
    else if (opt.watch && (opt.part_given || !opt.sums_path.empty() || opt.merge))
        clash = "--watch goes with neither --part, --sums nor --merge";
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

namespace {

// Long-only options take values past any character.
enum OptionId {
    opt_shader = 256,
    opt_crop,
    opt_margin,
    opt_progress_pictures,
    opt_no_progress_pictures,
    opt_benchmark,
    opt_baseline,
    opt_watch,
    opt_part,
    opt_sums,
    opt_merge,
    opt_cost_map,
    opt_tile,
};

const struct option long_options[] = {
    {"help", no_argument, nullptr, 'h'},
    {"output", required_argument, nullptr, 'o'},
    {"samples", required_argument, nullptr, 's'},
    {"shader", required_argument, nullptr, opt_shader},
    {"crop", required_argument, nullptr, opt_crop},
    {"margin", required_argument, nullptr, opt_margin},
    {"progress-pictures", no_argument, nullptr, opt_progress_pictures},
    {"no-progress-pictures", no_argument, nullptr, opt_no_progress_pictures},
    {"benchmark", no_argument, nullptr, opt_benchmark},
    {"baseline", required_argument, nullptr, opt_baseline},
    {"watch", no_argument, nullptr, opt_watch},
    {"part", required_argument, nullptr, opt_part},
    {"sums", required_argument, nullptr, opt_sums},
    {"merge", no_argument, nullptr, opt_merge}, // the parts' files are the operands
    {"cost-map", no_argument, nullptr, opt_cost_map},
    {"tile", required_argument, nullptr, opt_tile},
    {nullptr, 0, nullptr, 0},
};

// One option and its value; 0 to go on, else the exit status.
int apply_option(int id, const char *value, Options &opt)
{
    switch (id) {
    case 'o':
        opt.output = value;
        if (opt.output.empty()) {
            std::fprintf(stderr, "intro-render: the output path is empty\n");
            return 2;
        }
        opt.format = has_tga_extension(opt.output) ? PictureFormat::tga : PictureFormat::png;
        opt.output_given = true;
        return 0;
    case 's':
        if (!parse_int(value, 1, 65536, opt.samples)) {
            std::fprintf(stderr, "intro-render: samples must be a whole number from 1 to 65536, not \"%s\"\n", value);
            return 2;
        }
        opt.samples_given = true;
        return 0;
    case opt_shader: opt.shader_path = value; return 0;
    case opt_crop:
        if (!parse_crop(value, opt.crop)) {
            std::fprintf(stderr, "intro-render: --crop takes X,Y,W,H inside the 1920x1080 picture, not \"%s\"\n", value);
            return 2;
        }
        opt.crop_given = true;
        return 0;
    case opt_margin:
        if (!parse_int(value, 0, kPictureWidth, opt.margin)) {
            std::fprintf(stderr, "intro-render: margin must be a whole number from 0 to 1920, not \"%s\"\n", value);
            return 2;
        }
        opt.margin_given = true;
        return 0;
    case opt_progress_pictures: opt.progress_pictures = 1; return 0;
    case opt_no_progress_pictures: opt.progress_pictures = 0; return 0;
    case opt_benchmark: opt.benchmark = true; return 0;
    case opt_baseline: opt.baseline_path = value; return 0;
    case opt_watch: opt.watch = true; return 0;
    case opt_part:
        if (!parse_part(value, opt.part, opt.parts)) {
            std::fprintf(stderr, "intro-render: --part takes I/N with 0 <= I < N, not \"%s\"\n", value);
            return 2;
        }
        opt.part_given = true;
        return 0;
    case opt_sums:
        opt.sums_path = value;
        if (!opt.sums_path.empty()) return 0;
        std::fprintf(stderr, "intro-render: the sums path is empty\n");
        return 2;
    case opt_merge: opt.merge = true; return 0;
    case opt_cost_map: opt.cost_map = true; return 0;
    case opt_tile:
        if (!parse_int(value, 1, kPictureHeight, opt.tile)) {
            std::fprintf(stderr, "intro-render: --tile must be a whole number from 1 to 1080, not \"%s\"\n", value);
            return 2;
        }
        opt.tile_given = true;
        return 0;
    }
    return 2;
}

// A cost map only times the crop's tiles: no other mode, no margin, no
// progress pictures.
const char *cost_map_clash(const Options &opt)
{
    if (opt.tile_given && !opt.cost_map) return "--tile goes with --cost-map";
    if (!opt.cost_map) return nullptr;
    if (opt.benchmark || opt.watch || opt.merge || opt.part_given || !opt.sums_path.empty())
        return "--cost-map goes with neither --benchmark, --watch, --part, --sums nor --merge";
    if (opt.margin_given) return "--cost-map times the crop alone: it takes no --margin";
    if (opt.progress_pictures > 0) return "--cost-map writes no progress pictures";
    return nullptr;
}

// Options that do not go together, once all are known.
int check_combination(const Options &opt)
{
    const char *clash = nullptr;
    if (opt.watch && opt.shader_path.empty()) clash = "--watch needs --shader FILE: the embedded shader cannot change";
    else if (opt.watch && opt.benchmark) clash = "--watch and --benchmark do not go together";
    else if (!opt.baseline_path.empty() && !opt.benchmark) clash = "--baseline FILE goes with --benchmark";
    else if (opt.watch && opt.progress_pictures > 0) clash = "--watch writes no progress pictures";
    else if (opt.watch && output_is_direct(opt.output.c_str()))
        clash = "--watch writes its picture again and again: it needs an output file";
    if (!clash) clash = cost_map_clash(opt);
    if (!clash) return 0;
    std::fprintf(stderr, "intro-render: %s\n", clash);
    return 2;
}

} // namespace

int parse_options(int argc, char **argv, Options &opt, bool &done)
{
    done = false;
    opterr = 0; // our own messages
    optind = 1;
    int id;
    while ((id = getopt_long(argc, argv, ":ho:s:", long_options, nullptr)) != -1) {
        const char *arg = argv[optind - 1];
        if (id == ':') {
            std::fprintf(stderr, "intro-render: %s needs a value\n", arg);
            return 2;
        }
        if (id == '?') {
            // An unknown letter inside a group of short options is named alone.
            std::string name = optopt && arg[1] != '-' ? std::string("-") + (char)optopt : std::string(arg);
            std::fprintf(stderr, "intro-render: unknown option \"%s\" (see --help)\n", name.c_str());
            return 2;
        }
        if (id == 'h') {
            print_usage(stdout);
            done = true;
            return 0;
        }
        if (int status = apply_option(id, optarg, opt)) return status;
    }
    // Operands are the parts' sums files of a merge, and nothing else.
    for (; optind < argc && opt.merge; ++optind) opt.merge_paths.push_back(argv[optind]);
    if (optind < argc) {
        std::fprintf(stderr, "intro-render: unknown option \"%s\" (see --help)\n", argv[optind]);
        return 2;
    }
    if (opt.merge && opt.merge_paths.empty()) {
        std::fprintf(stderr, "intro-render: --merge needs the sums files of the parts\n");
        return 2;
    }
    if (!split_options_agree(opt)) return 2;
    // A device, FIFO or standard output takes one picture: no progress ones.
    bool direct = output_is_direct(opt.output.c_str());
    if (opt.progress_pictures > 0 && direct && !opt.benchmark) {
        std::fprintf(stderr, "intro-render: progress pictures need an output file, not \"%s\"\n",
                     opt.output.c_str());
        return 2;
    }
    if (opt.cost_map && !opt.output_given) opt.output = "cost-map.png";
    if (opt.progress_pictures < 0)
        opt.progress_pictures = opt.crop_given || direct || opt.watch || !opt.sums_path.empty() || opt.cost_map ? 0 : 1;
    return check_combination(opt);
}

Rect gl_crop(const Options &opt)
{
    if (!opt.crop_given) return Rect{0, 0, kPictureWidth, kPictureHeight};
    return crop_to_gl_rows(opt.crop, kPictureHeight);
}
