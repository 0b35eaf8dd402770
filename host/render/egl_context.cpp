#include "render/egl_context.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstring>

namespace {

const char *egl_error_text(EGLint code)
{
    switch (code) {
    case EGL_NOT_INITIALIZED: return "EGL_NOT_INITIALIZED";
    case EGL_BAD_ACCESS: return "EGL_BAD_ACCESS";
    case EGL_BAD_ALLOC: return "EGL_BAD_ALLOC";
    case EGL_BAD_ATTRIBUTE: return "EGL_BAD_ATTRIBUTE";
    case EGL_BAD_CONFIG: return "EGL_BAD_CONFIG";
    case EGL_BAD_CONTEXT: return "EGL_BAD_CONTEXT";
    case EGL_BAD_DISPLAY: return "EGL_BAD_DISPLAY";
    case EGL_BAD_MATCH: return "EGL_BAD_MATCH";
    case EGL_BAD_PARAMETER: return "EGL_BAD_PARAMETER";
    default: return "EGL error";
    }
}

// Surfaceless first (Mesa), then the first EGL device (NVIDIA and others),
// then whatever the default display is.
EGLDisplay open_display()
{
    auto get_platform_display =
        (PFNEGLGETPLATFORMDISPLAYEXTPROC)eglGetProcAddress("eglGetPlatformDisplayEXT");
    if (get_platform_display) {
        EGLDisplay d = get_platform_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
        auto query_devices = (PFNEGLQUERYDEVICESEXTPROC)eglGetProcAddress("eglQueryDevicesEXT");
        EGLDeviceEXT devices[4];
        EGLint count = 0;
        if (query_devices && query_devices(4, devices, &count) && count > 0) {
            d = get_platform_display(EGL_PLATFORM_DEVICE_EXT, devices[0], nullptr);
            if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
        }
    }
    EGLDisplay d = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (d != EGL_NO_DISPLAY && eglInitialize(d, nullptr, nullptr)) return d;
    return EGL_NO_DISPLAY;
}

} // namespace

bool egl_context_create(EglContext &ctx, std::string &error)
{
    EGLDisplay display = open_display();
    if (display == EGL_NO_DISPLAY) {
        error = "no EGL display could be opened (is Mesa's libegl-mesa0 or a GPU driver installed?)";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        error = std::string("EGL cannot bind the OpenGL API: ") + egl_error_text(eglGetError());
        eglTerminate(display);
        return false;
    }
    const EGLint config_attribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint config_count = 0;
    // A context without a config is fine where EGL_KHR_no_config_context exists.
    if (!eglChooseConfig(display, config_attribs, &config, 1, &config_count) || config_count < 1)
        config = nullptr;
    const EGLint context_attribs[] = {
        EGL_CONTEXT_MAJOR_VERSION, 4,
        EGL_CONTEXT_MINOR_VERSION, 3,
        EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, context_attribs);
    if (context == EGL_NO_CONTEXT) {
        error = std::string("no OpenGL 4.3 compatibility context on EGL: ") + egl_error_text(eglGetError());
        eglTerminate(display);
        return false;
    }
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        error = std::string("cannot make the EGL context current without a surface: ") +
                egl_error_text(eglGetError());
        eglDestroyContext(display, context);
        eglTerminate(display);
        return false;
    }
    ctx.display = display;
    ctx.context = context;
    const char *renderer = (const char *)glGetString(GL_RENDERER);
    const char *version = (const char *)glGetString(GL_VERSION);
    ctx.renderer = renderer ? renderer : "";
    ctx.version = version ? version : "";
    return true;
}

void egl_context_destroy(EglContext &ctx)
{
    if (!ctx.display) return;
    eglMakeCurrent(ctx.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (ctx.context) eglDestroyContext(ctx.display, ctx.context);
    eglTerminate(ctx.display);
    ctx.display = nullptr;
    ctx.context = nullptr;
}

void *egl_proc_address(const char *name)
{
    return (void *)eglGetProcAddress(name);
}
