// The debug console of the Windows host: a console window of its own with
// the standard streams pointed at it, UTF-8 output and ANSI colours.
#pragma once
#include <cstdint>

// Frees any console, allocates a new one, grows it and redirects the streams.
bool console_alloc(int16_t min_lines);
// The same with the parent process's console.
bool console_attach(int16_t min_lines);
// Raises the screen buffer's height to at least `min_lines`; keeps the width.
void console_set_min_lines(int16_t min_lines);
// Points stdin, stdout and stderr (and the stream objects) at the console.
bool console_redirect();
// Points the standard streams at the null device and frees the console.
bool console_release();
// UTF-8 output and escape-sequence processing; only after console_alloc.
void console_enable_utf8_and_colours();
