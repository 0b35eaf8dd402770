// The loop's GPU operations on a real context: the fixed-function
// accumulation buffer, or a float framebuffer where the context has none.
#pragma once
#include "core/frame_loop.h"
#include "gl/intro_app.h"

// Chooses the accumulation path for the current context; false (with a
// message printed) when neither can be had.
bool gl_frame_ops_init();
// The loop's operations: GL for the GPU side, the backend for the rest.
FrameOps gl_frame_ops(const HostBackend &backend);
// Clears the colour and accumulation buffers before the first cycle.
void gl_frame_ops_clear_all();
