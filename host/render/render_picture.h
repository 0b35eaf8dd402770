// The picture's runners: the whole render, or one part's sums of it; the
// merge of the parts; and the live preview under --watch.
#pragma once
#include "render/render_modes.h"

int render_picture(const Options &opt, const RenderJob &job);
int merge_picture(const Options &opt, const RenderJob &job);
int watch_picture(const Options &opt, const RenderJob &job);
