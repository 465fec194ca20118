#include "stream_end.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A description of our own for the same pipe or terminal. Fails where /proc is missing or the pipe or
// terminal belongs to another user.
int reopenNonBlocking(int descriptor)
{
    const std::string path = "/proc/self/fd/" + std::to_string(descriptor);
    return ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}
} // namespace

StreamEnd::StreamEnd(int descriptor) : m_descriptor(descriptor)
{
    struct stat status
    {};
    const bool known = ::fstat(descriptor, &status) == 0;
    if (known && (S_ISREG(status.st_mode) || S_ISBLK(status.st_mode))) {
        m_kind = Kind::File;
        return;
    }
    if (known && S_ISSOCK(status.st_mode)) {
        m_kind = Kind::Socket;
        return;
    }
    m_own = reopenNonBlocking(descriptor);
    if (m_own >= 0) {
        m_descriptor = m_own;
        return;
    }
    // The last resort changes the shared description, and puts it back when the run ends.
    const int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK) && ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK) == 0)
        m_sharedFlags = flags;
}

StreamEnd::~StreamEnd()
{
    if (m_own >= 0)
        ::close(m_own);
    if (m_sharedFlags >= 0)
        ::fcntl(m_descriptor, F_SETFL, m_sharedFlags);
}

int StreamEnd::descriptor() const
{
    return m_descriptor;
}

StreamEnd::Result StreamEnd::write(const char *data, qsizetype size)
{
    for (;;) {
        const ssize_t n = m_kind == Kind::Socket
                              ? ::send(m_descriptor, data, size_t(size), MSG_DONTWAIT | MSG_NOSIGNAL)
                              : ::write(m_descriptor, data, size_t(size));
        const int error = n < 0 ? errno : 0;
        if (n > 0 || size == 0)
            return {Outcome::Written, qsizetype(n), {}};
        if (error == EINTR)
            continue;
        if (error == EAGAIN || error == EWOULDBLOCK)
            return {Outcome::Full, 0, {}};
        if (error == EPIPE)
            return {Outcome::ReaderGone, 0, {}};
        // A file that takes nothing at all is as good as full.
        return {Outcome::Failed, 0, QString::fromLocal8Bit(std::strerror(n == 0 ? ENOSPC : error))};
    }
}

void StreamEnd::ignoreReaderLossSignal()
{
    std::signal(SIGPIPE, SIG_IGN);
}
