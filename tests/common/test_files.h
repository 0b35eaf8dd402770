// File helpers shared by the test binaries.
#pragma once
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

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

// Runs `body` with stdout and stderr sent to files: both into one (order
// across the streams kept) or each into its own.
struct Output {
    std::string out, err;
};

template <class F> Output capture(F body, bool merged = false)
{
    char out_path[] = "/tmp/intro-out-XXXXXX", err_path[] = "/tmp/intro-err-XXXXXX";
    int out_fd = mkstemp(out_path), err_fd = mkstemp(err_path);
    fflush(stdout);
    fflush(stderr);
    int saved_out = dup(1), saved_err = dup(2);
    dup2(out_fd, 1);
    dup2(merged ? out_fd : err_fd, 2);
    body();
    fflush(stdout);
    fflush(stderr);
    dup2(saved_out, 1);
    dup2(saved_err, 2);
    close(saved_out);
    close(saved_err);
    close(out_fd);
    close(err_fd);
    auto slurp = [](const char *p) {
        std::string s;
        if (FILE *f = fopen(p, "rb")) {
            char b[4096];
            size_t n;
            while ((n = fread(b, 1, sizeof b, f)) > 0) s.append(b, n);
            fclose(f);
        }
        unlink(p);
        return s;
    };
    Output o;
    o.out = slurp(out_path);
    o.err = slurp(err_path);
    return o;
}
