#include "x_session.h"

#include <X11/Xlib.h>

#include <X11/Xatom.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace {

int ignore_x_errors(Display *, XErrorEvent *) { return 0; }

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string window_name(Display *dpy, Window w)
{
    Atom net_wm_name = XInternAtom(dpy, "_NET_WM_NAME", False);
    Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char *data = nullptr;
    std::string name;
    if (XGetWindowProperty(dpy, w, net_wm_name, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success && data) {
        name.assign((const char *)data, count);
        XFree(data);
        if (!name.empty()) return name;
    }
    char *plain = nullptr;
    if (XFetchName(dpy, w, &plain) && plain) {
        name = plain;
        XFree(plain);
    }
    return name;
}

Window find_in_tree(Display *dpy, Window w, const std::string &prefix)
{
    if (window_name(dpy, w).rfind(prefix, 0) == 0) {
        XWindowAttributes a;
        if (XGetWindowAttributes(dpy, w, &a) && a.map_state == IsViewable) return w;
    }
    Window root, parent, *children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &n)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < n && !found; ++i) found = find_in_tree(dpy, children[i], prefix);
    if (children) XFree(children);
    return found;
}

} // namespace

std::string read_text_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

bool wait_until(const std::function<bool()> &pred, int timeout_ms, int step_ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (true) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        sleep_ms(step_ms);
    }
}

bool xsession_start(XSession &s, std::string &error)
{
    XSetErrorHandler(ignore_x_errors);
    for (int n = 90 + (int)(getpid() % 50); n < 400; ++n) {
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        if (access(lock.c_str(), F_OK) == 0) continue;
        std::string name = ":" + std::to_string(n);
        pid_t pid = fork();
        if (pid == 0) {
            int null_fd = open("/dev/null", O_RDWR);
            dup2(null_fd, 1);
            dup2(null_fd, 2);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "2560x1600x24", "-nolisten", "tcp",
                   (char *)nullptr);
            _exit(127);
        }
        if (pid < 0) break;
        Display *dpy = nullptr;
        bool alive = wait_until(
            [&] {
                int status;
                if (waitpid(pid, &status, WNOHANG) == pid) return true;
                dpy = XOpenDisplay(name.c_str());
                return dpy != nullptr;
            },
            15000, 100);
        if (alive && dpy) {
            s.display_number = n;
            s.xvfb_pid = pid;
            s.dpy = dpy;
            s.display_name = name;
            return true;
        }
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    error = "cannot start Xvfb (is the xvfb package installed?)";
    return false;
}

void xsession_stop(XSession &s)
{
    if (s.dpy) XCloseDisplay(s.dpy);
    s.dpy = nullptr;
    if (s.xvfb_pid > 0) {
        kill(s.xvfb_pid, SIGTERM);
        waitpid(s.xvfb_pid, nullptr, 0);
    }
    s.xvfb_pid = -1;
}

bool host_start(HostProcess &h, const XSession &s, const std::vector<std::string> &argv,
                const std::string &cwd, const std::vector<std::string> &extra_env)
{
    char tmpl[] = "/tmp/intro-host-XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    h.out_path = std::string(tmpl) + "/stdout.txt";
    h.err_path = std::string(tmpl) + "/stderr.txt";
    pid_t pid = fork();
    if (pid == 0) {
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        int out = open(h.out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(h.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        setenv("DISPLAY", s.display_name.c_str(), 1);
        for (const std::string &kv : extra_env) putenv(strdup(kv.c_str()));
        std::vector<char *> args;
        for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    h.pid = pid;
    return pid > 0;
}

bool host_wait_exit(HostProcess &h, int timeout_ms, int *exit_status)
{
    int status = 0;
    bool done = wait_until(
        [&] { return waitpid(h.pid, &status, WNOHANG) == h.pid; }, timeout_ms, 50);
    if (!done) return false;
    h.pid = -1;
    *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

void host_kill(HostProcess &h)
{
    if (h.pid <= 0) return;
    kill(h.pid, SIGKILL);
    waitpid(h.pid, nullptr, 0);
    h.pid = -1;
}

unsigned long xsession_find_window(XSession &s, const std::string &title_prefix, int timeout_ms)
{
    Window found = 0;
    wait_until(
        [&] {
            found = find_in_tree(s.dpy, DefaultRootWindow(s.dpy), title_prefix);
            return found != 0;
        },
        timeout_ms, 100);
    return found;
}

std::string xsession_window_title(XSession &s, unsigned long window)
{
    return window_name(s.dpy, window);
}

bool xsession_window_size(XSession &s, unsigned long window, int *w, int *h)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(s.dpy, window, &a)) return false;
    *w = a.width;
    *h = a.height;
    return true;
}

void xsession_focus(XSession &s, unsigned long window)
{
    XRaiseWindow(s.dpy, window);
    XSetInputFocus(s.dpy, window, RevertToParent, CurrentTime);
    XSync(s.dpy, False);
}

namespace {
void press(XSession &s, KeyCode code, bool shift)
{
    KeyCode shift_code = XKeysymToKeycode(s.dpy, XK_Shift_L);
    if (shift) XTestFakeKeyEvent(s.dpy, shift_code, True, CurrentTime);
    XTestFakeKeyEvent(s.dpy, code, True, CurrentTime);
    XSync(s.dpy, False);
    sleep_ms(60);
    XTestFakeKeyEvent(s.dpy, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(s.dpy, shift_code, False, CurrentTime);
    XSync(s.dpy, False);
}
} // namespace

void xsession_key(XSession &s, unsigned long keysym)
{
    press(s, XKeysymToKeycode(s.dpy, keysym), false);
}

void xsession_type_char(XSession &s, char c)
{
    KeySym sym = c == '%' ? XK_percent : c == '\'' ? XK_apostrophe : (KeySym)(unsigned char)c;
    KeyCode code = XKeysymToKeycode(s.dpy, sym);
    // Shifted when the keysym sits in the second column of its key.
    bool shift = XkbKeycodeToKeysym(s.dpy, code, 0, 0) != sym;
    press(s, code, shift);
}

void xsession_close_window(XSession &s, unsigned long window)
{
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(s.dpy, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = (long)XInternAtom(s.dpy, "WM_DELETE_WINDOW", False);
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(s.dpy, window, False, NoEventMask, &e);
    XSync(s.dpy, False);
}

bool xsession_grab(XSession &s, unsigned long window, std::vector<uint8_t> &rgb, int *w, int *h)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(s.dpy, window, &a)) return false;
    XImage *img = XGetImage(s.dpy, window, 0, 0, a.width, a.height, AllPlanes, ZPixmap);
    if (!img) return false;
    rgb.resize((size_t)a.width * a.height * 3);
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            unsigned long p = XGetPixel(img, x, y);
            uint8_t *o = &rgb[((size_t)y * a.width + x) * 3];
            o[0] = (uint8_t)((p >> 16) & 0xFF);
            o[1] = (uint8_t)((p >> 8) & 0xFF);
            o[2] = (uint8_t)(p & 0xFF);
        }
    XDestroyImage(img);
    *w = a.width;
    *h = a.height;
    return true;
}

unsigned long xsession_other_window(XSession &s)
{
    Window w = XCreateSimpleWindow(s.dpy, DefaultRootWindow(s.dpy), 0, 0, 200, 200, 0, 0, 0);
    XStoreName(s.dpy, w, "other");
    XMapRaised(s.dpy, w);
    XSync(s.dpy, False);
    wait_until([&] {
        XWindowAttributes a;
        return XGetWindowAttributes(s.dpy, w, &a) && a.map_state == IsViewable;
    }, 5000, 50);
    return w;
}

StatusLine xsession_status(XSession &s, unsigned long window)
{
    static const std::regex re(
        R"(^TIME: (-?[0-9]+\.[0-9]{2})   FRAME: ([0-9]+)   FPS: -?[0-9.]+ / -?[0-9.inf]+, -?[0-9.]+$)");
    StatusLine st;
    std::string title = window_name(s.dpy, window);
    std::smatch m;
    if (std::regex_match(title, m, re)) {
        st.time = std::stod(m[1]);
        st.frame = std::stoi(m[2]);
    }
    return st;
}

bool wait_for_frame(XSession &s, unsigned long window, int frame, int timeout_ms)
{
    return wait_until([&] { return xsession_status(s, window).frame >= frame; }, timeout_ms);
}

bool clock_skew_at_next_frame(XSession &s, unsigned long window, int timeout_ms, double *skew)
{
    int frame = xsession_status(s, window).frame;
    StatusLine st;
    if (!wait_until([&] { st = xsession_status(s, window); return st.frame > frame; }, timeout_ms, 10))
        return false;
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    *skew = st.time - wall;
    return true;
}
