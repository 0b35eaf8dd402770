// Loading the entry-point table.
#include "core/gl_procs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::string> looked_up;
char addresses[64];

void *fake_lookup(const char *name)
{
    looked_up.push_back(name);
    if (!strcmp(name, "glDispatchCompute")) return nullptr;   // a driver without it
    return &addresses[(looked_up.size() - 1) % sizeof addresses];
}

void *nothing(const char *) { return nullptr; }

GlProcTable fresh_table()
{
    GlProcTable t;
    for (int i = 0; i < kGlProcCount; ++i) t.slot[i] = gl_proc_names[i];
    t.slot[kGlProcCount] = nullptr;
    t.loaded = 0;
    return t;
}

TEST(GlProcs, TableStartsWithTheNamesInOrder)
{
    // Written out again here: a swap of two names in the table must show.
    const char *const expected[kGlProcCount] = {
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
    for (int i = 0; i < kGlProcCount; ++i) EXPECT_STREQ((const char *)gl_procs.slot[i], expected[i]) << "slot " << i;
    EXPECT_EQ(gl_procs.slot[kGlProcCount], nullptr);
    EXPECT_EQ(gl_procs.loaded, 0);

    // The slots called through by name of their enumerator.
    struct Named { GlProcSlot slot; const char *name; };
    for (Named n : {Named{slot_glCreateShaderProgramv, "glCreateShaderProgramv"},
                    Named{slot_glGetProgramiv, "glGetProgramiv"},
                    Named{slot_glGetProgramInfoLog, "glGetProgramInfoLog"},
                    Named{slot_glGetShaderiv, "glGetShaderiv"},
                    Named{slot_glGetShaderInfoLog, "glGetShaderInfoLog"},
                    Named{slot_glIsProgram, "glIsProgram"},
                    Named{slot_glGetAttachedShaders, "glGetAttachedShaders"},
                    Named{slot_glGetUniformLocation, "glGetUniformLocation"},
                    Named{slot_glUseProgram, "glUseProgram"},
                    Named{slot_glGetFramebufferAttachmentParameteriv, "glGetFramebufferAttachmentParameteriv"}})
        EXPECT_STREQ(expected[n.slot], n.name);
}

TEST(GlProcs, LoadsEverySlotOnceAndKeepsNulls)
{
    looked_up.clear();
    GlProcTable t = fresh_table();
    gl_load_procs(t, fake_lookup);
    ASSERT_EQ(looked_up.size(), (size_t)kGlProcCount) << "a null result must not stop the walk";
    for (int i = 0; i < kGlProcCount; ++i) EXPECT_EQ(looked_up[i], gl_proc_names[i]);
    EXPECT_EQ(t.slot[12], nullptr);   // glDispatchCompute
    EXPECT_EQ(t.slot[13], &addresses[13]);
    EXPECT_EQ(t.loaded, 1);

    GlProcTable after_first = t;
    EXPECT_EQ(&gl_load_procs(t, fake_lookup), &t);
    EXPECT_EQ(looked_up.size(), (size_t)kGlProcCount) << "a second load looks nothing up";
    EXPECT_EQ(memcmp(&after_first, &t, sizeof t), 0);
}

TEST(GlProcs, LoadingWithoutAContextStoresFailuresAndIsReported)
{
    GlProcTable t = fresh_table();
    gl_load_procs(t, nothing);
    for (int i = 0; i < kGlProcCount; ++i) EXPECT_EQ(t.slot[i], nullptr);
    EXPECT_EQ(t.loaded, 1);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(gl_check_required(t, nothing, nullptr, 0));
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("ERROR: missing OpenGL entry point glCreateShaderProgramv\n"), std::string::npos);
    EXPECT_NE(err.find("ERROR: missing OpenGL entry point glUseProgram\n"), std::string::npos);
    EXPECT_EQ(err.find("glDispatchCompute"), std::string::npos) << "slots never called are not required";
}

TEST(GlProcs, RequiredCheckCoversNamesFetchedAtTheirCall)
{
    looked_up.clear();
    GlProcTable t = fresh_table();
    gl_load_procs(t, fake_lookup);
    testing::internal::CaptureStderr();
    const char *extra[] = {"glUniform2i", "glDispatchCompute"};
    EXPECT_FALSE(gl_check_required(t, fake_lookup, extra, 2));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "ERROR: missing OpenGL entry point glDispatchCompute\n");
    EXPECT_TRUE(gl_check_required(t, fake_lookup, extra, 1));
}

} // namespace
