// intro-render's progress bar on standard error, and its clock.
#pragma once
#include <chrono>
#include <string>

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start);
// The process's CPU time so far, all threads (a software rasteriser's too).
double cpu_seconds();
// "42s", "3m05s", "1h02m".
std::string format_duration(double seconds);
// "\rintro-render: [####----] done/total samples, 1m05s left", a newline at the end.
void show_progress(int done, int total, double elapsed);
// After 1, 4, 16 and 64 samples a progress picture is written.
bool is_progress_count(int count);
