#include "render/progress.h"

#include <cstdio>
#include <ctime>

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpu_seconds() { return (double)std::clock() / CLOCKS_PER_SEC; }

std::string format_duration(double seconds)
{
    char text[32];
    long s = (long)(seconds + 0.5);
    if (s >= 3600) std::snprintf(text, sizeof text, "%ldh%02ldm", s / 3600, s / 60 % 60);
    else if (s >= 60) std::snprintf(text, sizeof text, "%ldm%02lds", s / 60, s % 60);
    else std::snprintf(text, sizeof text, "%lds", s);
    return text;
}

void show_progress(int done, int total, double elapsed)
{
    const int width = 30;
    int filled = (int)((long long)done * width / total);
    char bar[width + 1];
    for (int i = 0; i < width; ++i) bar[i] = i < filled ? '#' : '-';
    bar[width] = '\0';
    std::string left = done < total ? format_duration(elapsed / done * (total - done)) + " left"
                                    : "done in " + format_duration(elapsed);
    std::fprintf(stderr, "\rintro-render: [%s] %d/%d sample%s, %s   ", bar, done, total, total == 1 ? "" : "s",
                 left.c_str());
    if (done == total) std::fputc('\n', stderr);
    std::fflush(stderr);
}

bool is_progress_count(int count)
{
    return count == 1 || count == 4 || count == 16 || count == 64;
}
