#include "local_broker.h"

#include <winsock2.h>
#include <ws2tcpip.h>

// As on Linux: Wine's sockets are the Linux side's, whose full queue drops whoever else knocks.
StalledAddress::StalledAddress(const QString &address, int port)
{
    sockaddr_in place{};
    place.sin_family = AF_INET;
    place.sin_port = htons(u_short(port));
    inet_pton(AF_INET, address.toLatin1().constData(), &place.sin_addr);
    m_listener = int(socket(AF_INET, SOCK_STREAM, 0));
    const BOOL yes = TRUE;
    setsockopt(SOCKET(m_listener), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char *>(&yes),
               sizeof yes);
    if (bind(SOCKET(m_listener), reinterpret_cast<sockaddr *>(&place), sizeof place) != 0 ||
        listen(SOCKET(m_listener), 0) != 0)
        return;
    m_filler = int(socket(AF_INET, SOCK_STREAM, 0));
    if (::connect(SOCKET(m_filler), reinterpret_cast<sockaddr *>(&place), sizeof place) != 0) {
        closesocket(SOCKET(m_filler));
        m_filler = -1;
    }
}

StalledAddress::~StalledAddress()
{
    for (const int descriptor : {m_filler, m_listener}) {
        if (descriptor >= 0)
            closesocket(SOCKET(descriptor));
    }
}

bool StalledAddress::isStalled() const
{
    return m_filler >= 0;
}
