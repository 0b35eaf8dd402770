#include "render/render_options.h"

#include "core/output_file.h"
#include "core/sums_file.h"

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

// Each option's value into the options; 0 to go on, else the exit status.
int apply_output(const char *value, Options &opt)
{
    opt.output = value;
    if (opt.output.empty()) return refuse("the output path is empty", value);
    // A name without an extension, a device or a FIFO gets PNG.
    std::string ext = extension(opt.output);
    if (ext != "" && ext != ".png" && ext != ".tga" && !output_is_direct(value))
        return refuse("-o \"%s\": pictures are written as PNG (.png) or TGA (.tga) only", value);
    opt.format = ext == ".tga" ? PictureFormat::tga : PictureFormat::png;
    opt.output_given = true;
    return 0;
}

int apply_samples(const char *value, Options &opt)
{
    if (!parse_int(value, 1, 65536, opt.samples))
        return refuse("samples must be a whole number from 1 to 65536, not \"%s\"", value);
    opt.samples_given = true;
    return 0;
}

int apply_shader(const char *value, Options &opt)
{
    opt.shader_path = value;
    return 0;
}

int apply_crop(const char *value, Options &opt)
{
    if (!parse_crop(value, opt.crop))
        return refuse("--crop takes X,Y,W,H inside the 1920x1080 picture, not \"%s\"", value);
    opt.crop_given = true;
    return 0;
}

int apply_margin(const char *value, Options &opt)
{
    if (!parse_int(value, 0, kPictureWidth, opt.margin))
        return refuse("margin must be a whole number from 0 to 1920, not \"%s\"", value);
    opt.margin_given = true;
    return 0;
}

int apply_progress_pictures(const char *, Options &opt)
{
    opt.progress_pictures = 1;
    return 0;
}

int apply_no_progress_pictures(const char *, Options &opt)
{
    opt.progress_pictures = 0;
    return 0;
}

int apply_baseline(const char *value, Options &opt)
{
    opt.baseline_path = value;
    return 0;
}

int apply_watch(const char *, Options &opt)
{
    opt.watch = true;
    return 0;
}

int apply_part(const char *value, Options &opt)
{
    if (!parse_part(value, opt.part, opt.parts)) {
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
    opt.part_given = true;
    return 0;
}

int apply_sums(const char *value, Options &opt)
{
    opt.sums_path = value;
    if (opt.sums_path.empty()) return refuse("the sums path is empty", value);
    return 0;
}

int apply_expression(const char *value, Options &opt)
{
    if (!*value) return refuse("the expression is empty", value);
    // One line, so that the driver's column is the expression's.
    std::string expr = value;
    for (char &c : expr)
        if (c == '\n' || c == '\r') c = ' ';
    opt.exprs.push_back(expr);
    return 0;
}

int apply_pixel(const char *value, Options &opt)
{
    const char *comma = std::strchr(value, ',');
    if (!comma || !parse_int(std::string(value, comma).c_str(), 0, kPictureWidth - 1, opt.pixel_x) ||
        !parse_int(comma + 1, 0, kPictureHeight - 1, opt.pixel_y))
        return refuse("--pixel takes X,Y inside the 1920x1080 picture, not \"%s\"", value);
    return 0;
}

int apply_sample(const char *value, Options &opt)
{
    if (!parse_int(value, 0, 65535, opt.sample))
        return refuse("--sample takes a sample index from 0 to 65535, not \"%s\"", value);
    return 0;
}

int apply_range(const char *value, Options &opt)
{
    char *end = nullptr;
    opt.range_low = std::strtod(value, &end);
    bool ok = end != value && *end == ',';
    const char *high = ok ? end + 1 : value;
    opt.range_high = std::strtod(high, &end);
    ok = ok && end != high && !*end && std::isfinite(opt.range_low) && std::isfinite(opt.range_high) &&
         opt.range_low < opt.range_high;
    if (!ok) return refuse("--range takes LO,HI with LO < HI, not \"%s\"", value);
    opt.range_given = true;
    return 0;
}

int apply_tile(const char *value, Options &opt)
{
    if (!parse_int(value, 1, kPictureHeight, opt.tile))
        return refuse("--tile must be a whole number from 1 to 1080, not \"%s\"", value);
    return 0;
}

// The options, one row each, in the order of --help. An option's bit in
// Options::given is 1 << its row.
enum OptionRowId {
    o_output,
    o_samples,
    o_shader,
    o_crop,
    o_margin,
    o_progress_pictures,
    o_no_progress_pictures,
    o_part,
    o_sums,
    o_merge,
    o_benchmark,
    o_baseline,
    o_cost_map,
    o_tile,
    o_watch,
    o_eval,
    o_view,
    o_pixel,
    o_sample,
    o_range,
    o_help,
    option_count
};

static_assert(option_count <= 32, "an option's bit in Options::given");
constexpr unsigned bit(OptionRowId id) { return 1u << id; }

struct OptionRow {
    const char *name;   // the long form
    char letter;        // the short form, or 0
    const char *value;  // the value's name; null: a switch
    int (*apply)(const char *value, Options &opt); // null: its bit says all
    const char *help;   // its lines in --help
};

const OptionRow option_rows[option_count] = {
    {"output", 'o', "FILE", apply_output,
     "  -o, --output FILE        picture to write (default \"intro.png\"): PNG, or an\n"
     "                           uncompressed 24-bit TGA for a name ending in .tga;\n"
     "                           a name with another extension is refused\n"},
    {"samples", 's', "N", apply_samples, "  -s, --samples N          samples per pixel (default 128)\n"},
    {"shader", 0, "FILE", apply_shader, "      --shader FILE        render FILE instead of the embedded shader\n"},
    {"crop", 0, "X,Y,W,H", apply_crop,
     "      --crop X,Y,W,H       render and write only this region; X, Y from the\n"
     "                           picture's top-left corner, in pixels\n"},
    {"margin", 0, "N", apply_margin,
     "      --margin N           samples traced around a crop for the post pass's\n"
     "                           bloom (default 240: the crop matches the full\n"
     "                           picture; less is faster but dims bloom near edges)\n"},
    {"progress-pictures", 0, nullptr, apply_progress_pictures,
     "      --progress-pictures  also write the mean after 1, 4, 16 and 64 samples\n"
     "                           as FILE.1.png ... (default for full renders)\n"},
    {"no-progress-pictures", 0, nullptr, apply_no_progress_pictures, "      --no-progress-pictures\n"},
    {"part", 0, "I/N", apply_part,
     "      --part I/N --sums FILE\n"
     "                           render share I (from 0) of N of the samples and\n"
     "                           write their per-pixel sums to FILE, not a picture\n"},
    {"sums", 0, "FILE", apply_sums, ""},
    {"merge", 0, nullptr, nullptr, // the parts' files are the operands
     "      --merge FILE...      merge the sums of all N shares into the picture\n"
     "                           one process would write (-o; --shader as for the parts)\n"},
    {"benchmark", 0, nullptr, nullptr,
     "      --benchmark          time sample and post passes at 1920x1080 and on a\n"
     "                           crop (default 3 samples; --samples, --crop apply)\n"},
    {"baseline", 0, "FILE", apply_baseline,
     "      --baseline FILE      with --benchmark: time FILE too, in turns with the\n"
     "                           shader, and print the ratio of their times\n"},
    {"cost-map", 0, nullptr, nullptr,
     "      --cost-map           time the sample pass tile by tile over the picture\n"
     "                           or --crop and write a heat map of the times to -o\n"
     "                           (default \"cost-map.png\"); each tile's time is the\n"
     "                           median of --samples passes (default 3)\n"},
    {"tile", 0, "N", apply_tile, "      --tile N             with --cost-map: tiles of N x N pixels (default 16)\n"},
    {"watch", 0, nullptr, apply_watch,
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
     "                           corner (default 960,540)\n"},
    {"sample", 0, "N", apply_sample, "      --sample N           the sample --eval and --view run (default 0)\n"},
    {"range", 0, "LO,HI", apply_range,
     "      --range LO,HI        --view's values drawn over LO..HI; others apart\n"
     "                           (default: a scalar's own range, a vector's 0..1)\n"},
    {"help", 'h', nullptr, nullptr, "  -h, --help\n"},
};

// A rule of a mode or an option, once all options are known: the refusal,
// or empty.
using Rule = std::string (*)(const Options &opt);

std::string picture_rule(const Options &opt)
{
    // A device, FIFO or standard output takes one picture: no progress ones.
    if (opt.progress_pictures > 0 && output_is_direct(opt.output.c_str()))
        return "progress pictures need an output file, not \"" + opt.output + "\"";
    return "";
}

std::string part_rule(const Options &opt)
{
    if (opt.part_given && opt.sums_path.empty()) return "--part needs --sums FILE";
    if (opt.parts > opt.samples)
        return std::to_string(opt.parts) + " parts of " + std::to_string(opt.samples) +
               (opt.samples == 1 ? " sample" : " samples") + ": a part needs one sample at least";
    return "";
}

std::string view_rule(const Options &opt)
{
    if (opt.exprs.size() > 1) return "--view draws one expression";
    if (!(opt.given & bit(o_output))) return "--view needs -o FILE for its picture";
    return "";
}

std::string merge_rule(const Options &opt)
{
    if (opt.merge_paths.empty()) return "--merge needs the sums files of the parts";
    return "";
}

// A live picture: rebuilt from the file on every save, written again and again.
std::string watch_rule(const Options &opt)
{
    if (opt.shader_path.empty()) return "--watch needs --shader FILE: the embedded shader cannot change";
    if (opt.progress_pictures > 0) return "--watch writes no progress pictures";
    if (output_is_direct(opt.output.c_str()))
        return "--watch writes its picture again and again: it needs an output file";
    return "";
}

// The modes: the first whose options are given is chosen, the picture when
// none is; then every option given must be one it takes.
struct ModeRow {
    RenderMode mode;
    unsigned chosen_by; // any of these options chooses it
    unsigned takes;     // the other options it takes
    Rule rule;          // its own checks, or null
};

const unsigned geometry = bit(o_samples) | bit(o_crop) | bit(o_margin);
const unsigned progress = bit(o_progress_pictures) | bit(o_no_progress_pictures);

// Options a mode would not use are refused, not ignored.
const ModeRow mode_rows[] = {
    {RenderMode::part, bit(o_part) | bit(o_sums), bit(o_shader) | geometry, part_rule},
    {RenderMode::merge, bit(o_merge), bit(o_output) | bit(o_shader) | geometry, merge_rule},
    {RenderMode::benchmark, bit(o_benchmark), bit(o_shader) | bit(o_samples) | bit(o_crop) | bit(o_baseline),
     nullptr},
    // It times the crop's tiles alone: no margin.
    {RenderMode::cost_map, bit(o_cost_map), bit(o_output) | bit(o_shader) | bit(o_samples) | bit(o_crop) | bit(o_tile),
     nullptr},
    {RenderMode::eval, bit(o_eval), bit(o_shader) | bit(o_pixel) | bit(o_sample), nullptr},
    {RenderMode::view, bit(o_view),
     bit(o_output) | bit(o_shader) | bit(o_crop) | bit(o_sample) | bit(o_range) | bit(o_watch), view_rule},
    {RenderMode::picture, 0, bit(o_output) | bit(o_shader) | geometry | progress | bit(o_watch), picture_rule},
};

// Options with rules of their own, wherever they are taken.
const struct {
    OptionRowId option;
    Rule rule;
} option_rules[] = {
    {o_watch, watch_rule},
};

// The first refusal of the options given, chosen mode first; empty if none.
// `spelled` holds each given option as the command line wrote it.
std::string check_options(Options &opt, const std::string *spelled)
{
    const ModeRow *mode = nullptr;
    unsigned choosers = 0;
    for (const ModeRow &row : mode_rows) {
        if (!mode && ((row.chosen_by & opt.given) || !row.chosen_by)) mode = &row;
        choosers |= row.chosen_by;
    }
    opt.mode = mode->mode;
    int chooser = -1; // the option that chose it
    for (int id = 0; id < option_count && mode->chosen_by; ++id)
        if (chooser < 0 && (mode->chosen_by & opt.given & bit((OptionRowId)id))) chooser = id;
    // Another mode's option first: that clash is the one to name.
    unsigned refused = opt.given & ~(mode->chosen_by | mode->takes);
    for (unsigned first : {refused & choosers, refused})
        for (int id = 0; id < option_count; ++id) {
            OptionRowId option = (OptionRowId)id;
            if (!(first & bit(option))) continue;
            if (chooser >= 0) return spelled[id] + " and " + spelled[chooser] + " do not go together";
            // Not the picture's: say which modes take it.
            std::string modes;
            for (const ModeRow &row : mode_rows)
                for (int m = 0; m < option_count && (row.takes & bit(option)); ++m)
                    if (row.chosen_by & bit((OptionRowId)m)) {
                        modes += (modes.empty() ? "--" : " or --") + std::string(option_rows[m].name);
                        break;
                    }
            const char *value = option_rows[id].value;
            return spelled[id] + (value ? std::string(" ") + value : "") + " goes with " + modes;
        }
    if (std::string refusal = mode->rule ? mode->rule(opt) : ""; !refusal.empty()) return refusal;
    for (const auto &r : option_rules)
        if (opt.given & bit(r.option))
            if (std::string refusal = r.rule(opt); !refusal.empty()) return refusal;
    return "";
}

} // namespace

void print_usage(FILE *out)
{
    std::fprintf(out, "usage: intro-render [options]\n");
    for (const OptionRow &row : option_rows) std::fputs(row.help, out);
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
            // An unknown letter inside a group of short options is named alone.
            std::string name = optopt && arg[1] != '-' ? std::string("-") + (char)optopt : std::string(arg);
            std::fprintf(stderr, "intro-render: unknown option \"%s\" (see --help)\n", name.c_str());
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
        opt.given |= bit((OptionRowId)row);
        spelled[row] = index >= 0 ? std::string("--") + option_rows[row].name : std::string("-") + (char)id;
        index = -1;
        if (option_rows[row].apply)
            if (int status = option_rows[row].apply(optarg, opt)) return status;
    }
    // Operands are the parts' sums files of a merge, and nothing else.
    for (; optind < argc && (opt.given & bit(o_merge)); ++optind) opt.merge_paths.push_back(argv[optind]);
    if (optind < argc) {
        std::fprintf(stderr, "intro-render: unknown option \"%s\" (see --help)\n", argv[optind]);
        return 2;
    }
    if (std::string refusal = check_options(opt, spelled); !refusal.empty()) {
        std::fprintf(stderr, "intro-render: %s\n", refusal.c_str());
        return 2;
    }
    if (opt.mode == RenderMode::cost_map && !opt.output_given) opt.output = "cost-map.png";
    if (opt.progress_pictures < 0)
        opt.progress_pictures = opt.mode == RenderMode::picture && !opt.crop_given && !opt.watch &&
                                !output_is_direct(opt.output.c_str());
    return 0;
}

Rect gl_crop(const Options &opt)
{
    if (!opt.crop_given) return Rect{0, 0, kPictureWidth, kPictureHeight};
    return crop_to_gl_rows(opt.crop, kPictureHeight);
}
