#include "gl/intro_app.h"

#include "core/banner.h"
#include "core/frame_loop.h"
#include "core/gl_procs.h"
#include "core/shader_tools.h"
#include "gl/diagnostics.h"
#include "core/gl_api.h"
#include "gl/gl_loader.h"
#include "gl/render_protocol_gl.h"
#include "gl/shader_tools_gl.h"

#include <cstdio>

extern const char intro_shader_text[];

namespace {

const char *const shader_source[1] = {intro_shader_text};

// Fetched by name where they are called, so they are checked once up front.
const char *const named_entry_points[] = {"glUniform2i", "glUniform3f", "glGetActiveUniform", "glDeleteProgram"};

void dbg_deinit(const HostPlatform &platform)
{
    printf("dbg_deinit done!\n");
    platform.window_close();
}

void shutdown(const HostPlatform &platform)
{
    dbg_deinit(platform);
    platform.console_close();
    platform.restore_display();
}

// Entry points for the table, the loader and the checks; false when one the
// program calls is missing (each reported).
bool load_entry_points(const HostPlatform &platform)
{
    gl_load_procs(gl_procs, platform.gl_proc_address);
    gl_loader_load(platform.gl_proc_address);   // a gap matters only to the float path, which says so
    return gl_check_required(gl_procs, platform.gl_proc_address, named_entry_points,
                             (int)(sizeof named_entry_points / sizeof named_entry_points[0]));
}

// The embedded program, fetched by name where it is made, then checked.
void start_program()
{
    auto create_program = gl_named<PFNGLCREATESHADERPROGRAMVPROC>("glCreateShaderProgramv");
    auto use_program = gl_named<PFNGLUSEPROGRAMPROC>("glUseProgram");
    GLuint program = create_program(GL_FRAGMENT_SHADER, 1, shader_source);
    use_program(program);
    // The name the driver returned, not a guess at it.
    dbg_check_program(program);
}

void poll() { hotreload("../shader.glsl"); }

FrameOps frame_ops(const HostPlatform &platform, GlPasses &passes)
{
    FrameOps ops;
    ops.poll = poll;
    ops.time_ms = platform.time_ms;
    ops.tick_ms = platform.tick_ms;
    ops.peek_messages = platform.peek_messages;
    ops.escape_in_foreground = platform.escape_in_foreground;
    ops.set_title = platform.set_title;
    ops.swap_and_drain = platform.swap_and_drain;
    ops.passes = gl_pass_ops(passes);
    return ops;
}

} // namespace

int intro_run(const HostPlatform &platform)
{
    bool console = platform.console_open();
    if (console) print_banner();
    if (!platform.window_open()) {
        // No context: nothing after this point could work.
        shutdown(platform);
        return 1;
    }
    if (!load_entry_points(platform)) {
        shutdown(platform);
        return 1;
    }
    printf("dbg_init done!\n");
    // For whoever reads the console: what the window's pixel format really is.
    if (console) print_framebuffer_info();

    frame.start_time = platform.time_ms();
    shader_tools_gl_attach(platform.cursor_pos, platform.right_button_down);
    start_program();
    frame.sample_count = 0;
    platform.remember_start_window();
    // The passes' state is this run's, and goes with the context.
    GlPasses passes;
    if (!gl_passes_init_window(passes)) {
        shutdown(platform);
        return 1;
    }
    gl_passes_clear_all(passes);

    run_frame_loop(frame_ops(platform, passes));

    gl_passes_destroy(passes);
    shutdown(platform);
    return 0;
}
