// Whether a program reads the sample index: the uniform at location 1 that
// carries it and the pass. A shader without it makes every sample the same.
#pragma once
#include "core/shader_tools.h"

// Uses the record's get_programiv_by_name, get_active_uniform and
// get_uniform_location.
bool has_sample_index(const ShaderToolsGl &gl, unsigned program);
