#include "win32/win32_console.h"

#include "core/windows_lean.h"

#include <cstdio>
#include <iostream>

#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif

static bool reopen_unbuffered(FILE *stream, const char *device, const char *mode)
{
    FILE *reopened = nullptr;
    if (freopen_s(&reopened, device, mode, stream) != 0 || !reopened) return false;
    setvbuf(stream, nullptr, _IONBF, 0);
    return true;
}

void console_set_min_lines(int16_t min_lines)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    // Without the current size a write would shrink the buffer to nothing.
    if (!GetConsoleScreenBufferInfo(out, &info)) return;
    COORD size = info.dwSize;
    if (size.Y < min_lines) size.Y = min_lines;
    SetConsoleScreenBufferSize(out, size);
}

bool console_redirect()
{
    struct Target {
        DWORD std_device;
        FILE *stream;
        const char *device;
        const char *mode;
    };
    const Target targets[] = {
        {STD_INPUT_HANDLE, stdin, "CONIN$", "r"},
        {STD_OUTPUT_HANDLE, stdout, "CONOUT$", "w"},
        {STD_ERROR_HANDLE, stderr, "CONOUT$", "w"},
    };
    bool ok = true;
    for (const Target &t : targets) {
        if (GetStdHandle(t.std_device) == INVALID_HANDLE_VALUE) continue;
        if (!reopen_unbuffered(t.stream, t.device, t.mode)) ok = false;
    }
    std::ios::sync_with_stdio(true);
    std::wcout.clear();
    std::cout.clear();
    std::wcerr.clear();
    std::cerr.clear();
    std::wcin.clear();
    std::cin.clear();
    return ok;
}

bool console_release()
{
    bool ok = true;
    if (!reopen_unbuffered(stdin, "NUL:", "r")) ok = false;
    if (!reopen_unbuffered(stdout, "NUL:", "w")) ok = false;
    if (!reopen_unbuffered(stderr, "NUL:", "w")) ok = false;
    if (!FreeConsole()) ok = false;
    return ok;
}

bool console_alloc(int16_t min_lines)
{
    console_release();   // a console the process already has goes first
    if (!AllocConsole()) return false;
    console_set_min_lines(min_lines);
    return console_redirect();
}

bool console_attach(int16_t min_lines)
{
    console_release();
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    console_set_min_lines(min_lines);
    return console_redirect();
}

void console_enable_utf8_and_colours()
{
    SetConsoleOutputCP(CP_UTF8);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // Writing back a mode that could not be read would drop the others.
    if (!GetConsoleMode(out, &mode)) return;
    SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}
