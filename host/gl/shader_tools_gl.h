// The windowed hosts' GL side of the shader tools (`shader_gl`).
#pragma once

// The hot-reload poll reads the mouse through these, from the backend.
void shader_tools_gl_attach(void (*cursor_pos)(int *x, int *y), bool (*right_button_down)());
