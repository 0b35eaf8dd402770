#include "core/window_messages.h"

#include "core/frame_loop.h"

intptr_t handle_window_message(const WindowMessageOps &ops, void *window, uint32_t message,
                               uintptr_t wparam, intptr_t lparam)
{
    // Keep the screen on while the picture renders.
    if (message == kWmSysCommand && (wparam == kScScreenSave || wparam == kScMonitorPower))
        return 0;
    // Closing only posts a quit, which the drain drops: Escape is the way out.
    if (message == kWmClose || message == kWmDestroy) {
        ops.post_quit();
        return 0;
    }
    if (message == kWmKeyDown && wparam == kVkEscape) {
        ops.post_quit();
        return 0;
    }
    if (message == kWmSize)
        ops.set_viewport((int)(lparam & 0xFFFF), (int)((lparam >> 16) & 0xFFFF));
    if (message == kWmChar || message == kWmKeyDown) {
        if (wparam == kVkEscape) {
            ops.post_quit();
            return 0;
        }
        if (wparam == kVkLeft) seek_time_offset(-1);
        if (wparam == kVkRight) seek_time_offset(+1);
    }
    return ops.default_proc(window, message, wparam, lparam);
}
