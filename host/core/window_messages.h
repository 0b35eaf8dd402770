// The window procedure's table, shared by the Win32 and GLFW hosts: the GLFW
// backend translates its events into the same messages.
#pragma once
#include <cstdint>

constexpr uint32_t kWmDestroy = 0x0002;
constexpr uint32_t kWmSize = 0x0005;
constexpr uint32_t kWmClose = 0x0010;
constexpr uint32_t kWmQuit = 0x0012;
constexpr uint32_t kWmKeyDown = 0x0100;
constexpr uint32_t kWmChar = 0x0102;
constexpr uint32_t kWmSysCommand = 0x0112;
constexpr uintptr_t kScScreenSave = 0xF140;
constexpr uintptr_t kScMonitorPower = 0xF170;
constexpr uintptr_t kVkEscape = 0x1B;
constexpr uintptr_t kVkLeft = 0x25;   // also the character '%'
constexpr uintptr_t kVkRight = 0x27;  // also the character '\''

struct WindowMessageOps {
    void (*post_quit)();
    void (*set_viewport)(int width, int height);
    intptr_t (*default_proc)(void *window, uint32_t message, uintptr_t wparam, intptr_t lparam);
};

intptr_t handle_window_message(const WindowMessageOps &ops, void *window, uint32_t message,
                               uintptr_t wparam, intptr_t lparam);
