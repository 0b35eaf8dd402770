// Writing a result file (a picture, a screen grab) so that a failure never
// leaves a partial one: the data goes to a temporary file beside the target,
// which is renamed over it once complete and removed on any failure, also
// when SIGINT or SIGTERM arrives during the write. A symbolic link is
// followed: its target is replaced and the link stays. An existing device or
// FIFO, and "-" for standard output, are written in place.
#pragma once
#include <cstddef>
#include <string>

struct OutputFile {
    int fd = -1;
    bool direct = false;    // written in place: no temporary file
    int dir_fd = -1;        // the target's directory
    std::string name;       // the target's name in that directory
    std::string temp;       // the temporary file's name there
    int error = 0;          // errno of the first failure
};

// True when `path` names a device, a FIFO or standard output ("-"), links
// followed: something written in place, beside which nothing can be created.
bool output_is_direct(const char *path);
// Whether `path` can be written, found out without leaving anything behind:
// checked before a long job starts. `error` gets the reason.
bool output_check(const char *path, std::string &error);

bool output_open(OutputFile &out, const char *path, std::string &error);
// The first failure is kept; later writes do nothing.
void output_write(OutputFile &out, const void *data, size_t size);
// Completes the file: flushed, closed and renamed into place. On failure the
// temporary file is removed and `error` says why.
bool output_close(OutputFile &out, std::string &error);
// Gives up on the file: the temporary one is removed, the target untouched.
void output_discard(OutputFile &out);

// A file that must replace nothing (a screen grab): made beside `path` as
// above, but `path` is neither followed through links nor looked at, and the
// finished file is named by output_claim instead of output_close.
bool output_open_new(OutputFile &out, const char *path, std::string &error);
// Completes a file from output_open_new under `path` (in the same directory)
// only where nothing has that name, also not a file made there meanwhile: 0;
// EEXIST where something has it, the file kept for another name (or
// output_discard); else the errno of the failure, the file removed.
int output_claim(OutputFile &out, const std::string &path);

// open, one write, close.
bool output_write_file(const char *path, const void *data, size_t size, std::string &error);
