// The portable part of the output files; the platform halves open, write and
// rename (output_file_posix.cpp, output_file_win32.cpp).
#include "core/output_file.h"
#include "core/output_target.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdio>
#include <ctime>

OutputKind output_kind(const char *path)
{
    if (std::string(path) == "-") return OutputKind::standard_output;
    // Through the links as open() sees them: /dev/stdout may lead to a pipe
    // that has no name to resolve.
    struct stat st;
    if (stat(path, &st) != 0) return OutputKind::missing;
    if (S_ISDIR(st.st_mode)) return OutputKind::directory;
    return S_ISREG(st.st_mode) ? OutputKind::regular : OutputKind::in_place;
}

void output_split_path(const std::string &path, std::string &dir, std::string &name)
{
    size_t slash = path.find_last_of("/\\");
    dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string output_temp_name(unsigned process_id, int attempt)
{
    unsigned seed = (unsigned)time(nullptr) * 2654435761u ^ (unsigned)(attempt + 1) * 40503u;
    seed ^= process_id * 69069u;
    char name[32];
    snprintf(name, sizeof name, ".intro-%08x", seed);
    return name;
}

bool output_is_direct(const char *path)
{
    OutputKind kind = output_kind(path);
    return kind == OutputKind::standard_output || kind == OutputKind::in_place;
}

bool output_write_file(const char *path, const void *data, size_t size, std::string &error)
{
    OutputFile out;
    if (!output_open(out, path, error)) return false;
    output_write(out, data, size);
    return output_close(out, error);
}
