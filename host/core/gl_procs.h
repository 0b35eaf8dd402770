// The table of OpenGL entry points past 1.1: each slot holds its name until
// loading replaces it with the driver's address.
#pragma once
#include <cstdint>

constexpr int kGlProcCount = 37;

struct GlProcTable {
    const void *slot[kGlProcCount + 1];   // the last one is always null
    uint8_t loaded;
};
extern GlProcTable gl_procs;
extern const char *const gl_proc_names[kGlProcCount];

// Slots the program calls through.
enum GlProcSlot {
    slot_glCreateShaderProgramv = 10,
    slot_glGetProgramiv = 27,
    slot_glGetProgramInfoLog = 28,
    slot_glGetShaderiv = 29,
    slot_glGetShaderInfoLog = 30,
    slot_glIsProgram = 31,
    slot_glGetAttachedShaders = 32,
    slot_glGetUniformLocation = 33,
    slot_glUseProgram = 34,
    slot_glGetFramebufferAttachmentParameteriv = 36,
};

// Loads the table once through `lookup`, then returns it.
GlProcTable &gl_load_procs(GlProcTable &table, void *(*lookup)(const char *name));

// Reports every slot the program calls that the driver left empty, plus any
// extra names given (looked up with `lookup`), each as
// "ERROR: missing OpenGL entry point %s\n" on stderr. True when none is missing.
bool gl_check_required(const GlProcTable &table, void *(*lookup)(const char *name),
                       const char *const *extra_names, int extra_count);

template <class F> F gl_proc(GlProcSlot s) { return reinterpret_cast<F>(const_cast<void *>(gl_procs.slot[s])); }
