#include "core/file_watch.h"

#include "core/shader_file.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <string>

#ifdef _WIN32
#include "core/windows_lean.h"
#endif

#ifdef _WIN32
namespace {

// 100 ns steps since 1601.
void from_file_time(uint64_t t, int64_t &s, int32_t &ns)
{
    s = (int64_t)(t / 10000000) - 11644473600LL;
    ns = (int32_t)(t % 10000000 * 100);
}

// The file's index and change time, from a handle that lets others write,
// rename and delete it meanwhile.
void stamp_from_handle(const char *path, FileStamp &stamp)
{
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(file, &info))
        stamp.file_id = (uint64_t)info.nFileIndexHigh << 32 | info.nFileIndexLow;
    FILE_BASIC_INFO basic;
    if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic))
        from_file_time((uint64_t)basic.ChangeTime.QuadPart, stamp.ctime_s, stamp.ctime_ns);
    CloseHandle(file);
}

} // namespace
#endif

int file_stamp(const char *path, FileStamp &stamp)
{
    stamp = FileStamp();
#ifdef _WIN32
    // _stat64 for its error numbers; its time has whole seconds only.
    struct _stat64 st;
    if (_stat64(path, &st) != 0) return errno;
    stamp.mtime_s = (int64_t)st.st_mtime;
    stamp.size = (uint64_t)st.st_size;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        from_file_time((uint64_t)data.ftLastWriteTime.dwHighDateTime << 32 | data.ftLastWriteTime.dwLowDateTime,
                       stamp.mtime_s, stamp.mtime_ns);
    stamp_from_handle(path, stamp);
#else
    struct stat st;
    if (stat(path, &st) != 0) return errno;
    stamp.mtime_s = (int64_t)st.st_mtim.tv_sec;
    stamp.mtime_ns = (int32_t)st.st_mtim.tv_nsec;
    stamp.size = (uint64_t)st.st_size;
    stamp.file_id = (uint64_t)st.st_ino;
    stamp.ctime_s = (int64_t)st.st_ctim.tv_sec;
    stamp.ctime_ns = (int32_t)st.st_ctim.tv_nsec;
#endif
    return 0;
}

namespace {

// A clock may tick in steps this long (two seconds on some file systems): a
// save within that span of the one before can carry the same time.
const int64_t kCoarseClockSpan = 5;

bool same_time(const FileStamp &a, const FileStamp &b)
{
    return a.mtime_s == b.mtime_s && a.mtime_ns == b.mtime_ns;
}

// Whether the clock may still give a new save this stamp's time: it has not
// yet moved a whole span past it. A time ahead of the clock counts from when
// it was recorded: whatever the skew, the file's clock ticks on as ours does.
bool clock_within(const FileStamp &stamp, int64_t recorded_s, int64_t wall_s)
{
    int64_t since = stamp.mtime_s < recorded_s ? stamp.mtime_s : recorded_s;
    return wall_s - since < kCoarseClockSpan;
}

// 64-bit FNV-1a of the file's contents; false when it cannot be read.
bool hash_file(const char *path, uint64_t &hash)
{
    std::string text, error;
    if (!read_shader_file(path, text, error)) return false;
    hash = fnv1a64(text);
    return true;
}

// Hashed whatever its time: a later rewrite that keeps size and time but
// moves the change time is told by its contents.
void record(FileWatch &watch, const char *path, const FileStamp &now, int64_t wall_s)
{
    watch.seen = true;
    watch.stamp = now;
    watch.recorded_s = wall_s;
    watch.same_time_possible = clock_within(now, wall_s, wall_s);
    watch.hashed = hash_file(path, watch.content_hash);
}

// Same time, size and file: only the contents can tell a later save. Read
// while one could still have been made within the recorded time, or when
// the change time moved; a version not hashed before counts as changed.
bool contents_changed(FileWatch &watch, const char *path, const FileStamp &now, int64_t wall_s)
{
    bool status_moved = now.ctime_s != watch.stamp.ctime_s || now.ctime_ns != watch.stamp.ctime_ns;
    if (!watch.same_time_possible && !status_moved) return false;
    uint64_t hash = 0;
    if (!hash_file(path, hash)) return false;
    bool changed = !watch.hashed || hash != watch.content_hash;
    watch.hashed = true;
    watch.content_hash = hash;
    watch.stamp.ctime_s = now.ctime_s;
    watch.stamp.ctime_ns = now.ctime_ns;
    // Read after the clock has moved on: any later save gets a later time.
    if (!changed && !clock_within(now, watch.recorded_s, wall_s)) watch.same_time_possible = false;
    return changed;
}

} // namespace

FileChange file_watch_update(FileWatch &watch, const char *path, const FileStamp &now, int64_t wall_s)
{
    if (!watch.seen) {
        record(watch, path, now, wall_s);
        return FileChange::first_seen;
    }
    bool saved = !same_time(now, watch.stamp) || now.size != watch.stamp.size ||
                 now.file_id != watch.stamp.file_id || contents_changed(watch, path, now, wall_s);
    if (!saved) return FileChange::unchanged;
    record(watch, path, now, wall_s);
    return FileChange::saved;
}
