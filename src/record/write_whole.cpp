#include "write_whole.h"

#include <cerrno>
#include <unistd.h>

size_t writeWhole(int fd, const char *data, size_t size, int &error)
{
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        written += size_t(n);
    }
    return written;
}
