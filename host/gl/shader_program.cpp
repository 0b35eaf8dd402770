#include "gl/shader_program.h"

#include "core/gl_api.h"
#include "gl/gl_loader.h"

#include <vector>

namespace {

std::string info_log(unsigned name, PFNGLGETSHADERIVPROC get_iv, PFNGLGETSHADERINFOLOGPROC get_log)
{
    GLint length = 0;
    get_iv(name, GL_INFO_LOG_LENGTH, &length);
    std::vector<char> log(length > 1 ? length : 1, '\0');
    get_log(name, (GLsizei)log.size(), nullptr, log.data());
    return log.data();
}

} // namespace

std::string shader_info_log(unsigned shader)
{
    return info_log(shader, gl_ext.GetShaderiv, gl_ext.GetShaderInfoLog);
}

std::string program_info_log(unsigned program)
{
    return info_log(program, gl_ext.GetProgramiv, gl_ext.GetProgramInfoLog);
}

unsigned build_fragment_program(const char *source, std::string &log)
{
    GLuint program = gl_ext.CreateShaderProgramv(GL_FRAGMENT_SHADER, 1, &source);
    GLint linked = GL_FALSE;
    if (program) gl_ext.GetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked) return program;
    log = "glCreateShaderProgramv failed";
    if (program) {
        log = program_info_log(program);
        gl_ext.DeleteProgram(program);
    }
    return 0;
}
