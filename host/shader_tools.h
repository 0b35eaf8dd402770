// Shader program checks and hot reload for the person editing the shader.
#pragma once

// Start-up link check of the embedded program; the log also goes to
// "shader_error.txt".
void dbg_check_program(unsigned program);
// Rebuilds the program from `path` when its modification time advances, then
// feeds the mouse uniform "i".
void hotreload(const char *path);
