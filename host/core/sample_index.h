// Whether a program reads the sample index: the uniform at location 1 that
// carries it and the pass. A shader without it makes every sample the same.
#pragma once

// The three GL queries the check makes; the callers fill them from their
// own GL tables.
struct UniformQueries {
    void (*get_programiv)(unsigned program, unsigned pname, int *params);
    void (*get_active_uniform)(unsigned program, unsigned index, int size, int *length, int *array_size,
                               unsigned *type, char *name);
    int (*get_uniform_location)(unsigned program, const char *name);
};

bool has_sample_index(const UniformQueries &gl, unsigned program);
