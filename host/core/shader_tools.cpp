// Portable side of the shader tools: every GL and platform call goes through
// `shader_gl`, so this file links into the unit tests with fakes.
#include "core/shader_tools.h"

#include "core/gl_api.h"
#include "core/render_protocol.h"

#include "core/sample_index.h"
#include "core/shader_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

ShaderReloadState shader_reload;

// Reads an info log of `length` bytes (terminator included) into a zeroed
// buffer one byte longer than asked for.
static void print_info_log(unsigned name, int length,
                           void (*get_log)(unsigned, int, int *, char *))
{
    std::vector<char> log((size_t)length + 1, 0);
    get_log(name, length, nullptr, log.data());
    fprintf(stderr, "%s\n", log.data());
}

void dbg_check_program(unsigned program)
{
    printf("dbg_check_program: program: %d\n", (int)program);
    int status = 0, length = 0;
    shader_gl.get_programiv(program, GL_LINK_STATUS, &status);
    shader_gl.get_programiv(program, GL_INFO_LOG_LENGTH, &length);
    if (status == 0) fprintf(stderr, "ERROR: CheckProgram: failed to link!\n");
    if (length <= 1) return;   // an empty log leaves any earlier file alone

    std::vector<char> log((size_t)length + 1, 0);
    shader_gl.get_program_info_log(program, length, nullptr, log.data());
    fprintf(stderr, "%s\n", log.data());
    if (FILE *f = fopen("shader_error.txt", "w")) {
        fprintf(f, "%s\n", log.data());
        fclose(f);
    }
}

// Status and log of a shader or a program object. The log is printed on
// success too, so warnings show.
static bool check_object(unsigned name, unsigned status_pname, const char *who, const char *verb,
                         const char *label, void (*get_iv)(unsigned, unsigned, int *),
                         void (*get_log)(unsigned, int, int *, char *))
{
    int status = 0, length = 0;
    get_iv(name, status_pname, &status);
    get_iv(name, GL_INFO_LOG_LENGTH, &length);
    if (status == 0) fprintf(stderr, "ERROR: %s: failed to %s %s!\n", who, verb, label);
    if (length > 1) print_info_log(name, length, get_log);
    return status == GL_TRUE;
}

bool CheckShader(unsigned shader, const char *label)
{
    if (shader == 0) return false;
    return check_object(shader, GL_COMPILE_STATUS, "CheckShader", "compile", label, shader_gl.get_shaderiv,
                        shader_gl.get_shader_info_log);
}

bool CheckProgram(unsigned program, const char *label)
{
    return check_object(program, GL_LINK_STATUS, "CheckProgram", "link", label, shader_gl.get_programiv,
                        shader_gl.get_program_info_log);
}

int load_shader_file(const char *path, std::string &text)
{
    std::string data, error;
    if (!read_shader_file(path, data, error)) {
        printf("Input shader file at \"%s\" not found!\n", path);
        fprintf(stderr, "ERROR: Input shader file at \"%s\" could not be read: %s\n", path, error.c_str());
        return -1;
    }
    data.resize(strlen(data.c_str()));   // the text ends at the first NUL byte
    text = data;
    printf("Loaded shader from \"%s\"\n", path);
    return 0;
}

void compile_shader_file(const char *path, unsigned &program)
{
    std::string text;
    if (load_shader_file(path, text) != 0) return;
    const char *source = text.c_str();
    program = shader_gl.create_shader_programv(GL_FRAGMENT_SHADER, 1, &source);
}

bool build_shader_program(const char *path)
{
    bool ok = true;
    unsigned program = 0;
    compile_shader_file(path, program);
    ok = ok && program != 0;
    if (ok) {
        ok = CheckProgram(program, path) && ok;
        ok = shader_gl.is_program(program) && ok;
        if (ok) {
            int count = 0;
            unsigned shaders[8] = {};
            shader_gl.get_attached_shaders(program, 8, &count, shaders);
            if (count > 8) count = 8;
            // Every shader is checked, so every log is printed.
            for (int i = 0; i < count; ++i) ok = CheckShader(shaders[i], path) && ok;
        }
    }
    if (ok) shader_gl.use_program(program);   // a failed build leaves the old program drawing
    print_active_uniforms(program);
    const UniformQueries queries = {shader_gl.get_programiv_by_name, shader_gl.get_active_uniform,
                                    shader_gl.get_uniform_location};
    if (ok && !has_sample_index(queries, program))
        fprintf(stderr, "WARNING: %s has no uniform at location 1: it ignores the sample index, "
                        "so every sample is the same\n", path);
    // Nothing draws with the replaced program any more, and never did with
    // a failed one. The failed name stays in reloaded_program: the mouse
    // uniform finds no location there until a build succeeds.
    unsigned unused = ok ? shader_reload.drawn_program : program;
    if (ok) shader_reload.drawn_program = program;
    if (unused) shader_gl.delete_program(unused);
    shader_reload.reloaded_program = program;
    return ok;
}

void print_active_uniforms(unsigned program)
{
    int count = 0;
    shader_gl.get_programiv_by_name(program, GL_ACTIVE_UNIFORMS, &count);
    printf("Active Uniforms(#%u): %d\n", program, count);
    for (int i = 0; i < count; ++i) {
        char name[16] = {};
        int length = 0, size = 0;
        unsigned type = 0;
        shader_gl.get_active_uniform(program, (unsigned)i, (int)sizeof name, &length, &size,
                                     &type, name);
        name[sizeof name - 1] = 0;
        printf("\tUniform #%d Type: %u Name: %s\n", i, type, name);
    }
}

unsigned current_program()
{
    if (shader_reload.reloaded_program != 0) return shader_reload.reloaded_program;
    int program = 0;
    shader_gl.get_integerv(GL_CURRENT_PROGRAM, &program);
    return (unsigned)program;
}

// The file's stamp; on failure the messages of a failed status query.
static bool read_stamp(const char *path, FileStamp &stamp)
{
    int err = file_stamp(path, stamp);
    if (err == 0) return true;
    fprintf(stderr, "Problem getting information: %s\n", strerror(err));
    if (err == ENOENT)
        printf("File %s not found.\n", path);
    else if (err == EINVAL)
        printf("Invalid parameter to _stat.\n");
    else
        printf("Unexpected error in _stat.\n");
    return false;
}

uint64_t file_mtime(const char *path)
{
    FileStamp stamp;
    return read_stamp(path, stamp) ? (uint64_t)stamp.mtime_s : 0;
}

void hotreload(const char *path)
{
    // First sight is only recorded; every later completed save is built.
    FileStamp stamp;
    if (read_stamp(path, stamp) &&
        file_watch_update(shader_reload.watch, path, stamp, (int64_t)time(nullptr)) == FileChange::saved) {
        printf("hotreload updated\n");
        build_shader_program(path);
    }

    int x = 0, y = 0;
    shader_gl.cursor_pos(&x, &y);
    unsigned program = current_program();
    int location = shader_gl.get_uniform_location(program, "i");
    float button = shader_gl.right_button_down() ? 1.0f : 0.0f;
    if (button > 0.5f) {
        shader_reload.mouse_x = (float)x / (float)kPictureWidth;
        shader_reload.mouse_y = (float)y / (float)kPictureHeight;
        printf("iMouse %d: %d, %d, %.2f, %.2f, %.2f\n", location, x, y,
               shader_reload.mouse_x, shader_reload.mouse_y, button);
    }
    shader_gl.uniform3f(location, shader_reload.mouse_x, shader_reload.mouse_y, button);
}
