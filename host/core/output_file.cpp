#include "core/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#ifdef _WIN32
#include "core/windows_lean.h"
#include <io.h>
#else
#include <climits>
#include <unistd.h>
#endif

namespace {

// A short name of fixed length, so that it fits wherever the target's fits.
std::string temp_name()
{
    static unsigned counter = 0;
    unsigned seed = (unsigned)time(nullptr) * 2654435761u ^ (unsigned)++counter * 40503u;
#ifdef _WIN32
    seed ^= (unsigned)GetCurrentProcessId() * 69069u;
#else
    seed ^= (unsigned)getpid() * 69069u;
#endif
    char name[32];
    snprintf(name, sizeof name, ".intro-%08x", seed);
    return name;
}

void split_path(const std::string &path, std::string &dir, std::string &name)
{
    size_t slash = path.find_last_of("/\\");
    dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

#ifdef _WIN32

// No links, devices or FIFOs to care about for the grab: always a temporary
// file and a rename.
bool output_is_direct(const char *) { return false; }

bool output_open(OutputFile &out, const char *path, std::string &error)
{
    out = OutputFile();
    std::string dir;
    split_path(path, dir, out.name);
    out.name = path;
    for (int attempt = 0; attempt < 100; ++attempt) {
        out.temp = (dir == "." ? std::string() : dir) + temp_name();
        out.fd = _open(out.temp.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (out.fd >= 0 || errno != EEXIST) break;
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
    if (!out.error && _commit(out.fd) != 0) out.error = errno;
    if (_close(out.fd) != 0 && !out.error) out.error = errno;
    out.fd = -1;
    if (!out.error && !MoveFileExA(out.temp.c_str(), out.name.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        out.error = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    if (!out.error) return true;
    _unlink(out.temp.c_str());
    error = std::strerror(out.error);
    return false;
}

void output_discard(OutputFile &out)
{
    if (out.fd >= 0) _close(out.fd);
    out.fd = -1;
    _unlink(out.temp.c_str());
}

bool output_check(const char *path, std::string &error)
{
    OutputFile out;
    if (!output_open(out, path, error)) return false;
    output_discard(out);
    return true;
}

#else

namespace {

// The temporary file being written, for the signal handler.
volatile sig_atomic_t temp_active = 0;
int temp_dir_fd = -1;
char temp_path[64];

const int cleanup_signals[] = {SIGINT, SIGTERM, SIGHUP};

void remove_temp_and_die(int sig)
{
    if (temp_active) unlinkat(temp_dir_fd, temp_path, 0);
    signal(sig, SIG_DFL);
    raise(sig);
}

// Only where the signal would have ended the process anyway; a hit file size
// limit becomes EFBIG, reported like any other failure, not a kill that
// leaves the temporary file behind.
void install_cleanup()
{
    static bool installed = false;
    if (installed) return;
    installed = true;
    for (int sig : cleanup_signals) {
        struct sigaction old;
        if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) signal(sig, remove_temp_and_die);
    }
    struct sigaction old;
    if (sigaction(SIGXFSZ, nullptr, &old) == 0 && old.sa_handler == SIG_DFL) signal(SIGXFSZ, SIG_IGN);
}

// Holds the cleanup signals while the temporary file and its record change
// together.
struct SignalHold {
    sigset_t old;
    SignalHold()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : cleanup_signals) sigaddset(&set, sig);
        sigprocmask(SIG_BLOCK, &set, &old);
    }
    ~SignalHold() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

// Follows symbolic links to the name finally written.
bool resolve_links(std::string &target, std::string &error)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return true;
        std::vector<char> link(PATH_MAX + 1);
        ssize_t n = readlink(target.c_str(), link.data(), link.size() - 1);
        if (n < 0) {
            error = std::strerror(errno);
            return false;
        }
        std::string to(link.data(), (size_t)n), dir, name;
        split_path(target, dir, name);
        target = to[0] == '/' || dir == "." ? to : dir + to;
    }
    error = std::strerror(ELOOP);
    return false;
}

enum class Kind { missing, regular, directory, in_place };

Kind kind_of(const std::string &target)
{
    struct stat st;
    if (stat(target.c_str(), &st) != 0) return Kind::missing;
    if (S_ISDIR(st.st_mode)) return Kind::directory;
    return S_ISREG(st.st_mode) ? Kind::regular : Kind::in_place;
}

bool open_dir(OutputFile &out, const std::string &target, std::string &error)
{
    std::string dir;
    split_path(target, dir, out.name);
    out.dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (out.dir_fd < 0) error = std::strerror(errno);
    return out.dir_fd >= 0;
}

bool create_temp(OutputFile &out, std::string &error)
{
    install_cleanup();
    SignalHold hold;
    for (int attempt = 0; attempt < 100; ++attempt) {
        out.temp = temp_name();
        out.fd = openat(out.dir_fd, out.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (out.fd >= 0 || errno != EEXIST) break;
    }
    if (out.fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    temp_dir_fd = out.dir_fd;
    snprintf(temp_path, sizeof temp_path, "%s", out.temp.c_str());
    temp_active = 1;
    return true;
}

void remove_temp(OutputFile &out)
{
    SignalHold hold;
    unlinkat(out.dir_fd, out.temp.c_str(), 0);
    temp_active = 0;
}

void close_dir(OutputFile &out)
{
    if (out.dir_fd >= 0) close(out.dir_fd);
    out.dir_fd = -1;
}

} // namespace

bool output_is_direct(const char *path)
{
    return std::string(path) == "-" || kind_of(path) == Kind::in_place;
}

bool output_check(const char *path, std::string &error)
{
    std::string target = path;
    if (target == "-") return true;
    // Classified through the links as open() sees them: /dev/stdout may
    // lead to a pipe that has no name to resolve.
    Kind kind = kind_of(target);
    if (kind == Kind::directory) {
        error = "it is a directory";
        return false;
    }
    if (kind == Kind::in_place) {
        if (access(target.c_str(), W_OK) == 0) return true;
        error = std::strerror(errno);
        return false;
    }
    if (!resolve_links(target, error)) return false;
    OutputFile out;
    if (!open_dir(out, target, error)) return false;
    bool ok = create_temp(out, error);
    if (ok) {
        close(out.fd);
        remove_temp(out);
    }
    // The target's own name, which may be too long or otherwise refused.
    if (ok && kind == Kind::missing) {
        int fd = openat(out.dir_fd, out.name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            unlinkat(out.dir_fd, out.name.c_str(), 0);
        } else if (errno != EEXIST) {
            error = std::strerror(errno);
            ok = false;
        }
    }
    close_dir(out);
    return ok;
}

bool output_open(OutputFile &out, const char *path, std::string &error)
{
    out = OutputFile();
    install_cleanup();
    std::string target = path;
    if (target == "-") {
        out.direct = true;
        out.fd = dup(STDOUT_FILENO);
    } else {
        Kind kind = kind_of(target);
        if (kind == Kind::directory) {
            error = "it is a directory";
            return false;
        }
        out.direct = kind == Kind::in_place;
        if (!out.direct) {
            if (resolve_links(target, error) && open_dir(out, target, error) && create_temp(out, error)) return true;
            close_dir(out);
            return false;
        }
        out.fd = open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    }
    if (out.fd < 0) error = std::strerror(errno);
    return out.fd >= 0;
}

void output_write(OutputFile &out, const void *data, size_t size)
{
    const char *p = (const char *)data;
    while (!out.error && size > 0) {
        ssize_t n = write(out.fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) out.error = errno;
        else p += n, size -= (size_t)n;
    }
}

bool output_close(OutputFile &out, std::string &error)
{
    // On disk before the rename, so a crash cannot leave an empty picture;
    // a delayed write error also shows here.
    if (!out.error && !out.direct && fsync(out.fd) != 0 && errno != EINVAL) out.error = errno;
    if (close(out.fd) != 0 && !out.error && errno != EINTR) out.error = errno;
    out.fd = -1;
    if (!out.direct) {
        SignalHold hold;
        if (!out.error && renameat(out.dir_fd, out.temp.c_str(), out.dir_fd, out.name.c_str()) != 0)
            out.error = errno;
        if (out.error) unlinkat(out.dir_fd, out.temp.c_str(), 0);
        temp_active = 0;
    }
    close_dir(out);
    if (!out.error) return true;
    error = std::strerror(out.error);
    return false;
}

void output_discard(OutputFile &out)
{
    if (out.fd >= 0) close(out.fd);
    out.fd = -1;
    if (!out.direct && out.dir_fd >= 0) remove_temp(out);
    close_dir(out);
}

#endif

bool output_write_file(const char *path, const void *data, size_t size, std::string &error)
{
    OutputFile out;
    if (!output_open(out, path, error)) return false;
    output_write(out, data, size);
    return output_close(out, error);
}
