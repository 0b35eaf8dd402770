#include "gl/gl_loader.h"

GlFunctions gl_ext;

namespace {

GlLookup loader_lookup = nullptr;
const char *missing_name = nullptr;   // first function the driver lacks

} // namespace

bool gl_loader_load(GlLookup lookup)
{
    loader_lookup = lookup;
    missing_name = nullptr;
#define INTRO_GL_LOAD(type, name)                                                               \
    gl_ext.name = reinterpret_cast<type>(lookup("gl" #name));                                   \
    if (!gl_ext.name && !missing_name) missing_name = "gl" #name;
    INTRO_GL_FUNCTIONS(INTRO_GL_LOAD)
#undef INTRO_GL_LOAD
    return missing_name == nullptr;
}

bool gl_loader_ready(std::string &error)
{
    if (!loader_lookup) {
        error = "the OpenGL functions were not loaded";
        return false;
    }
    if (missing_name) {
        error = std::string("the driver has no ") + missing_name;
        return false;
    }
    return true;
}

void *gl_lookup(const char *name)
{
    return loader_lookup ? loader_lookup(name) : nullptr;
}
