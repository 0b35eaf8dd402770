// intro-render: renders the finished picture without a display, through a
// surfaceless EGL context, with the same protocol as the windowed host:
// samples into an 8-bit target, summed with weight 1/128, their mean
// quantised to 8 bits in texture object 1, then the post pass.
#include "render/egl_context.h"
#include "gl/soft_accum.h"
#include "core/tga_file.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern const char intro_shader_text[];

namespace {

const int picture_width = 1920;
const int picture_height = 1080;
const int sample_budget = 128;
// The post pass's bloom reaches 227 px across and 128 up; aberration 8 px.
const int default_margin = 240;
const GLuint mean_texture = 1; // the name the shader's host binds, used directly

struct Rect {
    int x = 0, y = 0, w = 0, h = 0; // GL convention: y counts rows from the bottom
};

enum class PictureFormat { png, tga };

struct Options {
    std::string output = "intro.png";
    PictureFormat format = PictureFormat::png;
    int samples = sample_budget;
    bool samples_given = false;
    std::string shader_path; // empty: the embedded shader
    bool crop_given = false;
    Rect crop;               // as given: y counts rows from the top
    int margin = default_margin;
    int progress_pictures = -1; // -1: on for full renders only
    bool benchmark = false;
};

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

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
        "      --benchmark          time sample and post passes at 1920x1080 and on a\n"
        "                           crop (default 3 samples; --samples, --crop apply)\n"
        "  -h, --help\n");
}

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
    return crop.w > 0 && crop.h > 0 && crop.x + crop.w <= picture_width &&
           crop.y + crop.h <= picture_height;
}

// Returns 0 to go on, else the exit status (help: 0 after printing).
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
            if (!parse_int(argv[++i], 0, picture_width, opt.margin)) {
                std::fprintf(stderr, "intro-render: margin must be a whole number from 0 to 1920, not \"%s\"\n", argv[i]);
                return 2;
            }
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
    if (opt.progress_pictures < 0) opt.progress_pictures = opt.crop_given ? 0 : 1;
    return 0;
}

// The crop in GL rows (from the bottom); the whole picture without one.
Rect gl_crop(const Options &opt)
{
    if (!opt.crop_given) return Rect{0, 0, picture_width, picture_height};
    return Rect{opt.crop.x, picture_height - opt.crop.y - opt.crop.h, opt.crop.w, opt.crop.h};
}

// Spans of [lo, hi) on an axis of length n once widened by margin; the
// post pass's lookups repeat across the borders, so what falls outside
// comes back in on the opposite side.
std::vector<std::pair<int, int>> axis_spans(int lo, int hi, int margin, int n)
{
    int a = lo - margin, b = hi + margin;
    if (b - a >= n) return {{0, n}};
    std::vector<std::pair<int, int>> spans;
    spans.push_back({a < 0 ? 0 : a, b > n ? n : b});
    if (a < 0) spans.push_back({n + a, n});
    if (b > n) spans.push_back({0, b - n});
    return spans;
}

// Regions whose samples the post pass over `crop` can see.
std::vector<Rect> sample_regions(const Rect &crop, int margin)
{
    std::vector<Rect> regions;
    for (auto xs : axis_spans(crop.x, crop.x + crop.w, margin, picture_width))
        for (auto ys : axis_spans(crop.y, crop.y + crop.h, margin, picture_height))
            regions.push_back(Rect{xs.first, ys.first, xs.second - xs.first, ys.second - ys.first});
    return regions;
}

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

// "dir/intro.png" with tag 4 gives "dir/intro.4.png".
std::string tagged_path(const std::string &path, int tag)
{
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    std::string suffix = "." + std::to_string(tag);
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return path + suffix;
    return path.substr(0, dot) + suffix + path.substr(dot);
}

std::string temp_path(const std::string &path)
{
    return path + ".tmp" + std::to_string((long)getpid());
}

// Fails early, before a long render, where the picture could not be written.
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

void png_sink(void *context, void *data, int size)
{
    FILE *file = (FILE *)context;
    std::fwrite(data, 1, (size_t)size, file);
}

// Writes rgb (top row first) under a temporary name, then renames it, so a
// failure never leaves a partial picture behind.
bool write_picture(const std::string &path, PictureFormat format, const std::vector<unsigned char> &rgb,
                   int w, int h, std::string &error)
{
    std::string temp = temp_path(path);
    FILE *file = std::fopen(temp.c_str(), "wb");
    if (!file) {
        error = "cannot write \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    errno = 0;
    bool ok = false;
    switch (format) {
    case PictureFormat::png:
        ok = stbi_write_png_to_func(png_sink, file, w, h, 3, rgb.data(), w * 3) != 0;
        break;
    case PictureFormat::tga: {
        // The screen grab's format: BGR, bottom row first.
        uint8_t header[kTgaHeaderSize];
        tga_header(header, w, h);
        ok = tga_size_ok(w, h) && std::fwrite(header, 1, sizeof header, file) == sizeof header;
        std::vector<unsigned char> row((size_t)w * 3);
        for (int y = h - 1; ok && y >= 0; --y) {
            const unsigned char *src = &rgb[(size_t)y * w * 3];
            for (int x = 0; x < w; ++x) {
                row[x * 3 + 0] = src[x * 3 + 2];
                row[x * 3 + 1] = src[x * 3 + 1];
                row[x * 3 + 2] = src[x * 3 + 0];
            }
            ok = std::fwrite(row.data(), 1, row.size(), file) == row.size();
        }
        break;
    }
    }
    ok = !std::ferror(file) && ok;
    int saved_errno = errno;
    ok = std::fclose(file) == 0 && ok;
    if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
        saved_errno = errno;
        ok = false;
    }
    if (!ok) {
        std::remove(temp.c_str());
        error = "cannot write \"" + path + "\": " + std::strerror(saved_errno ? saved_errno : EIO);
    }
    return ok;
}

struct Target {
    GLuint texture = 0;
    GLuint framebuffer = 0;
};

bool make_target(Target &target, GLuint texture_name, std::string &error)
{
    target.texture = texture_name;
    if (!target.texture) glGenTextures(1, &target.texture);
    glBindTexture(GL_TEXTURE_2D, target.texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, picture_width, picture_height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glGenFramebuffers(1, &target.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target.texture, 0);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        error = "the driver cannot render into an 8-bit RGBA texture";
        return false;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    return true;
}

struct Renderer {
    GLuint program = 0;
    Target sample;
    Target mean;  // texture object 1, what the post pass reads as `m`
    Target post;
    SoftAccum accum;
};

GLuint build_program(const std::string &source, std::string &error)
{
    const char *text = source.c_str();
    GLuint program = glCreateShaderProgramv(GL_FRAGMENT_SHADER, 1, &text);
    GLint linked = GL_FALSE;
    if (program) glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked) return program;
    std::string log = "glCreateShaderProgramv failed";
    if (program) {
        GLint length = 0;
        glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
        std::vector<char> buffer(length > 1 ? length : 1, '\0');
        glGetProgramInfoLog(program, (GLsizei)buffer.size(), nullptr, buffer.data());
        log = buffer.data();
        glDeleteProgram(program);
    }
    error = "the shader does not build:\n" + log;
    return 0;
}

bool renderer_init(Renderer &r, const std::string &source, std::string &error)
{
    r.program = build_program(source, error);
    if (!r.program) return false;
    if (!make_target(r.mean, mean_texture, error) || !make_target(r.sample, 0, error) ||
        !make_target(r.post, 0, error))
        return false;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    if (!soft_accum_init(r.accum, picture_width, picture_height, error)) return false;
    glViewport(0, 0, picture_width, picture_height);
    glUseProgram(r.program);
    return true;
}

void set_scissor(const Rect &rect)
{
    glScissor(rect.x, rect.y, rect.w, rect.h);
}

// One sample pass over the regions, added into the sum with weight 1/128.
void render_sample(Renderer &r, int index, const std::vector<Rect> &regions)
{
    glBindFramebuffer(GL_FRAMEBUFFER, r.sample.framebuffer);
    glUseProgram(r.program);
    glUniform2i(1, index, 1);
    glEnable(GL_SCISSOR_TEST);
    for (const Rect &rect : regions) {
        set_scissor(rect);
        glRects(1, 1, -1, -1);
    }
    for (const Rect &rect : regions) {
        set_scissor(rect);
        soft_accum_add(r.accum, r.sample.texture, 1.0f / sample_budget);
    }
    glDisable(GL_SCISSOR_TEST);
    glFinish();
}

// The mean of `count` samples into texture 1, then the post pass over `crop`.
void render_post(Renderer &r, int count, const Rect &crop)
{
    glBindFramebuffer(GL_FRAMEBUFFER, r.mean.framebuffer);
    soft_accum_return(r.accum, (float)sample_budget / (float)count);
    glBindFramebuffer(GL_FRAMEBUFFER, r.post.framebuffer);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, mean_texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glUseProgram(r.program);
    glUniform2i(1, count, 2);
    glEnable(GL_SCISSOR_TEST);
    set_scissor(crop);
    glRects(1, 1, -1, -1);
    glDisable(GL_SCISSOR_TEST);
    glFinish();
}

// The post pass's result over `crop` as RGB rows, top row first.
std::vector<unsigned char> read_crop(Renderer &r, const Rect &crop)
{
    std::vector<unsigned char> rgba((size_t)crop.w * crop.h * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, r.post.framebuffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(crop.x, crop.y, crop.w, crop.h, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    std::vector<unsigned char> rgb((size_t)crop.w * crop.h * 3);
    for (int row = 0; row < crop.h; ++row) {
        const unsigned char *src = &rgba[(size_t)(crop.h - 1 - row) * crop.w * 4];
        unsigned char *dst = &rgb[(size_t)row * crop.w * 3];
        for (int col = 0; col < crop.w; ++col) {
            dst[col * 3 + 0] = src[col * 4 + 0];
            dst[col * 3 + 1] = src[col * 4 + 1];
            dst[col * 3 + 2] = src[col * 4 + 2];
        }
    }
    return rgb;
}

std::string format_duration(double seconds)
{
    char text[32];
    long s = (long)(seconds + 0.5);
    if (s >= 3600) std::snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, s / 60 % 60);
    else if (s >= 60) std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
    else std::snprintf(text, sizeof text, "%lds", s);
    return text;
}

void show_progress(int done, int total, double elapsed)
{
    const int width = 30;
    int filled = (int)((long long)done * width / total);
    char bar[width + 1];
    for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '-';
    bar[width] = '\0';
    std::string left = done < total ? format_duration(elapsed / done * (total - done)) + " left"
                                    : "done in " + format_duration(elapsed);
    std::fprintf(stderr, "\rintro-render: [%s] %d/%d samples, %s   ", bar, done, total, left.c_str());
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool is_progress_count(int count)
{
    return count == 1 || count == 4 || count == 16 || count == 64;
}

int render(const Options &opt, Renderer &r)
{
    Rect crop = gl_crop(opt);
    std::vector<Rect> regions = sample_regions(crop, opt.margin);
    Clock::time_point start = Clock::now();
    std::string error;
    for (int s = 0; s < opt.samples; ++s) {
        render_sample(r, s, regions);
        int done = s + 1;
        if (opt.progress_pictures && done < opt.samples && is_progress_count(done)) {
            render_post(r, done, crop);
            if (!write_picture(tagged_path(opt.output, done), opt.format, read_crop(r, crop), crop.w, crop.h, error)) {
                std::fprintf(stderr, "\nintro-render: %s\n", error.c_str());
                return 1;
            }
        }
        show_progress(done, opt.samples, seconds_since(start));
    }
    render_post(r, opt.samples, crop);
    if (!write_picture(opt.output, opt.format, read_crop(r, crop), crop.w, crop.h, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "intro-render: wrote %s (%dx%d, %d samples)\n", opt.output.c_str(), crop.w, crop.h,
                 opt.samples);
    return 0;
}

// Times `samples` sample passes and one post pass over `crop` (no margin),
// and prints them with the extrapolation to a whole picture.
void benchmark_region(Renderer &r, const char *label, const Rect &crop, int samples)
{
    std::vector<Rect> regions = {crop};
    Rect warm = {crop.x, crop.y, crop.w < 8 ? crop.w : 8, crop.h < 8 ? crop.h : 8};
    render_sample(r, 0, {warm}); // the driver compiles its variants here
    render_post(r, 1, warm);
    soft_accum_clear(r.accum);
    Clock::time_point start = Clock::now();
    for (int s = 0; s < samples; ++s) render_sample(r, s, regions);
    double sample_ms = seconds_since(start) * 1000.0 / samples;
    start = Clock::now();
    render_post(r, samples, crop);
    double post_ms = seconds_since(start) * 1000.0;
    double picture_s = (sample_ms * sample_budget + post_ms) / 1000.0;
    std::printf("benchmark %-5s %4dx%-4d at %4d,%-4d: %10.1f ms per sample pass, %8.1f ms post pass, "
                "%8.1f s per picture (%d samples + post; %d measured)\n",
                label, crop.w, crop.h, crop.x, picture_height - crop.y - crop.h, sample_ms, post_ms, picture_s,
                sample_budget, samples);
    std::fflush(stdout);
}

int benchmark(const Options &opt, Renderer &r)
{
    int samples = opt.samples_given ? opt.samples : 3;
    // The car's nose and texts: the most expensive part of the picture.
    Options fixed = opt;
    if (!fixed.crop_given) {
        fixed.crop_given = true;
        fixed.crop = Rect{832, 412, 256, 256};
    }
    benchmark_region(r, "full", Rect{0, 0, picture_width, picture_height}, samples);
    benchmark_region(r, "crop", gl_crop(fixed), samples);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    Options opt;
    bool done = false;
    int status = parse_options(argc, argv, opt, done);
    if (status || done) return status;

    std::string error;
    std::string source = intro_shader_text;
    if (!opt.shader_path.empty() && !read_file(opt.shader_path, source, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 1;
    }
    if (!opt.benchmark && !check_writable(opt.output, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 1;
    }
    EglContext context;
    if (!egl_context_create(context, error)) {
        std::fprintf(stderr, "intro-render: no OpenGL context: %s\n", error.c_str());
        return 1;
    }
    Renderer renderer;
    if (!renderer_init(renderer, source, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        egl_context_destroy(context);
        return 1;
    }
    status = opt.benchmark ? benchmark(opt, renderer) : render(opt, renderer);
    soft_accum_destroy(renderer.accum);
    egl_context_destroy(context);
    return status;
}
