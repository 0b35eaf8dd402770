#include "gl/intro_app.h"

#include "core/banner.h"
#include "core/frame_loop.h"
#include "gl/gl_api.h"
#include "gl/render_protocol_gl.h"
#include "core/gl_procs.h"
#include "core/host_platform.h"
#include "core/shader_tools.h"

#include <cstdio>

extern const char intro_shader_text[];

namespace {

const char *const shader_source[1] = {intro_shader_text};

// Fetched by name where they are called, so they are checked once up front.
const char *const named_entry_points[] = {"glUniform2i", "glUniform3f", "glGetActiveUniform"};

void dbg_deinit(const HostBackend &backend)
{
    printf("dbg_deinit done!\n");
    backend.window_close();
}

void shutdown(const HostBackend &backend)
{
    dbg_deinit(backend);
    backend.console_close();
    backend.restore_display();
}

} // namespace

int intro_run(const HostBackend &backend)
{
    if (backend.console_open()) print_banner();
    if (!backend.window_open()) {
        // No context: nothing after this point could work.
        shutdown(backend);
        return 1;
    }
    gl_load_procs(gl_procs, gl_proc_address);
    if (!gl_check_required(gl_procs, gl_proc_address, named_entry_points,
                           (int)(sizeof named_entry_points / sizeof named_entry_points[0]))) {
        shutdown(backend);
        return 1;
    }
    printf("dbg_init done!\n");

    frame.start_time = platform_time_ms();
    auto create_program = (PFNGLCREATESHADERPROGRAMVPROC)gl_proc_address("glCreateShaderProgramv");
    auto use_program = (PFNGLUSEPROGRAMPROC)gl_proc_address("glUseProgram");
    GLuint program = create_program(GL_FRAGMENT_SHADER, 1, shader_source);
    use_program(program);
    // The name the driver returned, not a guess at it.
    dbg_check_program(program);
    frame.sample_count = 0;
    backend.remember_start_window();
    if (!gl_frame_ops_init()) {
        shutdown(backend);
        return 1;
    }
    gl_frame_ops_clear_all();

    run_frame_loop(gl_frame_ops(backend));

    shutdown(backend);
    return 0;
}
