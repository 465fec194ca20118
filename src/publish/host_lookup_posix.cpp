#include "host_lookup.h"

#include <netdb.h>
#include <sys/socket.h>

struct PendingLookup
{
    QByteArray host;
    addrinfo hints{};
    gaicb request{};
};

namespace {
QStringList numericAddresses(const addrinfo *results)
{
    QStringList addresses;
    for (const addrinfo *result = results; result; result = result->ai_next) {
        char address[NI_MAXHOST] = {};
        if (getnameinfo(result->ai_addr, result->ai_addrlen, address, sizeof address, nullptr, 0,
                        NI_NUMERICHOST) != 0)
            continue;
        const QString text = QString::fromLatin1(address);
        if (!addresses.contains(text))
            addresses << text;
    }
    return addresses;
}
} // namespace

void HostLookup::start(const QString &host)
{
    abandon();
    m_pending = new PendingLookup;
    m_pending->host = host.toUtf8();
    m_pending->hints.ai_family = AF_UNSPEC;
    m_pending->hints.ai_socktype = SOCK_STREAM;
    m_pending->request.ar_name = m_pending->host.constData();
    m_pending->request.ar_request = &m_pending->hints;
    gaicb *list[] = {&m_pending->request};
    const int code = getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr);
    if (code != 0) {
        delete m_pending;
        m_pending = nullptr;
        QMetaObject::invokeMethod(
            this, [this, code] { emit failed(QString::fromLocal8Bit(gai_strerror(code))); },
            Qt::QueuedConnection);
        return;
    }
    m_poll.start();
}

void HostLookup::poll()
{
    const int code = gai_error(&m_pending->request);
    if (code == EAI_INPROGRESS)
        return;
    m_poll.stop();
    addrinfo *results = m_pending->request.ar_result;
    const QStringList addresses = code == 0 ? numericAddresses(results) : QStringList();
    if (results)
        freeaddrinfo(results);
    delete m_pending;
    m_pending = nullptr;
    if (!addresses.isEmpty())
        emit found(addresses);
    else
        emit failed(QString::fromLocal8Bit(gai_strerror(code == 0 ? EAI_NONAME : code)));
}

void HostLookup::abandon()
{
    m_poll.stop();
    if (!m_pending)
        return;
    // A lookup the resolver is still working on cannot be taken back; its few bytes are left to it.
    if (gai_cancel(&m_pending->request) == EAI_NOTCANCELED)
        m_pending = nullptr;
    else if (gai_error(&m_pending->request) == 0 && m_pending->request.ar_result)
        freeaddrinfo(m_pending->request.ar_result);
    delete m_pending;
    m_pending = nullptr;
}
