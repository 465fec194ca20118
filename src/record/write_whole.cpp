#include "write_whole.h"

#include <cerrno>
#include <unistd.h>

bool writeWhole(int fd, const char *data, size_t size, int &error)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}
