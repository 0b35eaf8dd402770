#include "tools/inspect.h"

#include "core/driver_log.h"
#include "core/gl_api.h"
#include "core/shader_file.h"
#include "gl/gl_loader.h"
#include "core/render_protocol.h"
#include "gl/shader_program.h"
#include "render/compiler_guard.h"
#include "tools/inspect_log.h"
#include "tools/inspect_source.h"
#include "tools/shader_globals.h"
#include "tools/view_picture.h"
#include "render/picture_files.h"
#include "render/render_watch.h"

#include <cstdio>
#include <sstream>

extern const char intro_shader_path[];

namespace {

struct Inspector {
    Renderer *renderer = nullptr;
    const Options *opt = nullptr;
    InspectLayout layout;
    const char *option = "--eval";
    const char *readable = "";
    std::vector<std::string> pasted; // the expressions as they go into the source
    std::vector<std::string> shown;  // as given, on one line, for the messages
    unsigned buffer = 0;
};

// A message of several lines as the others: each of its own lines after the
// first begins with the program's name; the pointers under them do not.
std::string as_message(const std::string &text)
{
    std::istringstream lines(text);
    std::string line, message;
    while (std::getline(lines, line))
        message += (message.empty() ? "" : "\n") +
                   std::string(message.empty() || line.compare(0, 1, " ") == 0 ? "" : "intro-render: ") + line;
    return message;
}

void print_message(const std::string &message)
{
    std::fprintf(stderr, "intro-render: %s\n", message.c_str());
}

// Each expression checked before it is pasted into the source; false with
// what is wrong with each that is not one expression.
bool check_expressions(Inspector &in, std::string &error)
{
    std::string message;
    in.pasted.assign(in.opt->exprs.size(), "");
    in.shown = in.opt->exprs;
    for (size_t k = 0; k < in.opt->exprs.size(); ++k) {
        // Blanks for the line breaks keep the columns and the messages' lines.
        for (char &c : in.shown[k])
            if (c == '\n' || c == '\r') c = ' ';
        int column = 0;
        std::string why;
        if (!check_expression(in.opt->exprs[k], in.pasted[k], column, why))
            message += expression_message(in.option, in.shown[k], column, why);
    }
    if (!message.empty()) message.pop_back();
    error = as_message(message);
    return message.empty();
}

// The shader wrapped around the expressions, as the renderer's program.
bool build(Inspector &in, const std::string &shader, std::string &error)
{
    std::string clash = first_name_with_prefix(shader, kGeneratedPrefix);
    if (!clash.empty()) {
        error = "the shader uses the name " + clash + "; names beginning " + kGeneratedPrefix + " are kept for " +
                in.option + "'s own code";
        return false;
    }
    std::string log;
    std::string source = inspect_source(shader, in.pasted, in.layout);
    unsigned program = guarded_build(source.c_str(), log);
    if (!program) {
        std::string message;
        bool in_expressions = expression_errors(log, in.shown, in.pasted, in.option, in.readable, message);
        // The shader's own log, with its own line numbers, where it alone
        // does not build (an empty file, a missing #version).
        std::string own_log;
        if (!in_expressions) {
            unsigned own = guarded_build(shader.c_str(), own_log);
            if (own) gl_ext.DeleteProgram(own);
            else message = own_log;
        }
        // The wrapper keeps the shader's line numbers: its own lines are the file's.
        const std::string &name = in.opt->shader_path.empty() ? intro_shader_path : in.opt->shader_path;
        error = in_expressions ? as_message(message)
                               : "the shader does not build:\n" + located_log(message, LogFile{name, &shader});
        if (!error.empty() && error.back() == '\n') error.pop_back();
        return false;
    }
    if (in.renderer->program) gl_ext.DeleteProgram(in.renderer->program);
    in.renderer->program = program;
    return true;
}

// The fragments of one sample pass over the layout's region, drawn as
// render_sample draws them but not summed; their records read back.
std::vector<uint32_t> draw(Inspector &in, int sample)
{
    auto gen_buffers = gl_named<PFNGLGENBUFFERSPROC>("glGenBuffers");
    auto bind_buffer = gl_named<PFNGLBINDBUFFERPROC>("glBindBuffer");
    auto buffer_data = gl_named<PFNGLBUFFERDATAPROC>("glBufferData");
    auto bind_base = gl_named<PFNGLBINDBUFFERBASEPROC>("glBindBufferBase");
    auto barrier = gl_named<PFNGLMEMORYBARRIERPROC>("glMemoryBarrier");
    auto read_back = gl_named<PFNGLGETBUFFERSUBDATAPROC>("glGetBufferSubData");
    std::vector<uint32_t> words(inspect_words(in.layout), 0); // tag 0: nothing stored
    GLsizeiptr size = (GLsizeiptr)(words.size() * sizeof(uint32_t));
    if (!in.buffer) gen_buffers(1, &in.buffer);
    bind_buffer(GL_SHADER_STORAGE_BUFFER, in.buffer);
    buffer_data(GL_SHADER_STORAGE_BUFFER, size, words.data(), GL_DYNAMIC_READ);
    bind_base(GL_SHADER_STORAGE_BUFFER, kInspectBinding, in.buffer);

    PassOps ops = render_passes(*in.renderer);
    sample_begin(ops, sample);
    sample_draw(ops, {in.layout.region});
    barrier(GL_BUFFER_UPDATE_BARRIER_BIT);
    read_back(GL_SHADER_STORAGE_BUFFER, 0, size, words.data());
    return words;
}

void release(Inspector &in)
{
    if (in.buffer) gl_named<PFNGLDELETEBUFFERSPROC>("glDeleteBuffers")(1, &in.buffer);
    in.buffer = 0;
}

Inspector view_inspector(const Options &opt, Renderer &r)
{
    Inspector in;
    in.renderer = &r;
    in.opt = &opt;
    in.option = "--view";
    in.readable = "a scalar (float, int, uint, bool) or a vector of 2 to 4";
    in.layout.region = gl_crop(opt);
    in.layout.stride = 5; // a vec4 at most
    return in;
}

// Draws the view and writes its picture; false after saying why not.
bool write_view(Inspector &in, std::string &error)
{
    const Options &opt = *in.opt;
    std::vector<uint32_t> words = draw(in, opt.sample);
    ViewRange range;
    range.given = option_given(opt, o_range);
    range.low = opt.range_low;
    range.high = opt.range_high;
    std::vector<unsigned char> rgb;
    std::string line;
    if (!view_picture(words, in.layout, range, rgb, line)) {
        error = "--view '" + in.shown[0] + "': " + line;
        return false;
    }
    const Rect &crop = in.layout.region;
    if (!write_picture(opt.output, opt.format, rgb, crop.w, crop.h, error)) return false;
    std::fprintf(stderr, "intro-render: wrote %s (%dx%d): %s\n", opt.output.c_str(), crop.w, crop.h, line.c_str());
    return true;
}

bool watch_load(void *context, std::string &error)
{
    Inspector &in = *(Inspector *)context;
    std::string source;
    if (!read_shader_file(in.opt->shader_path.c_str(), source, error)) {
        error = "cannot read shader \"" + in.opt->shader_path + "\": " + error;
        return false;
    }
    return build(in, source, error);
}

void watch_clear(void *) {}
void watch_sample(void *, int) {}

bool watch_write(void *context, int, std::string &error)
{
    return write_view(*(Inspector *)context, error);
}

} // namespace

int inspect_eval(const Options &opt, const RenderJob &job)
{
    const std::string &shader = job.source;
    Inspector in;
    in.renderer = &job.renderer;
    in.opt = &opt;
    in.readable = "float, int, uint, bool, their vectors and the float matrices";
    in.layout.region = Rect{opt.pixel_x, kPictureHeight - 1 - opt.pixel_y, 1, 1};
    in.layout.count = (int)opt.exprs.size();
    std::string error;
    if (!check_expressions(in, error) || !build(in, shader, error)) {
        print_message(error);
        return 1;
    }
    std::vector<uint32_t> words = draw(in, opt.sample);
    release(in);
    int status = 0;
    for (size_t k = 0; k < opt.exprs.size(); ++k) {
        const uint32_t *record = &words[k * in.layout.stride];
        const ValueType *type = value_type(record[0]);
        if (type) {
            std::printf("%s = %s\n", in.shown[k].c_str(), format_value(*type, record + 1).c_str());
            continue;
        }
        std::fprintf(stderr, "intro-render: --eval '%s': no value: the shader discarded the fragment\n",
                     in.shown[k].c_str());
        status = 1;
    }
    return status;
}

int inspect_view(const Options &opt, const RenderJob &job)
{
    const std::string &shader = job.source;
    Inspector in = view_inspector(opt, job.renderer);
    std::string error;
    bool ok = check_expressions(in, error) && build(in, shader, error) && write_view(in, error);
    release(in);
    if (!ok) print_message(error);
    return ok ? 0 : 1;
}

int inspect_view_watch(const Options &opt, const RenderJob &job)
{
    Inspector in = view_inspector(opt, job.renderer);
    std::string error;
    if (!check_expressions(in, error)) {
        print_message(error);
        return 1;
    }
    WatchRenderer renderer{&in, watch_load, watch_clear, watch_sample, watch_write};
    int status = watch_run(renderer, WatchSettings{opt.shader_path, opt.output, 1, true, opt.after_crash}); // one view per save
    release(in);
    return status;
}
