// System-test support: a private Xvfb display, host processes with their
// output captured, and the few X11 requests a person's hands would make.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Xlib's macros clash with GoogleTest's names, so Xlib stays out of here.
typedef struct _XDisplay Display;

struct XSession {
    int display_number = -1;
    pid_t xvfb_pid = -1;
    Display *dpy = nullptr;
    std::string display_name;
};

bool xsession_start(XSession &s, std::string &error);
void xsession_stop(XSession &s);

struct HostProcess {
    pid_t pid = -1;
    std::string out_path, err_path;
};

bool host_start(HostProcess &h, const XSession &s, const std::vector<std::string> &argv,
                const std::string &cwd, const std::vector<std::string> &extra_env = {});
bool host_wait_exit(HostProcess &h, int timeout_ms, int *exit_status);
void host_kill(HostProcess &h);

std::string read_text_file(const std::string &path);
bool wait_until(const std::function<bool()> &pred, int timeout_ms, int step_ms = 100);

unsigned long xsession_find_window(XSession &s, const std::string &title_prefix, int timeout_ms);
std::string xsession_window_title(XSession &s, unsigned long window);
bool xsession_window_size(XSession &s, unsigned long window, int *w, int *h);
void xsession_focus(XSession &s, unsigned long window);
void xsession_key(XSession &s, unsigned long keysym);
void xsession_type_char(XSession &s, char c);
void xsession_close_window(XSession &s, unsigned long window);
// The hosts' title line "TIME: %.2f   FRAME: %i   FPS: ..."; frame is -1
// while the title is anything else.
struct StatusLine {
    double time = -1;
    int frame = -1;
};
StatusLine xsession_status(XSession &s, unsigned long window);
bool wait_for_frame(XSession &s, unsigned long window, int frame, int timeout_ms);
// Title time minus wall time, read as soon as the next picture is presented.
bool clock_skew_at_next_frame(XSession &s, unsigned long window, int timeout_ms, double *skew);

// A plain mapped window of the test's own, to take the focus away.
unsigned long xsession_other_window(XSession &s);
bool xsession_grab(XSession &s, unsigned long window, std::vector<uint8_t> &rgb, int *w, int *h);
