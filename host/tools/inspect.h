// intro-render --eval and --view: expressions evaluated in the shader's own
// fragments, after its main, for one sample; their values read back exactly
// through a storage buffer.
#pragma once
#include "render/offscreen_renderer.h"
#include "render/render_modes.h"

#include <string>

// Prints "EXPR = VALUE" on stdout for each --eval at --pixel; 0, or 1 after
// saying what failed.
int inspect_eval(const Options &opt, const RenderJob &job);
// Writes the --view picture over the crop and says its range.
int inspect_view(const Options &opt, const RenderJob &job);
// The same, drawn again on every save of the shader file until Ctrl-C.
int inspect_view_watch(const Options &opt, const RenderJob &job);
