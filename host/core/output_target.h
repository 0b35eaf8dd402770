// What a result file's path names, classified once for output_file.cpp and
// its platform halves, output_file_posix.cpp and output_file_win32.cpp.
#pragma once
#include <string>

enum class OutputKind {
    standard_output,   // "-"
    missing,
    regular,
    directory,         // refused
    in_place,          // a device or a FIFO, links followed: written where it is
};

OutputKind output_kind(const char *path);
// "dir/" (or "." for none) and the name after it.
void output_split_path(const std::string &path, std::string &dir, std::string &name);
// A short name of fixed length, so that it fits wherever the target's fits;
// each attempt after a name already taken gets another.
std::string output_temp_name(unsigned process_id, int attempt);
