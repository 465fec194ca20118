#include "socket_probe.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

bool SocketProbe::isConnected(int socket)
{
    sockaddr_storage peer{};
    int size = sizeof peer;
    return socket >= 0 && getpeername(SOCKET(socket), reinterpret_cast<sockaddr *>(&peer), &size) == 0;
}

int SocketProbe::lastError()
{
    return WSAGetLastError();
}

bool SocketProbe::isUnderWay(int errorNumber)
{
    return errorNumber == WSAEWOULDBLOCK || errorNumber == WSAEINPROGRESS || errorNumber == WSAEALREADY ||
           errorNumber == WSAENOTCONN || errorNumber == WSAEINTR;
}

bool SocketProbe::isNumericAddress(const QString &host)
{
    const QByteArray text = host.toUtf8();
    in6_addr address{};
    return inet_pton(AF_INET, text.constData(), &address) == 1 ||
           inet_pton(AF_INET6, text.constData(), &address) == 1;
}

// The library keeps Winsock's codes (WSAECONNREFUSED and the like) where POSIX would keep errno's.
QString SocketProbe::errorText(int code)
{
    if (code < WSABASEERR)
        return QString::fromLocal8Bit(std::strerror(code));
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        DWORD(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString said = QString::fromWCharArray(text, int(length)).trimmed();
    LocalFree(text);
    return said.isEmpty() ? QStringLiteral("error %1").arg(code) : said;
}
