// Windows host: the window, its GL context, the message pump and the debug
// console; the loop itself is shared with the Linux host.
#include "core/gl_api.h"   // windows.h first, then GL
#include "gl/diagnostics.h"
#include "gl/intro_app.h"
#include "core/pixel_format_choice.h"
#include "core/std_descriptors.h"
#include "win32/win32_console.h"
#include "core/window_messages.h"

#include <mmsystem.h>

#include <cstdint>
#include <cstring>
#include <vector>

#ifdef _MSC_VER
#pragma comment(lib, "opengl32.lib")
#pragma comment(lib, "gdi32.lib")
#pragma comment(lib, "user32.lib")
#pragma comment(lib, "winmm.lib")
#endif

struct WindowHandles {
    HINSTANCE hinstance;
    HDC hdc;
    HGLRC hglrc;
    HWND hwnd;
    int fullscreen;
    char class_name[4];
};

struct AppWindow {
    MSG msg;
    WindowHandles handles;
    bool initialized;
    bool grab_pending;  // F12 seen, the grab waits for the next present
    HWND start_window;  // the active window at start-up: Escape counts only there
};

// Zero except the class name until start-up copies the live record in.
static AppWindow main_window = {{}, {nullptr, nullptr, nullptr, nullptr, 0, {'q', 'v', '_', '\0'}}, false, false,
                                nullptr};

// Double-buffered 32-bit RGBA with alpha and depth, and an accumulation
// buffer of 16 bits per channel for the 128 summed samples.
static const PIXELFORMATDESCRIPTOR pixel_format = {
    sizeof(PIXELFORMATDESCRIPTOR),
    1,
    PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER,
    PFD_TYPE_RGBA,
    32,
    0, 0, 0, 0, 0, 0,
    8,
    0,
    64,
    16, 16, 16, 16,
    32,
    0,
    0,
    PFD_MAIN_PLANE,
    0,
    0, 0, 0,
};

static const DWORD kWindowedStyle = WS_POPUP | WS_VISIBLE | WS_OVERLAPPEDWINDOW;
static const DWORD kFullscreenStyle = WS_POPUP | WS_VISIBLE;
static const COLORREF kBackground = RGB(48, 32, 16);

// ---- window procedure -------------------------------------------------------

static void post_quit() { PostQuitMessage(0); }

static void set_viewport(int width, int height) { glViewport(0, 0, width, height); }

static intptr_t default_proc(void *window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return DefWindowProcA((HWND)window, message, (WPARAM)wparam, (LPARAM)lparam);
}

static const WindowMessageOps message_ops = {post_quit, set_viewport, default_proc};

static LRESULT CALLBACK wnd_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_KEYDOWN && wparam == VK_F12 && !(lparam & (1L << 30))) grab_screen(main_window.grab_pending);
    return (LRESULT)handle_window_message(message_ops, window, message, (uintptr_t)wparam, (intptr_t)lparam);
}

// ---- window and context -----------------------------------------------------

static PixelFormatTraits describe_format(HDC hdc, int format)
{
    PIXELFORMATDESCRIPTOR d;
    memset(&d, 0, sizeof d);
    PixelFormatTraits t;
    memset(&t, 0, sizeof t);
    if (!DescribePixelFormat(hdc, format, sizeof d, &d)) return t;
    t.draw_to_window = (d.dwFlags & PFD_DRAW_TO_WINDOW) != 0;
    t.support_opengl = (d.dwFlags & PFD_SUPPORT_OPENGL) != 0;
    t.double_buffer = (d.dwFlags & PFD_DOUBLEBUFFER) != 0;
    t.rgba = d.iPixelType == PFD_TYPE_RGBA;
    t.generic = (d.dwFlags & PFD_GENERIC_FORMAT) != 0;
    t.generic_accelerated = (d.dwFlags & PFD_GENERIC_ACCELERATED) != 0;
    t.color_bits = d.cColorBits;
    t.alpha_bits = d.cAlphaBits;
    t.accum_bits = d.cAccumBits;
    return t;
}

// ChoosePixelFormat may hand back a format without the accumulation buffer
// that was asked for; then look through all formats for one that has it.
static int choose_accum_pixel_format(HDC hdc, const PIXELFORMATDESCRIPTOR &wanted)
{
    int chosen = ChoosePixelFormat(hdc, &wanted);
    int count = DescribePixelFormat(hdc, 1, sizeof(PIXELFORMATDESCRIPTOR), nullptr);
    if (count <= 0) return chosen;
    std::vector<PixelFormatTraits> formats((size_t)count);
    for (int i = 0; i < count; ++i) formats[(size_t)i] = describe_format(hdc, i + 1);
    return pick_pixel_format(formats.data(), count, chosen);
}

static int window_init(WindowHandles &h, const PIXELFORMATDESCRIPTOR &format_wanted)
{
    WNDCLASSA wc;
    memset(&wc, 0, sizeof wc);
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
    wc.lpfnWndProc = wnd_proc;
    wc.hInstance = h.hinstance;
    wc.hbrBackground = CreateSolidBrush(kBackground);
    wc.lpszClassName = h.class_name;
    if (!RegisterClassA(&wc)) return 0;

    if (h.fullscreen) {
        DEVMODEA mode;
        memset(&mode, 0, sizeof mode);
        mode.dmSize = sizeof mode;
        mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
        mode.dmBitsPerPel = 32;
        mode.dmPelsWidth = 1920;
        mode.dmPelsHeight = 1080;
        if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return 0;
        while (ShowCursor(FALSE) >= 0) {
        }
    }

    DWORD ex_style = h.fullscreen ? WS_EX_APPWINDOW : 0;
    DWORD style = h.fullscreen ? kFullscreenStyle : kWindowedStyle;
    RECT rect = {0, 0, 1920, 1080};
    AdjustWindowRect(&rect, style, FALSE);
    h.hwnd = CreateWindowExA(ex_style, h.class_name, "Intro", style, 0, 0, rect.right - rect.left,
                             rect.bottom - rect.top, nullptr, nullptr, h.hinstance, nullptr);
    if (!h.hwnd) return 0;

    h.hdc = GetDC(h.hwnd);
    if (!h.hdc) return 0;

    int format = choose_accum_pixel_format(h.hdc, format_wanted);
    if (!format) return 0;
    if (!SetPixelFormat(h.hdc, format, &format_wanted)) return 0;

    h.hglrc = wglCreateContext(h.hdc);
    if (!h.hglrc) return 0;
    if (!wglMakeCurrent(h.hdc, h.hglrc)) return 0;
    return 1;
}

static void window_deinit(WindowHandles &h)
{
    if (h.hglrc) {
        wglMakeCurrent(nullptr, nullptr);
        wglDeleteContext(h.hglrc);
    }
    if (h.hdc) ReleaseDC(h.hwnd, h.hdc);
    if (h.hwnd) DestroyWindow(h.hwnd);
    UnregisterClassA(h.class_name, h.hinstance);
    if (h.fullscreen) {
        ChangeDisplaySettingsA(nullptr, 0);
        while (ShowCursor(TRUE) < 0) {
        }
    }
}

static void deinit(AppWindow &w)
{
    if (w.initialized) window_deinit(w.handles);
}

// Builds the record, window and current context; false (after the warning
// box) when any step failed.
static bool app_window_create(AppWindow &w, const PIXELFORMATDESCRIPTOR &format_wanted)
{
    memset(&w, 0, sizeof w);
    memcpy(w.handles.class_name, "qv_", 4);
    w.handles.hinstance = GetModuleHandleA(nullptr);
    bool ok = window_init(w.handles, format_wanted) != 0;
    if (!ok) {
        w.initialized = true;
        deinit(w);
        MessageBoxA(nullptr, "window_init()!", "error", MB_OK | MB_ICONWARNING);
    }
    w.initialized = true;
    return ok;
}

// Shows the picture, then dispatches everything queued. A WM_QUIT from the
// close button or Escape only ends this drain.
static void pump_messages(AppWindow &w)
{
    if (!w.initialized) return;
    grab_screen_before_swap(w.grab_pending);
    SwapBuffers(w.handles.hdc);
    while (PeekMessageA(&w.msg, nullptr, 0, 0, PM_REMOVE)) {
        if (w.msg.message == WM_QUIT) break;
        TranslateMessage(&w.msg);
        DispatchMessageA(&w.msg);
    }
}

// ---- window and console -----------------------------------------------------------

static bool console_open()
{
    if (!console_alloc(1024)) return false;
    console_enable_utf8_and_colours();
    return true;
}

static void console_close() { console_release(); }

static bool window_open()
{
    AppWindow created;
    bool ok = app_window_create(created, pixel_format);
    main_window = created;
    return ok;
}

static void window_close() { deinit(main_window); }

static void restore_display()
{
    ChangeDisplaySettingsA(nullptr, 0);
    ShowCursor(TRUE);
}

static void remember_start_window() { main_window.start_window = GetActiveWindow(); }

static bool escape_in_foreground()
{
    return GetForegroundWindow() == main_window.start_window && GetAsyncKeyState(VK_ESCAPE) != 0;
}

// Lets the system see the window is alive between samples. Nothing is
// removed: key presses wait in the queue for the drain after the present.
static void peek_messages()
{
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
}

static void set_title(const char *text) { SetWindowTextA(main_window.handles.hwnd, text); }

static void swap_and_drain() { pump_messages(main_window); }

// ---- entry points, input, clocks ---------------------------------------------------------------

static void *gl_proc_address(const char *name)
{
    PROC proc = wglGetProcAddress(name);
    // Some drivers report failure with small values or -1 instead of null.
    intptr_t value = (intptr_t)proc;
    if (value == 0 || value == 1 || value == 2 || value == 3 || value == -1) return nullptr;
    return (void *)proc;
}

static void cursor_pos(int *x, int *y)
{
    POINT p = {0, 0};
    GetCursorPos(&p);
    *x = (int)p.x;
    *y = (int)p.y;
}

static bool right_button_down() { return GetAsyncKeyState(VK_RBUTTON) != 0; }

static uint32_t time_ms() { return (uint32_t)timeGetTime(); }
static uint32_t tick_ms() { return (uint32_t)GetTickCount(); }

// ---- entry ------------------------------------------------------------------

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    std_descriptors_guard();
    static const HostPlatform platform = {
        console_open, console_close, window_open, window_close, restore_display,
        remember_start_window, escape_in_foreground, peek_messages, set_title, swap_and_drain,
        gl_proc_address, cursor_pos, right_button_down, time_ms, tick_ms,
    };
    ExitProcess((UINT)intro_run(platform));
    return 0;
}

// Entry without the runtime's start-up code, for builds that link without it.
int intro_entry()
{
    return WinMain(GetModuleHandleA(nullptr), nullptr, nullptr, 0);
}
