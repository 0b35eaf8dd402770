// Building GL programs from source and reading their logs, for the programs
// that are not the shader tools' (intro-render's, the float accumulator's).
// Needs the GL loader loaded.
#pragma once
#include <string>

// The info log of a shader or a program object; empty when there is none.
std::string shader_info_log(unsigned shader);
std::string program_info_log(unsigned program);
// A separable fragment-shader program made from `source`; 0 when it does
// not link, with the driver's log (or why there is none) in `log`.
unsigned build_fragment_program(const char *source, std::string &log);
