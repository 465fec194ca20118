#include "local_broker.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

StalledAddress::StalledAddress(const QString &address, int port)
{
    sockaddr_in place{};
    place.sin_family = AF_INET;
    place.sin_port = htons(uint16_t(port));
    inet_pton(AF_INET, address.toLatin1().constData(), &place.sin_addr);
    m_listener = socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    if (bind(m_listener, reinterpret_cast<sockaddr *>(&place), sizeof place) != 0 ||
        listen(m_listener, 0) != 0)
        return;
    // One connection that is never accepted fills the queue.
    m_filler = socket(AF_INET, SOCK_STREAM, 0);
    if (::connect(m_filler, reinterpret_cast<sockaddr *>(&place), sizeof place) != 0) {
        close(m_filler);
        m_filler = -1;
    }
}

StalledAddress::~StalledAddress()
{
    for (const int descriptor : {m_filler, m_listener}) {
        if (descriptor >= 0)
            close(descriptor);
    }
}

bool StalledAddress::isStalled() const
{
    return m_filler >= 0;
}
