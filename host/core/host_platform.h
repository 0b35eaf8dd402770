// What the GL glue of the windowed hosts needs from the platform backend
// (Win32 or GLFW). Each backend defines these once.
#pragma once
#include <cstdint>

// Entry point of the current context by name; null when the driver has none.
void *gl_proc_address(const char *name);

// Cursor position in screen pixels, y counted downwards from the top.
void platform_cursor_pos(int *x, int *y);
bool platform_right_button_down();

// Millisecond clocks: the one behind the title's time and the one behind the
// per-iteration budget.
uint32_t platform_time_ms();
uint32_t platform_tick_ms();
