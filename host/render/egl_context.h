// Headless OpenGL context on EGL without any window system (Mesa's surfaceless
// platform here, the device platform on drivers that offer it).
#pragma once
#include <string>

struct EglContext {
    void *display = nullptr;
    void *context = nullptr;
    std::string renderer;   // GL_RENDERER once current
    std::string version;    // GL_VERSION once current
};

// Creates an OpenGL 4.3+ compatibility context and makes it current with no
// surface. On failure returns false and says why in `error`.
bool egl_context_create(EglContext &ctx, std::string &error);
void egl_context_destroy(EglContext &ctx);
void *egl_proc_address(const char *name);
