#include "core/gl_procs.h"

#include <cstdio>

const char *const gl_proc_names[kGlProcCount] = {
    "glProgramUniform1fv", "glNamedBufferDataEXT", "glGenBuffers", "glGenProgramPipelines",
    "glBindBuffer", "glBindBufferBase", "glBindProgramPipeline", "glTextureParameteriEXT",
    "glTextureImage2DEXT", "glCopyTextureSubImage2D", "glCreateShaderProgramv",
    "glUseProgramStages", "glDispatchCompute", "glMemoryBarrier", "glGenRenderbuffers",
    "glBindFramebuffer", "glGenFramebuffers", "glProgramUniform1i",
    "glNamedFramebufferRenderbufferEXT", "glNamedFramebufferTexture2DEXT",
    "glNamedRenderbufferStorageEXT", "glActiveTexture", "glGenerateMipmap",
    "glMapNamedBufferEXT", "glUnmapNamedBufferEXT", "glDetachShader", "glDeleteShader",
    "glGetProgramiv", "glGetProgramInfoLog", "glGetShaderiv", "glGetShaderInfoLog",
    "glIsProgram", "glGetAttachedShaders", "glGetUniformLocation", "glUseProgram",
    "glCheckFramebufferStatus", "glGetFramebufferAttachmentParameteriv",
};

GlProcTable gl_procs = {
    {
        gl_proc_names[0], gl_proc_names[1], gl_proc_names[2], gl_proc_names[3],
        gl_proc_names[4], gl_proc_names[5], gl_proc_names[6], gl_proc_names[7],
        gl_proc_names[8], gl_proc_names[9], gl_proc_names[10], gl_proc_names[11],
        gl_proc_names[12], gl_proc_names[13], gl_proc_names[14], gl_proc_names[15],
        gl_proc_names[16], gl_proc_names[17], gl_proc_names[18], gl_proc_names[19],
        gl_proc_names[20], gl_proc_names[21], gl_proc_names[22], gl_proc_names[23],
        gl_proc_names[24], gl_proc_names[25], gl_proc_names[26], gl_proc_names[27],
        gl_proc_names[28], gl_proc_names[29], gl_proc_names[30], gl_proc_names[31],
        gl_proc_names[32], gl_proc_names[33], gl_proc_names[34], gl_proc_names[35],
        gl_proc_names[36], nullptr,
    },
    0,
};

GlProcTable &gl_load_procs(GlProcTable &table, void *(*lookup)(const char *name))
{
    if (table.loaded) return table;
    // The walk tests each slot before replacing it, so a null result is kept
    // and the walk still reaches the terminator.
    for (const void **slot = table.slot; *slot; ++slot)
        *slot = lookup(static_cast<const char *>(*slot));
    table.loaded = 1;
    return table;
}

bool gl_check_required(const GlProcTable &table, void *(*lookup)(const char *name),
                       const char *const *extra_names, int extra_count)
{
    static const GlProcSlot called[] = {
        slot_glCreateShaderProgramv, slot_glGetProgramiv, slot_glGetProgramInfoLog,
        slot_glGetShaderiv, slot_glGetShaderInfoLog, slot_glIsProgram,
        slot_glGetAttachedShaders, slot_glUseProgram, slot_glGetFramebufferAttachmentParameteriv,
    };
    bool ok = true;
    for (GlProcSlot s : called) {
        if (!table.loaded || !table.slot[s]) {
            fprintf(stderr, "ERROR: missing OpenGL entry point %s\n", gl_proc_names[s]);
            ok = false;
        }
    }
    for (int i = 0; i < extra_count; ++i) {
        if (!lookup(extra_names[i])) {
            fprintf(stderr, "ERROR: missing OpenGL entry point %s\n", extra_names[i]);
            ok = false;
        }
    }
    return ok;
}
