// OpenGL declarations for the host: types and enums only. The core uses the
// enums with the GL calls it is handed; the calls themselves are made in gl/.
// Functions past 1.1 are never linked directly: they come from GlProcTable or
// from the loader (gl/gl_loader.h).
#pragma once
#ifdef _WIN32
#include "core/windows_lean.h"
#endif
#include <GL/gl.h>
#include <GL/glext.h>

// The accumulation buffer is a compatibility-profile feature; glext.h of
// some SDKs leaves these out.
#ifndef GL_ACCUM_RED_BITS
#define GL_ACCUM_RED_BITS 0x0D58
#define GL_ACCUM_GREEN_BITS 0x0D59
#define GL_ACCUM_BLUE_BITS 0x0D5A
#define GL_ACCUM_ALPHA_BITS 0x0D5B
#endif
