// Output files on POSIX: the temporary file is made in the target's
// directory, found through its links, and takes the replaced file's mode.
#include "core/output_file.h"
#include "core/output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>

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
        output_split_path(target, dir, name);
        target = to[0] == '/' || dir == "." ? to : dir + to;
    }
    error = std::strerror(ELOOP);
    return false;
}

bool open_dir(OutputFile &out, const std::string &target, std::string &error)
{
    std::string dir;
    output_split_path(target, dir, out.name);
    out.dir_fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (out.dir_fd < 0) error = std::strerror(errno);
    return out.dir_fd >= 0;
}

bool create_temp(OutputFile &out, std::string &error)
{
    install_cleanup();
    SignalHold hold;
    for (int attempt = 0; attempt < 100; ++attempt) {
        out.temp = output_temp_name((unsigned)getpid(), attempt);
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

// The file being replaced keeps its permission bits (not set-id ones), as an
// editor's save keeps them, and as root also its owner and group. False where
// they cannot be kept (a share that squashes root): the picture is written
// all the same.
bool keep_mode(const OutputFile &out)
{
    struct stat st;
    if (fstatat(out.dir_fd, out.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) return true;
    if (fchmod(out.fd, st.st_mode & 0777) != 0) return false;
    return geteuid() != 0 || fchown(out.fd, st.st_uid, st.st_gid) == 0;
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

bool output_check(const char *path, std::string &error)
{
    std::string target = path;
    OutputKind kind = output_kind(path);
    if (kind == OutputKind::standard_output) return true;
    if (kind == OutputKind::directory) {
        error = "it is a directory";
        return false;
    }
    if (kind == OutputKind::in_place) {
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
    if (ok && kind == OutputKind::missing) {
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
    OutputKind kind = output_kind(path);
    if (kind == OutputKind::directory) {
        error = "it is a directory";
        return false;
    }
    out.direct = kind == OutputKind::standard_output || kind == OutputKind::in_place;
    if (!out.direct) {
        if (resolve_links(target, error) && open_dir(out, target, error) && create_temp(out, error)) {
            keep_mode(out);
            return true;
        }
        close_dir(out);
        return false;
    }
    if (kind == OutputKind::standard_output) out.fd = dup(STDOUT_FILENO);
    else out.fd = open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
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

namespace {

// Flushed to disk before the rename, so a crash cannot leave an empty
// picture; a delayed write error also shows here.
void finish_temp(OutputFile &out)
{
    if (out.fd < 0) return;
    if (!out.error && !out.direct && fsync(out.fd) != 0 && errno != EINVAL) out.error = errno;
    if (close(out.fd) != 0 && !out.error && errno != EINTR) out.error = errno;
    out.fd = -1;
}

// Moves the temporary file to `name` where nothing has that name: 0 or the
// errno. Each way refuses to replace a file, the file system deciding.
int claim_name(int dir_fd, const char *temp, const char *name)
{
#ifdef RENAME_NOREPLACE
    if (renameat2(dir_fd, temp, dir_fd, name, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
    // A second link, where the kernel or file system has no such rename.
    if (linkat(dir_fd, temp, dir_fd, name, 0) == 0) {
        unlinkat(dir_fd, temp, 0);
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) return errno;
    // Nor links (FAT): the name is taken by an empty file, then replaced.
    int fd = openat(dir_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return errno;
    close(fd);
    if (renameat(dir_fd, temp, dir_fd, name) == 0) return 0;
    int err = errno;
    unlinkat(dir_fd, name, 0);
    return err;
}

} // namespace

bool output_close(OutputFile &out, std::string &error)
{
    finish_temp(out);
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

bool output_open_new(OutputFile &out, const char *path, std::string &error)
{
    out = OutputFile();
    if (open_dir(out, path, error) && create_temp(out, error)) return true;
    close_dir(out);
    return false;
}

int output_claim(OutputFile &out, const std::string &path)
{
    finish_temp(out);
    std::string dir, name;
    output_split_path(path, dir, name);
    SignalHold hold;
    if (!out.error) {
        int err = claim_name(out.dir_fd, out.temp.c_str(), name.c_str());
        if (err == EEXIST) return EEXIST;
        out.error = err;
    }
    if (out.error) unlinkat(out.dir_fd, out.temp.c_str(), 0);
    temp_active = 0;
    close_dir(out);
    return out.error;
}

void output_discard(OutputFile &out)
{
    if (out.fd >= 0) close(out.fd);
    out.fd = -1;
    if (!out.direct && out.dir_fd >= 0) remove_temp(out);
    close_dir(out);
}
