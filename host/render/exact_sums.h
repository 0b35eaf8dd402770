// intro-render's accumulator: each sample read back from the 8-bit colour
// buffer and summed as whole numbers over the sampled regions. Sums of any
// split of the samples add up exactly, so parts rendered apart merge into
// the picture one process makes; the mean is rounded once, halves up.
#pragma once
#include "core/sums_file.h"

// The one sum intro-render renders into, and how many samples it holds.
extern Sums exact_sums;
extern int exact_count;

// Makes these sums the render protocol's accumulator; the mean is returned
// into `colour_texture`, the texture behind the colour buffer.
void exact_sums_install(unsigned colour_texture);
// Forgets the samples: an empty sum over header.regions, of the whole picture.
void exact_sums_start(const SumsHeader &header);
