#include "core/sample_index.h"

#include "core/gl_api.h"

bool has_sample_index(const UniformQueries &gl, unsigned program)
{
    int count = 0;
    gl.get_programiv(program, GL_ACTIVE_UNIFORMS, &count);
    for (int i = 0; i < count; ++i) {
        char name[256] = {};
        int length = 0, size = 0;
        unsigned type = 0;
        gl.get_active_uniform(program, (unsigned)i, (int)sizeof name, &length, &size, &type, name);
        if (gl.get_uniform_location(program, name) == 1) return true;
    }
    return false;
}
