// intro-render: renders the finished picture without a display, through a
// surfaceless EGL context, with the same render protocol as the windowed
// hosts: samples into an 8-bit target, summed exactly, their mean quantised
// to 8 bits in texture object 1, then the post pass. A render can also be
// split into parts that write their sums, merged into the same picture, and
// the shader's expressions inspected (--eval, --view).
#include "core/driver_log.h"
#include "core/shader_file.h"
#include "core/std_descriptors.h"
#include "gl/gl_loader.h"
#include "gl/shader_program.h"
#include "render/compiler_guard.h"
#include "render/egl_context.h"
#include "render/offscreen_renderer.h"
#include "render/picture_files.h"
#include "render/render_modes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern const char intro_shader_text[];
extern const char intro_shader_path[];

namespace {

// A shader file named on the command line, if one is; false after saying why
// it cannot be read.
bool read_shader_option(const std::string &path, std::string &text)
{
    std::string error;
    if (path.empty() || read_shader_file(path.c_str(), text, error)) return true;
    std::fprintf(stderr, "intro-render: cannot read shader \"%s\": %s\n", path.c_str(), error.c_str());
    return false;
}

// The benchmark's baseline, built before the first sample; the caller
// deletes it.
bool build_baseline(const std::string &path, const std::string &text, unsigned &program, std::string &error)
{
    std::string log;
    program = guarded_build(text.c_str(), log);
    if (!program) error = "the baseline \"" + path + "\" does not build:\n" + located_log(log, LogFile{path, &text});
    return program != 0;
}

// The file the shader's messages name: the embedded one by its source.
std::string shader_name(const Options &opt)
{
    return opt.shader_path.empty() ? intro_shader_path : opt.shader_path;
}

// Sets the renderer up for the mode and runs it; the exit status.
int run(Options &opt, unsigned closed, ExactSums &sums)
{
    std::string error;
    if (!check_not_inputs(opt, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return 2;
    }
    const ModeRow &mode = *opt.mode;
    const int trouble = mode.trouble;
    std::string source = intro_shader_text, baseline;
    if (!read_shader_option(opt.shader_path, source) || !read_shader_option(opt.baseline_path, baseline))
        return trouble;
    uint64_t shader_hash = fnv1a64(source);
    if (mode.prepare && !mode.prepare(opt, shader_hash, sums, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return trouble;
    }
    if (!check_writable(opt, (closed & kStdoutClosed) != 0, error)) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
        return trouble;
    }
    // Read once, when the driver starts; an author's own setting stands.
    if (quick_build_wanted(opt) && setenv("GALLIVM_PERF", "nopt", 0) == 0 &&
        std::strcmp(std::getenv("GALLIVM_PERF"), "nopt") == 0)
        std::fprintf(stderr, "intro-render: building without LLVM's optimisation: a sooner answer for a small region\n");
    EglContext context;
    if (!egl_context_create(context, error)) {
        std::fprintf(stderr, "intro-render: no OpenGL context: %s\n", error.c_str());
        return trouble;
    }
    gl_loader_load(egl_proc_address);
    Renderer renderer;
    unsigned baseline_program = 0;
    // Whatever its text, a shader is used only once it has built. The watch
    // loop builds the file itself, and waits out a broken one; --eval and
    // --view build it around their expressions.
    bool watched = option_given(opt, o_watch);
    bool own_program = watched || mode.own_program;
    int status = trouble;
    if (!gl_loader_ready(error) || !renderer_init(renderer, sums, error) ||
        (!own_program && !renderer_set_shader(renderer, source, shader_name(opt), error)) ||
        (!opt.baseline_path.empty() && !build_baseline(opt.baseline_path, baseline, baseline_program, error))) {
        std::fprintf(stderr, "intro-render: %s\n", error.c_str());
    } else {
        RenderJob job{renderer, sums, source, shader_hash, baseline_program};
        status = (watched ? mode.run_watched : mode.run)(opt, job);
    }
    if (baseline_program) gl_ext.DeleteProgram(baseline_program);
    renderer_destroy(renderer);
    egl_context_destroy(context);
    return status;
}

// What was printed on standard output but never reached it fails the run,
// however the rest went.
int checked_stdout(int status, int trouble, unsigned closed)
{
    bool flushed = std::fflush(stdout) == 0;
    int reason = errno;
    if (flushed && !std::ferror(stdout)) return status;
    std::fprintf(stderr, "intro-render: cannot write standard output: %s\n",
                 closed & kStdoutClosed ? "it is closed" : flushed ? "what was printed there is lost" : std::strerror(reason));
    return status ? status : trouble;
}

int render_main(int argc, char **argv)
{
    unsigned closed = std_descriptors_guard();
    Options opt;
    bool done = false;
    int status = parse_options(argc, argv, opt, done);
    int trouble = opt.mode ? opt.mode->trouble : 1;
    opt.after_crash = compiler_guard_restarted();
    if (!status && !done) {
        compiler_guard_crash_status(trouble);
        if (option_given(opt, o_watch)) compiler_guard_restart_on_crash(argv);
        ExactSums sums;
        status = run(opt, closed, sums);
    }
    return checked_stdout(status, trouble, closed);
}

} // namespace

int main(int argc, char **argv)
{
    return run_with_compiler_guard(render_main, argc, argv);
}
