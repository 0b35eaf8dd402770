// intro-render --cost-map: where a sample pass spends its time, tile by
// tile, as a heat map over the picture and a list of the costliest tiles.
#pragma once
#include "render/offscreen_renderer.h"
#include "render/render_modes.h"

// Times the sample pass over the crop's tiles and writes the heat map to
// opt.output; the exit status.
int cost_map(const Options &opt, const RenderJob &job);
