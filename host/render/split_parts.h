// One render split into parts: a part writes the exact sums of its share of
// the samples; a merge reads every part back into the render's sums.
#pragma once
#include "core/sums_file.h"
#include "render/exact_sums.h"
#include "render/render_options.h"

#include <cstdint>
#include <string>

// The sums file's description of the render `opt` asks for.
SumsHeader part_header(const Options &opt, uint64_t shader_hash);
// Writes `sums` to opt.sums_path (under a temporary name, then renamed).
bool write_part(const Options &opt, const ExactSums &sums, std::string &error);
// Reads and merges opt.merge_paths into `sums` and takes the render's
// crop, margin and sample count from them into `opt`; options given on the
// command line must agree with the parts, and the shader must be theirs.
bool load_parts(Options &opt, uint64_t shader_hash, ExactSums &sums, std::string &error);
