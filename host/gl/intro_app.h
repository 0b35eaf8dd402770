// Start-up, loop and shutdown of a windowed host, written once; the backend
// (Win32 or GLFW) supplies the window, the console and the clocks.
#pragma once
#include <cstdint>

struct HostBackend {
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
};

// The whole life of the program; returns the process exit status.
int intro_run(const HostBackend &backend);
