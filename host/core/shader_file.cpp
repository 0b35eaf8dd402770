#include "core/shader_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>

namespace {

#ifdef _WIN32
typedef struct _stat64 FileStat;
int stat_path(const char *path, FileStat *st) { return _stat64(path, st); }
int stat_fd(int fd, FileStat *st) { return _fstat64(fd, st); }
int open_read(const char *path) { return _open(path, _O_RDONLY | _O_BINARY); }
int read_fd(int fd, char *buffer, unsigned size) { return _read(fd, buffer, size); }
void close_fd(int fd) { _close(fd); }
bool is_regular(const FileStat &st) { return (st.st_mode & _S_IFMT) == _S_IFREG; }
bool is_directory(const FileStat &st) { return (st.st_mode & _S_IFMT) == _S_IFDIR; }
#else
typedef struct stat FileStat;
int stat_path(const char *path, FileStat *st) { return stat(path, st); }
int stat_fd(int fd, FileStat *st) { return fstat(fd, st); }
// Non-blocking, so a FIFO swapped in after the check cannot hold the open.
int open_read(const char *path) { return open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); }
ssize_t read_fd(int fd, char *buffer, size_t size) { return read(fd, buffer, size); }
void close_fd(int fd) { close(fd); }
bool is_regular(const FileStat &st) { return S_ISREG(st.st_mode); }
bool is_directory(const FileStat &st) { return S_ISDIR(st.st_mode); }
#endif

// Why a file that is there is not one to read.
bool kind_ok(const FileStat &st, std::string &error)
{
    if (is_regular(st)) return true;
    error = is_directory(st) ? std::strerror(EISDIR) : "not a regular file";
    return false;
}

bool size_ok(uint64_t size, std::string &error)
{
    if (size <= kShaderFileLimit) return true;
    error = "too large: " + std::to_string(size) + " bytes, more than the " +
            std::to_string(kShaderFileLimit >> 20) + " MiB a shader file may have";
    return false;
}

} // namespace

bool read_shader_file(const char *path, std::string &text, std::string &error)
{
    error.clear();
    // Checked before opening: opening a device or FIFO may block or act.
    FileStat st;
    if (stat_path(path, &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!kind_ok(st, error) || !size_ok((uint64_t)st.st_size, error)) return false;
    int fd = open_read(path);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    // The name may have been swapped between the check and the open.
    if (stat_fd(fd, &st) != 0 || !kind_ok(st, error) || !size_ok((uint64_t)st.st_size, error)) {
        if (error.empty()) error = std::strerror(errno);
        close_fd(fd);
        return false;
    }
    // Read to the end, not to the size taken above: a file being saved may
    // still grow, but never beyond the limit.
    std::string data;
    char chunk[65536];
    for (;;) {
        auto n = read_fd(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = std::strerror(errno);
            close_fd(fd);
            return false;
        }
        if (n == 0) break;
        data.append(chunk, (size_t)n);
        if (!size_ok(data.size(), error)) {
            close_fd(fd);
            return false;
        }
    }
    close_fd(fd);
    // Some editors start UTF-8 files with a byte order mark; GLSL knows none.
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0) data.erase(0, 3);
    text.swap(data);
    return true;
}

uint64_t fnv1a64(const std::string &text)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ull;
    }
    return hash;
}
