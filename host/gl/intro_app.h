// Start-up, loop and shutdown of a windowed host, written once; the backend
// (Win32 or GLFW) supplies the window, the console, the clocks and the input.
#pragma once
#include "core/host_platform.h"

// The whole life of the program; returns the process exit status.
int intro_run(const HostPlatform &platform);
