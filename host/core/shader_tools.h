// Shader program checks and hot reload for the person editing the shader.
#pragma once
#include "core/file_watch.h"

#include <cstdint>
#include <string>

// Every GL and platform call the shader tools make. The windowed hosts define
// `shader_gl` in gl/shader_tools_gl.cpp (GlProcTable slots, entry points looked up
// by name at each call, the backend's cursor); tests define it with fakes or
// with a headless context.
struct ShaderToolsGl {
    // GlProcTable slots
    unsigned (*create_shader_programv)(unsigned type, int count, const char *const *strings);
    void (*get_programiv)(unsigned program, unsigned pname, int *params);
    void (*get_program_info_log)(unsigned program, int size, int *length, char *log);
    void (*get_shaderiv)(unsigned shader, unsigned pname, int *params);
    void (*get_shader_info_log)(unsigned shader, int size, int *length, char *log);
    unsigned char (*is_program)(unsigned program);
    void (*get_attached_shaders)(unsigned program, int max_count, int *count, unsigned *shaders);
    void (*use_program)(unsigned program);
    // looked up by name at every call
    void (*get_programiv_by_name)(unsigned program, unsigned pname, int *params);
    void (*get_active_uniform)(unsigned program, unsigned index, int size, int *length,
                               int *array_size, unsigned *type, char *name);
    int (*get_uniform_location)(unsigned program, const char *name);
    void (*uniform3f)(int location, float x, float y, float z);
    void (*delete_program)(unsigned program);
    // OpenGL 1.1
    void (*get_integerv)(unsigned pname, int *params);
    // platform: screen position of the cursor, right button state
    void (*cursor_pos)(int *x, int *y);
    bool (*right_button_down)();
};
extern ShaderToolsGl shader_gl;

// Reload state.
struct ShaderReloadState {
    unsigned reloaded_program = 0;   // latest reload's program; 0: none or unreadable file
    unsigned drawn_program = 0;      // the reloaded program in use; 0: the embedded one
    FileWatch watch;                 // the watched file's version last acted upon
    float mouse_x = 0.0f;            // cursor / picture size, while the right button is held
    float mouse_y = 0.0f;
};
extern ShaderReloadState shader_reload;

// Start-up link check of the embedded program; a non-empty log also goes to
// "shader_error.txt".
void dbg_check_program(unsigned program);
// Rebuilds the program from `path` after each completed save, then feeds the
// mouse uniform "i".
void hotreload(const char *path);

// Builds a program from the file and makes it current when every check
// passes; true then. The program it replaces is deleted (the embedded one
// stays), and so is a program that failed its checks, so memory stays flat
// over any number of saves.
bool build_shader_program(const char *path);
// `program` is left unchanged when the file cannot be read.
void compile_shader_file(const char *path, unsigned &program);
// 0 on success, -1 (with the reason on stderr) when the file cannot be read.
// The text ends at the file's first NUL byte.
int load_shader_file(const char *path, std::string &text);
bool CheckShader(unsigned shader, const char *label);
bool CheckProgram(unsigned program, const char *label);
void print_active_uniforms(unsigned program);
// The latest reload's program, else the one current in GL.
unsigned current_program();
// Modification time in seconds since 1970; 0 (with messages) on failure.
uint64_t file_mtime(const char *path);
