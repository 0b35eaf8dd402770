// intro-render's accumulator: each sample read back from the 8-bit colour
// buffer and summed as whole numbers over the sampled regions. Sums of any
// split of the samples add up exactly, so parts rendered apart merge into
// the picture one process makes; the mean is rounded once, halves up.
#pragma once
#include "core/sums_file.h"
#include "gl/render_protocol_gl.h"

#include <cstdint>
#include <vector>

// The sum a render is made of, and how many samples it holds. Its owner hands
// it to the renderer, which sums into it, and to the split code, which writes
// it out or merges the parts into it.
struct ExactSums {
    Sums sums;
    int count = 0;
};

// The render protocol's accumulator over an ExactSums.
struct ExactAccumulator {
    ExactSums *sums = nullptr;
    unsigned colour = 0;           // the mean goes into this texture, behind the colour buffer
    std::vector<uint8_t> pixels;   // one region read back, or the mean
};

// `acc` as the render protocol's accumulator; that keeps its address, so it
// stays where it is while in use.
Accumulator exact_accumulator(ExactAccumulator &acc);
// Forgets the samples: an empty sum over header.regions, of the whole picture.
void exact_sums_start(ExactSums &sums, const SumsHeader &header);
