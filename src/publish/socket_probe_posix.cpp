#include "socket_probe.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

bool SocketProbe::isConnected(int socket)
{
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    return socket >= 0 && getpeername(socket, reinterpret_cast<sockaddr *>(&peer), &size) == 0;
}

int SocketProbe::lastError()
{
    return errno;
}

bool SocketProbe::isUnderWay(int errorNumber)
{
    return errorNumber == EINPROGRESS || errorNumber == EAGAIN || errorNumber == EWOULDBLOCK ||
           errorNumber == EALREADY || errorNumber == ENOTCONN || errorNumber == EINTR;
}

bool SocketProbe::isNumericAddress(const QString &host)
{
    const QByteArray text = host.toUtf8();
    in6_addr address{};
    return inet_pton(AF_INET, text.constData(), &address) == 1 ||
           inet_pton(AF_INET6, text.constData(), &address) == 1;
}

QString SocketProbe::errorText(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}
