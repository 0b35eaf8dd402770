#include "core/std_descriptors.h"

#ifdef _WIN32

// The Windows hosts point their streams at their own console or at the null
// device before printing, the runtime keeps descriptors 0 to 2 reserved even
// without standard handles, and the driver opens handles, never descriptors:
// nothing can take a standard descriptor's place.
unsigned std_descriptors_guard() { return 0; }

#else

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

unsigned std_descriptors_guard()
{
    unsigned closed = 0;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        closed |= 1u << fd;
        // Standard output is held for reading only: what is printed there
        // fails, so that a program can say it was lost, not claim success.
        int held = open("/dev/null", fd == 2 ? O_WRONLY : O_RDONLY);
        // Without a null device the root directory holds the number: it
        // takes no writes.
        if (held < 0) held = open("/", O_RDONLY | O_DIRECTORY);
        if (held >= 0 && held != fd) {
            dup2(held, fd);
            close(held);
        }
    }
    return closed;
}

#endif
