// The one interface where a backend (Win32 or GLFW) meets the rest of the
// host: the backend fills one record and hands it to intro_run. Portable, so
// the core can be tested with fakes.
#pragma once
#include <cstdint>

struct HostPlatform {
    bool (*console_open)();            // console ready: print the banner
    void (*console_close)();
    bool (*window_open)();             // window with a current GL context
    void (*window_close)();
    void (*restore_display)();         // display mode and cursor at exit
    void (*remember_start_window)();
    bool (*escape_in_foreground)();
    void (*peek_messages)();
    void (*set_title)(const char *text);
    void (*swap_and_drain)();
    // Entry point of the current context by name; null when the driver has none.
    void *(*gl_proc_address)(const char *name);
    // Cursor position in screen pixels, y counted downwards from the top.
    void (*cursor_pos)(int *x, int *y);
    bool (*right_button_down)();
    // Millisecond clocks: the one behind the title's time and the one behind
    // the per-iteration budget.
    uint32_t (*time_ms)();
    uint32_t (*tick_ms)();
};
