// The one loader of the OpenGL functions past 1.1 that the host calls outside
// the entry-point table. The system library exports only 1.1 on Windows, so
// everything newer is fetched from the driver once a context is current.
#pragma once
#include "core/gl_api.h"

#include <string>

// Every function fetched up front, as (type, name without the gl prefix).
#define INTRO_GL_FUNCTIONS(X)                                                                   \
    X(PFNGLACTIVETEXTUREPROC, ActiveTexture)                                                    \
    X(PFNGLATTACHSHADERPROC, AttachShader)                                                      \
    X(PFNGLBINDFRAMEBUFFERPROC, BindFramebuffer)                                                \
    X(PFNGLBINDVERTEXARRAYPROC, BindVertexArray)                                                \
    X(PFNGLBLENDEQUATIONPROC, BlendEquation)                                                    \
    X(PFNGLBLENDEQUATIONSEPARATEPROC, BlendEquationSeparate)                                    \
    X(PFNGLBLENDFUNCSEPARATEPROC, BlendFuncSeparate)                                            \
    X(PFNGLCHECKFRAMEBUFFERSTATUSPROC, CheckFramebufferStatus)                                  \
    X(PFNGLCLEARBUFFERFVPROC, ClearBufferfv)                                                    \
    X(PFNGLCOMPILESHADERPROC, CompileShader)                                                    \
    X(PFNGLCREATEPROGRAMPROC, CreateProgram)                                                    \
    X(PFNGLCREATESHADERPROC, CreateShader)                                                      \
    X(PFNGLCREATESHADERPROGRAMVPROC, CreateShaderProgramv)                                      \
    X(PFNGLDELETEFRAMEBUFFERSPROC, DeleteFramebuffers)                                          \
    X(PFNGLDELETEPROGRAMPROC, DeleteProgram)                                                    \
    X(PFNGLDELETESHADERPROC, DeleteShader)                                                      \
    X(PFNGLDELETEVERTEXARRAYSPROC, DeleteVertexArrays)                                          \
    X(PFNGLFRAMEBUFFERTEXTURE2DPROC, FramebufferTexture2D)                                      \
    X(PFNGLGENFRAMEBUFFERSPROC, GenFramebuffers)                                                \
    X(PFNGLGENVERTEXARRAYSPROC, GenVertexArrays)                                                \
    X(PFNGLGETACTIVEUNIFORMPROC, GetActiveUniform)                                              \
    X(PFNGLGETPROGRAMINFOLOGPROC, GetProgramInfoLog)                                            \
    X(PFNGLGETPROGRAMIVPROC, GetProgramiv)                                                      \
    X(PFNGLGETSHADERINFOLOGPROC, GetShaderInfoLog)                                              \
    X(PFNGLGETSHADERIVPROC, GetShaderiv)                                                        \
    X(PFNGLGETUNIFORMLOCATIONPROC, GetUniformLocation)                                          \
    X(PFNGLLINKPROGRAMPROC, LinkProgram)                                                        \
    X(PFNGLSHADERSOURCEPROC, ShaderSource)                                                      \
    X(PFNGLUNIFORM1FPROC, Uniform1f)                                                            \
    X(PFNGLUNIFORM1IPROC, Uniform1i)                                                            \
    X(PFNGLUSEPROGRAMPROC, UseProgram)

struct GlFunctions {
#define INTRO_GL_MEMBER(type, name) type name;
    INTRO_GL_FUNCTIONS(INTRO_GL_MEMBER)
#undef INTRO_GL_MEMBER
};
// Called as gl_ext.UseProgram(...); null until gl_loader_load.
extern GlFunctions gl_ext;

using GlLookup = void *(*)(const char *name);

// Fetches every function through `lookup` (the current context's
// get-proc-address) and keeps `lookup` for gl_named. False when the driver
// lacks one; gl_loader_ready names it.
bool gl_loader_load(GlLookup lookup);
// True once every function is loaded; else says which is missing in `error`.
bool gl_loader_ready(std::string &error);

// The entry point of that name, looked up now: for the calls that fetch their
// function where they are made, as drivers may hand out per-context addresses.
void *gl_lookup(const char *name);
template <class F> F gl_named(const char *name) { return reinterpret_cast<F>(gl_lookup(name)); }
