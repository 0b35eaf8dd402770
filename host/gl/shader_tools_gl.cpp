// The windowed hosts' GL side of the shader tools: each call goes through its
// GlProcTable slot, or is looked up by name right where it is made.
#include "gl/shader_tools_gl.h"

#include "core/gl_procs.h"
#include "core/shader_tools.h"
#include "core/gl_api.h"
#include "gl/gl_loader.h"

static unsigned create_shader_programv(unsigned type, int count, const char *const *strings)
{
    return gl_proc<PFNGLCREATESHADERPROGRAMVPROC>(slot_glCreateShaderProgramv)(type, count, strings);
}

static void get_programiv(unsigned program, unsigned pname, int *params)
{
    gl_proc<PFNGLGETPROGRAMIVPROC>(slot_glGetProgramiv)(program, pname, params);
}

static void get_program_info_log(unsigned program, int size, int *length, char *log)
{
    gl_proc<PFNGLGETPROGRAMINFOLOGPROC>(slot_glGetProgramInfoLog)(program, size, length, log);
}

static void get_shaderiv(unsigned shader, unsigned pname, int *params)
{
    gl_proc<PFNGLGETSHADERIVPROC>(slot_glGetShaderiv)(shader, pname, params);
}

static void get_shader_info_log(unsigned shader, int size, int *length, char *log)
{
    gl_proc<PFNGLGETSHADERINFOLOGPROC>(slot_glGetShaderInfoLog)(shader, size, length, log);
}

static unsigned char is_program(unsigned program)
{
    return gl_proc<PFNGLISPROGRAMPROC>(slot_glIsProgram)(program);
}

static void get_attached_shaders(unsigned program, int max_count, int *count, unsigned *shaders)
{
    gl_proc<PFNGLGETATTACHEDSHADERSPROC>(slot_glGetAttachedShaders)(program, max_count, count, shaders);
}

static void use_program(unsigned program)
{
    gl_proc<PFNGLUSEPROGRAMPROC>(slot_glUseProgram)(program);
}

static void get_programiv_by_name(unsigned program, unsigned pname, int *params)
{
    gl_named<PFNGLGETPROGRAMIVPROC>("glGetProgramiv")(program, pname, params);
}

static void get_active_uniform(unsigned program, unsigned index, int size, int *length,
                               int *array_size, unsigned *type, char *name)
{
    gl_named<PFNGLGETACTIVEUNIFORMPROC>("glGetActiveUniform")(program, index, size, length,
                                                             array_size, type, name);
}

static int get_uniform_location(unsigned program, const char *name)
{
    return gl_named<PFNGLGETUNIFORMLOCATIONPROC>("glGetUniformLocation")(program, name);
}

static void uniform3f(int location, float x, float y, float z)
{
    gl_named<PFNGLUNIFORM3FPROC>("glUniform3f")(location, x, y, z);
}

static void delete_program(unsigned program)
{
    gl_named<PFNGLDELETEPROGRAMPROC>("glDeleteProgram")(program);
}

static void get_integerv(unsigned pname, int *params)
{
    glGetIntegerv(pname, params);
}

ShaderToolsGl shader_gl = {
    create_shader_programv, get_programiv, get_program_info_log, get_shaderiv,
    get_shader_info_log, is_program, get_attached_shaders, use_program,
    get_programiv_by_name, get_active_uniform, get_uniform_location, uniform3f, delete_program,
    get_integerv, nullptr, nullptr,
};

void shader_tools_gl_attach(void (*cursor_pos)(int *x, int *y), bool (*right_button_down)())
{
    shader_gl.cursor_pos = cursor_pos;
    shader_gl.right_button_down = right_button_down;
}
