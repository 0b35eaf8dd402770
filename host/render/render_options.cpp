#include "render/render_options.h"

#include "core/output_file.h"
#include "core/sums_file.h"
#include "render/render_modes.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include <getopt.h>

namespace {

// The file name's extension, lower case, with its dot; empty for none.
std::string extension(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    size_t name = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || dot <= name) return "";
    std::string ext = path.substr(dot);
    for (char &c : ext) c = (char)std::tolower((unsigned char)c);
    return ext;
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

int refuse(const char *message, const char *value)
{
    std::fprintf(stderr, "intro-render: ");
    std::fprintf(stderr, message, value);
    std::fputc('\n', stderr);
    return 2;
}

struct OptionRow;
using Apply = int (*)(const OptionRow &row, const char *value, Options &opt); // 0, or the exit status

// An option: its names, how its value is taken, and its lines in --help,
// where {samples} and {output} stand for the default of the mode it
// chooses (the picture's for the others) and {default} for its field's.
struct OptionRow {
    const char *name;   // the long form
    char letter;        // the short form, or 0
    const char *value;  // the value's name; null: a switch
    Apply apply;        // null: its bit says all
    const char *help;
    int Options::*number = nullptr; // a whole number's field, or a switch's
    int low = 0, high = 0;          // the number's bounds; a switch sets low
    std::string Options::*path = nullptr; // a file name's field
    const char *refusal = nullptr;  // said of a value out of bounds, or of an empty name
};

int apply_number(const OptionRow &row, const char *value, Options &opt)
{
    if (!parse_int(value, row.low, row.high, opt.*row.number)) return refuse(row.refusal, value);
    return 0;
}

int apply_switch(const OptionRow &row, const char *, Options &opt)
{
    opt.*row.number = row.low;
    return 0;
}

int apply_path(const OptionRow &row, const char *value, Options &opt)
{
    if (!*value) return refuse(row.refusal, value);
    opt.*row.path = value;
    return 0;
}

} // namespace

int set_output(const char *value, Options &opt)
{
    opt.output = value;
    // A name without an extension, a device or a FIFO gets PNG.
    std::string ext = extension(opt.output);
    if (ext != "" && ext != ".png" && ext != ".tga" && !output_is_direct(value))
        return refuse("-o \"%s\": pictures are written as PNG (.png) or TGA (.tga) only", value);
    opt.format = ext == ".tga" ? PictureFormat::tga : PictureFormat::png;
    return 0;
}

namespace {

int apply_output(const OptionRow &row, const char *value, Options &opt)
{
    if (int status = apply_path(row, value, opt)) return status;
    return set_output(value, opt);
}

int apply_crop(const OptionRow &, const char *value, Options &opt)
{
    if (!parse_crop(value, opt.crop))
        return refuse("--crop takes X,Y,W,H inside the 1920x1080 picture, not \"%s\"", value);
    return 0;
}

int apply_part(const OptionRow &, const char *value, Options &opt)
{
    if (parse_part(value, opt.part, opt.parts)) return 0;
    // Past 65536 parts some share would have no sample.
    const char *slash = std::strchr(value, '/');
    auto whole = [](const char *from, const char *to) {
        return to > from && std::strspn(from, "0123456789") == (size_t)(to - from);
    };
    if (slash && whole(value, slash) && whole(slash + 1, slash + std::strlen(slash)) &&
        std::strtod(slash + 1, nullptr) > 65536)
        return refuse("--part \"%s\": N is too large: a render has at most 65536 samples, one per part at least",
                      value);
    return refuse("--part takes I/N with 0 <= I < N, not \"%s\"", value);
}

int apply_expression(const OptionRow &, const char *value, Options &opt)
{
    if (!*value) return refuse("the expression is empty", value);
    // Line breaks kept: one ends a // comment, which the check must see.
    opt.exprs.push_back(value);
    return 0;
}

int apply_pixel(const OptionRow &, const char *value, Options &opt)
{
    const char *comma = std::strchr(value, ',');
    if (!comma || !parse_int(std::string(value, comma).c_str(), 0, kPictureWidth - 1, opt.pixel_x) ||
        !parse_int(comma + 1, 0, kPictureHeight - 1, opt.pixel_y))
        return refuse("--pixel takes X,Y inside the 1920x1080 picture, not \"%s\"", value);
    return 0;
}

int apply_range(const OptionRow &, const char *value, Options &opt)
{
    char *end = nullptr;
    opt.range_low = std::strtod(value, &end);
    bool ok = end != value && *end == ',';
    const char *high = ok ? end + 1 : value;
    opt.range_high = std::strtod(high, &end);
    ok = ok && end != high && !*end && std::isfinite(opt.range_low) && std::isfinite(opt.range_high) &&
         opt.range_low < opt.range_high;
    if (!ok) return refuse("--range takes LO,HI with LO < HI, not \"%s\"", value);
    return 0;
}

using O = Options;

// By OptionId.
const OptionRow option_rows[option_count] = {
    {"output", 'o', "FILE", apply_output,
     "  -o, --output FILE        picture to write (default \"{output}\"): PNG, or an\n"
     "                           uncompressed 24-bit TGA for a name ending in .tga;\n"
     "                           a name with another extension is refused\n",
     nullptr, 0, 0, &O::output, "the output path is empty"},
    {"samples", 's', "N", apply_number, "  -s, --samples N          samples per pixel (default {samples})\n", &O::samples,
     1, 65536, nullptr, "samples must be a whole number from 1 to 65536, not \"%s\""},
    {"shader", 0, "FILE", apply_path, "      --shader FILE        render FILE instead of the embedded shader\n",
     nullptr, 0, 0, &O::shader_path, "the shader path is empty"},
    {"crop", 0, "X,Y,W,H", apply_crop,
     "      --crop X,Y,W,H       render and write only this region; X, Y from the\n"
     "                           picture's top-left corner, in pixels\n"},
    {"margin", 0, "N", apply_number,
     "      --margin N           samples traced around a crop for the post pass's\n"
     "                           bloom (default {default}: the crop matches the full\n"
     "                           picture; less is faster but dims bloom near edges)\n",
     &O::margin, 0, kPictureWidth, nullptr, "margin must be a whole number from 0 to 1920, not \"%s\""},
    {"progress-pictures", 0, nullptr, apply_switch,
     "      --progress-pictures  also write the mean after 1, 4, 16 and 64 samples\n"
     "                           beside FILE, the count before its extension:\n"
     "                           NAME.1.EXT ..., or FILE.1 ... for a name without\n"
     "                           one (default for full renders)\n",
     &O::progress_pictures, 1},
    {"no-progress-pictures", 0, nullptr, apply_switch, "      --no-progress-pictures\n", &O::progress_pictures, 0},
    {"part", 0, "I/N", apply_part,
     "      --part I/N --sums FILE\n"
     "                           render share I (from 0) of N of the samples and\n"
     "                           write their per-pixel sums to FILE, not a picture\n"},
    {"sums", 0, "FILE", apply_path, "", nullptr, 0, 0, &O::sums_path, "the sums path is empty"},
    {"merge", 0, nullptr, nullptr, // the parts' files are the operands
     "      --merge FILE...      merge the sums of all N shares into the picture\n"
     "                           one process would write (-o; --shader as for the parts)\n"},
    {"benchmark", 0, nullptr, nullptr,
     "      --benchmark          time sample and post passes at 1920x1080 and on a\n"
     "                           crop (default {samples} samples; --samples, --crop apply)\n"},
    {"baseline", 0, "FILE", apply_path,
     "      --baseline FILE      with --benchmark: time FILE too, in turns with the\n"
     "                           shader, and print the ratio of their times\n",
     nullptr, 0, 0, &O::baseline_path, "the baseline path is empty"},
    {"cost-map", 0, nullptr, nullptr,
     "      --cost-map           time the sample pass tile by tile over the picture\n"
     "                           or --crop and write a heat map of the times to -o\n"
     "                           (default \"{output}\"); each tile's time is the\n"
     "                           median of --samples passes (default {samples})\n"},
    {"tile", 0, "N", apply_number,
     "      --tile N             with --cost-map: tiles of N x N pixels (default {default})\n", &O::tile, 1,
     kPictureHeight, nullptr, "--tile must be a whole number from 1 to 1080, not \"%s\""},
    {"watch", 0, nullptr, nullptr,
     "      --watch              with --shader: a live preview; writes FILE after\n"
     "                           1, 2, 4, ... samples and starts over whenever the\n"
     "                           shader file is saved; Ctrl-C ends it\n"},
    {"eval", 0, "EXPR", apply_expression,
     "      --eval EXPR          print the exact value of the GLSL expression EXPR\n"
     "                           in one fragment, after the shader's main ran there\n"
     "                           (float, int, uint, bool, their vectors, matrices);\n"
     "                           again for more\n"},
    {"view", 0, "EXPR", apply_expression,
     "      --view EXPR          draw EXPR over the picture or --crop into -o FILE:\n"
     "                           a scalar through a colour map over its range, a\n"
     "                           vector as colour; with --watch, on every save\n"},
    {"pixel", 0, "X,Y", apply_pixel,
     "      --pixel X,Y          --eval's fragment, from the picture's top-left\n"
     "                           corner (default {pixel})\n"},
    {"sample", 0, "N", apply_number, "      --sample N           the sample --eval and --view run (default {default})\n",
     &O::sample, 0, 65535, nullptr, "--sample takes a sample index from 0 to 65535, not \"%s\""},
    {"range", 0, "LO,HI", apply_range,
     "      --range LO,HI        --view's values drawn over LO..HI; others apart\n"
     "                           (default: a scalar's own range, a vector's 0..1)\n"},
    {"compare", 0, "REF", apply_path,
     "      --compare REF        render the shader and REF, a shader with the same\n"
     "                           interface, over the same region with the same sample\n"
     "                           passes (default: the whole picture, -s {samples}) and\n"
     "                           report where they differ; exit status 0 the same,\n"
     "                           1 different, 2 trouble; -o FILE: a picture of the\n"
     "                           differences; with --watch, again on every save\n",
     nullptr, 0, 0, &O::compare_path, "the reference shader's path is empty"},
    {"tolerance", 0, "N", apply_number,
     "      --tolerance N        with --compare: differences of N steps or fewer in\n"
     "                           every channel count as the same (default {default})\n",
     &O::tolerance, 0, 255, nullptr, "--tolerance must be a whole number from 0 to 255, not \"%s\""},
    {"help", 'h', nullptr, nullptr, "  -h, --help\n"},
};

constexpr unsigned bit(OptionId id) { return option_bit(id); }

// The mode an option chooses, or the one chosen when none is.
const ModeRow &mode_of(int option)
{
    for (int m = 0; m < mode_count; ++m)
        if (mode_rows[m].chosen_by & bit((OptionId)option)) return mode_rows[m];
    return mode_rows[mode_count - 1];
}

std::string replaced(std::string text, const std::string &token, const std::string &value)
{
    for (size_t at; (at = text.find(token)) != std::string::npos;) text.replace(at, token.size(), value);
    return text;
}

std::string help_text(int id)
{
    const OptionRow &row = option_rows[id];
    const ModeRow &mode = mode_of(id);
    const Options defaults;
    std::string text = replaced(row.help, "{samples}", std::to_string(mode.samples));
    text = replaced(text, "{output}", mode.output ? mode.output : "");
    text = replaced(text, "{pixel}", std::to_string(defaults.pixel_x) + "," + std::to_string(defaults.pixel_y));
    return replaced(text, "{default}", row.number ? std::to_string(defaults.*row.number) : "");
}

// An unknown or ambiguous option's message.
void say_unknown(const char *arg, int letter)
{
    // An unknown letter inside a group of short options is named alone.
    if (letter && arg[1] != '-') {
        std::fprintf(stderr, "intro-render: unknown option \"-%c\" (see --help)\n", letter);
        return;
    }
    std::string given = arg + 2;
    given = given.substr(0, given.find('='));
    std::string candidates;
    int count = 0;
    for (const OptionRow &row : option_rows)
        if (!given.empty() && std::string(row.name).compare(0, given.size(), given) == 0)
            candidates += std::string(count++ ? " or " : "") + "--" + row.name;
    if (count > 1)
        std::fprintf(stderr, "intro-render: ambiguous option \"%s\": it could be %s (see --help)\n", arg,
                     candidates.c_str());
    else
        std::fprintf(stderr, "intro-render: unknown option \"%s\" (see --help)\n", arg);
}

// Operands are the parts' sums files of a merge, and nothing else.
int take_operands(int argc, char **argv, Options &opt)
{
    for (; optind < argc && option_given(opt, o_merge); ++optind) {
        if (!*argv[optind]) return refuse("the sums path is empty", "");
        opt.merge_paths.push_back(argv[optind]);
    }
    if (optind < argc) {
        std::fprintf(stderr, "intro-render: unexpected argument \"%s\" (see --help)\n", argv[optind]);
        return 2;
    }
    return 0;
}

} // namespace

const char *option_name(OptionId id) { return option_rows[id].name; }
const char *option_value_name(OptionId id) { return option_rows[id].value; }

void print_usage(FILE *out)
{
    std::fprintf(out, "usage: intro-render [options]\n");
    for (int id = 0; id < option_count; ++id) std::fputs(help_text(id).c_str(), out);
}

int parse_options(int argc, char **argv, Options &opt, bool &done)
{
    done = false;
    // Long-only options take values past any character.
    std::vector<struct option> long_options;
    std::string letters = ":";
    for (int id = 0; id < option_count; ++id) {
        const OptionRow &row = option_rows[id];
        long_options.push_back({row.name, row.value ? required_argument : no_argument, nullptr,
                                row.letter ? row.letter : 256 + id});
        if (row.letter) letters += std::string(1, row.letter) + (row.value ? ":" : "");
    }
    long_options.push_back({nullptr, 0, nullptr, 0});
    opterr = 0; // our own messages
    optind = 1;
    std::string spelled[option_count];
    int id, index = -1;
    while ((id = getopt_long(argc, argv, letters.c_str(), long_options.data(), &index)) != -1) {
        const char *arg = argv[optind - 1];
        if (id == ':') {
            std::fprintf(stderr, "intro-render: %s needs a value\n", arg);
            return 2;
        }
        if (id == '?') {
            say_unknown(arg, optopt);
            return 2;
        }
        int row = id - 256;
        for (int r = 0; r < option_count; ++r)
            if (option_rows[r].letter && option_rows[r].letter == id) row = r;
        if (row == o_help) {
            print_usage(stdout);
            done = true;
            return 0;
        }
        opt.given |= bit((OptionId)row);
        spelled[row] = index >= 0 ? std::string("--") + option_rows[row].name : std::string("-") + (char)id;
        index = -1;
        if (option_rows[row].apply)
            if (int status = option_rows[row].apply(option_rows[row], optarg, opt)) return status;
    }
    if (int status = take_operands(argc, argv, opt)) return status;
    std::string refusal = choose_mode(opt, spelled);
    if (refusal.empty()) refusal = check_mode(opt);
    if (!refusal.empty()) {
        std::fprintf(stderr, "intro-render: %s\n", refusal.c_str());
        return 2;
    }
    if (opt.progress_pictures < 0)
        opt.progress_pictures = (mode_takes(*opt.mode) & bit(o_progress_pictures)) && !option_given(opt, o_crop) &&
                                !option_given(opt, o_watch) && !output_is_direct(opt.output.c_str());
    return 0;
}

Rect gl_crop(const Options &opt) { return crop_to_gl_rows(opt.crop, kPictureHeight); }
