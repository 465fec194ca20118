#include "host_lookup.h"

#include <QtNetwork/QHostInfo>

// Windows' resolver, asked through Qt's own lookup, which answers on the event loop and can be taken back.
struct PendingLookup
{
    int id = -1;
};

void HostLookup::start(const QString &host)
{
    abandon();
    m_pending = new PendingLookup;
    m_pending->id = QHostInfo::lookupHost(host, this, [this](const QHostInfo &answer) {
        delete m_pending;
        m_pending = nullptr;
        QStringList addresses;
        for (const QHostAddress &address : answer.addresses())
            if (!addresses.contains(address.toString()))
                addresses << address.toString();
        if (!addresses.isEmpty())
            emit found(addresses);
        else
            emit failed(answer.error() == QHostInfo::NoError ? QStringLiteral("the name has no address")
                                                             : answer.errorString());
    });
}

// Qt's lookup answers by itself: there is nothing to look in on.
void HostLookup::poll() {}

void HostLookup::abandon()
{
    if (!m_pending)
        return;
    QHostInfo::abortHostLookup(m_pending->id);
    delete m_pending;
    m_pending = nullptr;
}
