// intro-render --compare REF: is the shader's picture REF's? Both are drawn
// over the same region with the same sample passes, each pass's 8-bit sample
// and the finished pictures compared; the exit status says, as cmp's does.
#pragma once
#include "render/render_modes.h"

// 0 the same, 1 different, 2 trouble.
int compare_shaders(const Options &opt, const RenderJob &job);
// Again on every save of the shader file, or of REF; one line each.
int compare_watch(const Options &opt, const RenderJob &job);
