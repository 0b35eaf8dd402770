// The standard descriptors 0, 1 and 2. One that a parent left closed would
// be handed to the next file anything in the process opens (a library's
// cache file, a picture), and what the program prints would land in it.
#pragma once

enum : unsigned { kStdinClosed = 1u, kStdoutClosed = 2u, kStderrClosed = 4u };

// Opens each closed standard descriptor on the null device, so that its
// number stays taken (standard output for reading: writes to it fail); returns which ones were closed. Called first thing in
// main, before anything can open a file.
unsigned std_descriptors_guard();
