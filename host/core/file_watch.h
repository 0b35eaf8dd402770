// Change detection for a watched file: tells a completed save, an older copy
// put in place included, from an unchanged file.
#pragma once
#include <cstdint>

struct FileStamp {
    int64_t mtime_s = 0;    // modification time, seconds since 1970
    int32_t mtime_ns = 0;   // and the nanoseconds within it, as fine as the system keeps them
    uint64_t size = 0;
    uint64_t file_id = 0;   // inode, or Windows' file index; 0 where unknown
    int64_t ctime_s = 0;    // status-change time: moves with any write, also
    int32_t ctime_ns = 0;   // one whose modification time was set back
};

// 0, or the errno of the failure.
int file_stamp(const char *path, FileStamp &stamp);

struct FileWatch {
    bool seen = false;                // the file's version below was recorded
    FileStamp stamp;                  // of the version last acted upon
    int64_t recorded_s = 0;           // when, by the caller's clock
    bool same_time_possible = false;  // recorded before the clock left its time
    bool hashed = false;
    uint64_t content_hash = 0;        // its contents
};

enum class FileChange { first_seen, unchanged, saved };

// Compares the file's stamp `now` with the version last acted upon and
// records it when it is a new save. Any other time, later or earlier, is a
// save: a file stamped ahead of the clock must not hide the saves after it,
// and an older copy put back is what the author wants built. So is the same
// time with another size or file, or with other contents where the version
// was recorded less than a few seconds after its time (by `wall_s`, the
// clock in seconds), when a clock that ticks in whole or double seconds could
// give a later save the same time, or where its change time moved. A time
// ahead of the clock is compared for a few seconds after it was recorded,
// not for as long as the skew lasts.
FileChange file_watch_update(FileWatch &watch, const char *path, const FileStamp &now, int64_t wall_s);
