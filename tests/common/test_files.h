// File helpers shared by the test binaries.
#pragma once
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <string>

// Writes `data` to `path` and sets its modification time, so tests of the
// one-second reload clock need not sleep.
inline void write_file(const std::string &path, const std::string &data, time_t mtime)
{
    FILE *f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}
