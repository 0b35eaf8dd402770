// Linux host: the same program on GLFW. Its window events are translated
// into the messages of the shared window table, so both hosts behave alike.
#include "gl/diagnostics.h"
#include "core/frame_loop.h"
#include "core/gl_api.h"
#include "core/std_descriptors.h"
#include "gl/intro_app.h"
#include "core/window_messages.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <chrono>
#include <cstdio>

namespace {

// The one window, and what its keys asked of the loop since it last looked.
struct GlfwWindow {
    GLFWwindow *window = nullptr;
    // Escape pressed since the exit test last looked, so a tap shorter than
    // one sample is not missed.
    bool escape_latched = false;
    bool grab_pending = false; // F12, written at the next present
};

GlfwWindow main_window;

void post_quit() {}  // the next drain would drop it anyway

void set_viewport(int width, int height) { glViewport(0, 0, width, height); }

intptr_t default_proc(void *, uint32_t, uintptr_t, intptr_t) { return 0; }

const WindowMessageOps message_ops = {post_quit, set_viewport, default_proc};

void send_message(GLFWwindow *window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    handle_window_message(message_ops, window, message, wparam, lparam);
}

void on_key(GLFWwindow *window, int key, int, int action, int)
{
    GlfwWindow &w = *(GlfwWindow *)glfwGetWindowUserPointer(window);
    if (action == GLFW_RELEASE) return;
    if (key == GLFW_KEY_ESCAPE) {
        w.escape_latched = true;
        send_message(window, kWmKeyDown, kVkEscape, 0);
    } else if (key == GLFW_KEY_LEFT) {
        send_message(window, kWmKeyDown, kVkLeft, 0);
    } else if (key == GLFW_KEY_RIGHT) {
        send_message(window, kWmKeyDown, kVkRight, 0);
    } else if (key == GLFW_KEY_F12 && action == GLFW_PRESS) {
        grab_screen(w.grab_pending);
    }
}

void on_char(GLFWwindow *window, unsigned int codepoint)
{
    if (codepoint < 0x80) send_message(window, kWmChar, codepoint, 0);
}

void on_size(GLFWwindow *window, int width, int height)
{
    send_message(window, kWmSize, 0, (intptr_t)(((uint32_t)height & 0xFFFF) << 16 | ((uint32_t)width & 0xFFFF)));
}

void on_close(GLFWwindow *window)
{
    send_message(window, kWmClose, 0, 0);
    glfwSetWindowShouldClose(window, GLFW_FALSE);
}

void on_glfw_error(int code, const char *text)
{
    fprintf(stderr, "ERROR: GLFW %d: %s\n", code, text);
}

bool console_open()
{
    // The terminal is the console; unbuffered like the Windows one.
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    return true;
}

void console_close() { fflush(stdout); }

GLFWwindow *create_window(bool with_accum)
{
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_COMPAT_PROFILE);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_ALPHA_BITS, 8);
    int accum = with_accum ? 16 : 0;
    glfwWindowHint(GLFW_ACCUM_RED_BITS, accum);
    glfwWindowHint(GLFW_ACCUM_GREEN_BITS, accum);
    glfwWindowHint(GLFW_ACCUM_BLUE_BITS, accum);
    glfwWindowHint(GLFW_ACCUM_ALPHA_BITS, accum);
    return glfwCreateWindow(kPictureWidth, kPictureHeight, "Intro", nullptr, nullptr);
}

bool window_open()
{
    glfwSetErrorCallback(on_glfw_error);
    if (!glfwInit()) {
        fprintf(stderr, "error: window_init()!\n");
        return false;
    }
    GLFWwindow *window = create_window(true);
    if (!window) window = create_window(false);
    if (!window) {
        fprintf(stderr, "error: window_init()!\n");
        return false;
    }
    main_window = GlfwWindow{};
    main_window.window = window;
    glfwSetWindowUserPointer(window, &main_window);
    glfwMakeContextCurrent(window);
    glfwSwapInterval(0);
    glfwSetKeyCallback(window, on_key);
    glfwSetCharCallback(window, on_char);
    glfwSetFramebufferSizeCallback(window, on_size);
    glfwSetWindowCloseCallback(window, on_close);
    return true;
}

void window_close()
{
    if (main_window.window) glfwDestroyWindow(main_window.window);
    main_window = GlfwWindow{};
    glfwTerminate();
}

void restore_display() {}
void remember_start_window() {}

bool escape_in_foreground()
{
    GlfwWindow &w = main_window;
    bool focused = glfwGetWindowAttrib(w.window, GLFW_FOCUSED) != 0;
    bool down = glfwGetKey(w.window, GLFW_KEY_ESCAPE) == GLFW_PRESS || w.escape_latched;
    w.escape_latched = false;
    return focused && down;
}

void peek_messages() { glfwPollEvents(); }

void set_title(const char *text) { glfwSetWindowTitle(main_window.window, text); }

void swap_and_drain()
{
    grab_screen_before_swap(main_window.grab_pending);
    glfwSwapBuffers(main_window.window);
    glfwPollEvents();
}

uint32_t steady_ms()
{
    using namespace std::chrono;
    return (uint32_t)duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void *gl_proc_address(const char *name) { return (void *)glfwGetProcAddress(name); }

void cursor_pos(int *x, int *y)
{
    double cx = 0, cy = 0;
    int wx = 0, wy = 0;
    if (main_window.window) {
        glfwGetCursorPos(main_window.window, &cx, &cy);
        glfwGetWindowPos(main_window.window, &wx, &wy);
    }
    *x = wx + (int)cx;
    *y = wy + (int)cy;
}

bool right_button_down()
{
    return main_window.window && glfwGetMouseButton(main_window.window, GLFW_MOUSE_BUTTON_RIGHT) == GLFW_PRESS;
}

} // namespace

int main()
{
    std_descriptors_guard();
    // One clock serves both the title's time and the budget.
    const HostPlatform platform = {
        console_open, console_close, window_open, window_close, restore_display,
        remember_start_window, escape_in_foreground, peek_messages, set_title, swap_and_drain,
        gl_proc_address, cursor_pos, right_button_down, steady_ms, steady_ms,
    };
    int status = intro_run(platform);
    // The banner and logs printed on standard output; a closed or full one
    // lost them, and the run says so.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "ERROR: cannot write standard output: what was printed there is lost\n");
        return status ? status : 1;
    }
    return status;
}
