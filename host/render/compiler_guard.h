// The driver's compiler recurses over the shader's expressions on the stack
// of the thread that builds; a deep one (a sum of 32,000 terms) overflows the
// 8 MiB a process starts with. intro-render therefore works on a thread
// with a stack 32 times the shell's limit (256 MiB at the usual 8 MiB;
// `ulimit -s` moves it, up to 4 GiB), and a build that crashes all the
// same is reported, with status 1, instead of the process dying of a signal.
#pragma once
#include <string>

// Runs `body` on that thread and returns its status; the calling thread
// takes no signals meanwhile, so the body's handlers see them all.
int run_with_compiler_guard(int (*body)(int argc, char **argv), int argc, char **argv);

// build_fragment_program under the guard: a crash inside the build ends the
// process with "the driver's compiler crashed" and the mode's trouble status,
// or, under --watch, starts it again (compiler_guard_restart_on_crash).
unsigned guarded_build(const char *source, std::string &log);
// The status that crash ends the process with, where the mode's trouble is
// not 1 (--compare's is 2).
void compiler_guard_crash_status(int status);
// Under --watch a crash must not end the watch: the process starts again,
// the same command line, and the new one waits for the next save before it
// builds. `argv` must stay valid.
void compiler_guard_restart_on_crash(char **argv);
// True in a process started so; it says so once and leaves the environment
// as it was.
bool compiler_guard_restarted();
