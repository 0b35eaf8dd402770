// Output files on Windows: the temporary file beside the target, moved over
// it. It takes the directory's permissions; a read-only target is not
// replaced at all (the move is refused), so no attribute is carried over.
#include "core/output_file.h"
#include "core/output_target.h"

#include "core/windows_lean.h"
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Beside `path`, which becomes the name it is moved to.
void create_temp(OutputFile &out, const char *path)
{
    std::string dir;
    output_split_path(path, dir, out.name);
    out.name = path;
    for (int attempt = 0; attempt < 100; ++attempt) {
        out.temp = (dir == "." ? std::string() : dir) + output_temp_name((unsigned)GetCurrentProcessId(), attempt);
        out.fd = _open(out.temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (out.fd >= 0 || errno != EEXIST) break;
    }
}

void finish_temp(OutputFile &out)
{
    if (out.fd < 0) return;
    if (!out.error && !out.direct && _commit(out.fd) != 0) out.error = errno;
    if (_close(out.fd) != 0 && !out.error) out.error = errno;
    out.fd = -1;
}

} // namespace

bool output_open(OutputFile &out, const char *path, std::string &error)
{
    out = OutputFile();
    OutputKind kind = output_kind(path);
    if (kind == OutputKind::directory) {
        error = "it is a directory";
        return false;
    }
    out.direct = kind == OutputKind::standard_output || kind == OutputKind::in_place;
    if (kind == OutputKind::standard_output) {
        out.fd = _dup(1);
        if (out.fd >= 0) _setmode(out.fd, _O_BINARY);
    } else if (kind == OutputKind::in_place) {
        out.fd = _open(path, _O_WRONLY | _O_BINARY);
    } else {
        create_temp(out, path);
    }
    if (out.fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    return true;
}

void output_write(OutputFile &out, const void *data, size_t size)
{
    const char *p = (const char *)data;
    while (!out.error && size > 0) {
        unsigned chunk = size > (1u << 30) ? (1u << 30) : (unsigned)size;
        int n = _write(out.fd, p, chunk);
        if (n < 0) out.error = errno;
        else p += n, size -= (size_t)n;
    }
}

bool output_close(OutputFile &out, std::string &error)
{
    finish_temp(out);
    if (!out.direct) {
        if (!out.error && !MoveFileExA(out.temp.c_str(), out.name.c_str(),
                                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            out.error = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
        if (out.error) _unlink(out.temp.c_str());
    }
    if (!out.error) return true;
    error = std::strerror(out.error);
    return false;
}

void output_discard(OutputFile &out)
{
    if (out.fd >= 0) _close(out.fd);
    out.fd = -1;
    if (!out.direct) _unlink(out.temp.c_str());
}

bool output_open_new(OutputFile &out, const char *path, std::string &error)
{
    out = OutputFile();
    create_temp(out, path);
    if (out.fd >= 0) return true;
    error = std::strerror(errno);
    return false;
}

int output_claim(OutputFile &out, const std::string &path)
{
    finish_temp(out);
    // Without MOVEFILE_REPLACE_EXISTING the move fails where the name is taken.
    if (!out.error && !MoveFileExA(out.temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
        DWORD code = GetLastError();
        if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS) return EEXIST;
        out.error = code == ERROR_ACCESS_DENIED ? EACCES : EIO;
    }
    if (out.error) _unlink(out.temp.c_str());
    return out.error;
}

bool output_check(const char *path, std::string &error)
{
    OutputKind kind = output_kind(path);
    if (kind == OutputKind::standard_output) return true;
    if (kind == OutputKind::in_place) {
        if (_access(path, 2) == 0) return true;
        error = std::strerror(errno);
        return false;
    }
    OutputFile out;
    if (!output_open(out, path, error)) return false;
    output_discard(out);
    return true;
}
