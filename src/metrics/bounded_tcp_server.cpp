#include "bounded_tcp_server.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>

#include <algorithm>

namespace {
// Whether the connection ends once this request is answered (RFC 9112, 9.3): `head` is the request line
// and the header fields, one a line.
bool closesAfter(const QByteArray &head)
{
    const QList<QByteArray> lines = head.split('\n');
    bool close = false;
    bool keepAlive = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon < 0 || lines[i].left(colon).trimmed().toLower() != "connection")
            continue;
        for (const QByteArray &option : lines[i].mid(colon + 1).split(',')) {
            close = close || option.trimmed().toLower() == "close";
            keepAlive = keepAlive || option.trimmed().toLower() == "keep-alive";
        }
    }
    return close || (lines.constFirst().trimmed().endsWith(" HTTP/1.0") && !keepAlive);
}
} // namespace

// Counts what one connection has sent for requests not yet answered, and how long it has waited. Qt's
// server reads a request within a transaction of the socket, committed once the request is whole, and reads
// all it is given until then: with no transaction under way it stands between requests, and all that is
// unanswered is still unread.
class BoundedTcpServer::ConnectionWatch final : public QObject
{
public:
    ConnectionWatch(QTcpSocket *socket, const ConnectionLimits &limits, BoundedTcpServer &server);

    bool amidRequest() const;
    QTcpSocket *socket() const;
    void keepStreaming();
    // Whether this one gives way before `other` when there is no room.
    bool givesWayBefore(const ConnectionWatch &other) const;
    void drop();

private:
    void received();
    void readHead(QByteArray bytes);
    void answered();
    void closeOnceAnswered();
    void closed();

    QTcpSocket *m_socket;
    QPointer<BoundedTcpServer> m_server;
    qint64 m_requestBytes;
    int m_idleMs;
    qint64 m_unanswered = 0;
    bool m_spoken = false;
    QElapsedTimer m_waiting; // since the connection, or its last answer
    QTimer m_idle;
    QByteArray m_head; // of the request being received, until it is whole
    bool m_headRead = false;
    bool m_closing = false;
    bool m_streaming = false;
};

BoundedTcpServer::ConnectionWatch::ConnectionWatch(QTcpSocket *socket, const ConnectionLimits &limits,
                                                   BoundedTcpServer &server)
    : QObject(socket), m_socket(socket), m_server(&server), m_requestBytes(limits.requestBytes),
      m_idleMs(limits.idleMs)
{
    m_idle.setSingleShot(true);
    // Connected before the HTTP server's own reader, so that this runs first on every arrival.
    connect(socket, &QIODevice::readyRead, this, &ConnectionWatch::received);
    connect(socket, &QIODevice::bytesWritten, this, &ConnectionWatch::answered);
    connect(socket, &QAbstractSocket::disconnected, this, &ConnectionWatch::closed);
    connect(&m_idle, &QTimer::timeout, this, &ConnectionWatch::drop);
    m_waiting.start();
    m_idle.start(std::min(limits.firstByteMs, m_idleMs));
}

bool BoundedTcpServer::ConnectionWatch::amidRequest() const
{
    return m_unanswered > 0 || m_streaming;
}

QTcpSocket *BoundedTcpServer::ConnectionWatch::socket() const
{
    return m_socket;
}

void BoundedTcpServer::ConnectionWatch::keepStreaming()
{
    m_streaming = true;
}

bool BoundedTcpServer::ConnectionWatch::givesWayBefore(const ConnectionWatch &other) const
{
    if (m_spoken != other.m_spoken)
        return !m_spoken;
    return m_waiting < other.m_waiting;
}

void BoundedTcpServer::ConnectionWatch::drop()
{
    // The server's reader, still to run on this arrival, is not to see a closed socket.
    disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
    m_idle.stop();
    if (m_server)
        ++m_server->m_dropped;
    m_socket->abort();
}

void BoundedTcpServer::ConnectionWatch::received()
{
    const bool betweenRequests = !m_socket->isTransactionStarted();
    if (betweenRequests && m_closing) {
        // The request that asked to close is whole: what follows it is not to be answered.
        disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
        return;
    }
    if (!m_spoken) {
        m_spoken = true;
        m_idle.start(std::max<qint64>(0, m_idleMs - m_waiting.elapsed()));
    }
    const qint64 available = m_socket->bytesAvailable();
    if (betweenRequests) {
        // A pipelined request the server left unread was counted when it came: it is counted once.
        m_unanswered = 0;
        m_head.clear();
        m_headRead = false;
    }
    m_unanswered += available;
    if (m_unanswered > m_requestBytes)
        return drop();
    if (!m_headRead)
        readHead(m_socket->peek(available));
}

void BoundedTcpServer::ConnectionWatch::readHead(QByteArray bytes)
{
    bytes.replace('\r', QByteArray());
    const qsizetype searchFrom = std::max<qsizetype>(0, m_head.size() - 1);
    m_head += bytes;
    // Blank lines before a request are passed over, as the server does.
    while (m_head.startsWith('\n'))
        m_head.remove(0, 1);
    const qsizetype end = m_head.indexOf("\n\n", searchFrom);
    if (end < 0)
        return;
    m_headRead = true;
    m_closing = closesAfter(m_head.left(end));
    m_head.clear();
}

void BoundedTcpServer::ConnectionWatch::answered()
{
    m_waiting.start();
    m_idle.start(m_idleMs);
    if (m_socket->isTransactionStarted())
        return;
    m_unanswered = m_socket->bytesAvailable();
    if (m_closing && !m_streaming)
        QMetaObject::invokeMethod(this, &ConnectionWatch::closeOnceAnswered, Qt::QueuedConnection);
}

void BoundedTcpServer::ConnectionWatch::closeOnceAnswered()
{
    // A body read from a device goes out a piece at a time, the next piece written as the last one leaves:
    // the answer is whole once a piece has left and none has followed it.
    if (m_socket->bytesToWrite() == 0 && !m_socket->isTransactionStarted())
        m_socket->disconnectFromHost();
}

void BoundedTcpServer::ConnectionWatch::closed()
{
    m_idle.stop();
    if (m_server)
        m_server->forget(this);
}

BoundedTcpServer::BoundedTcpServer(const ConnectionLimits &limits, QObject *parent)
    : QTcpServer(parent), m_limits(limits)
{}

int BoundedTcpServer::openConnections() const
{
    return int(m_watches.size());
}

qint64 BoundedTcpServer::droppedConnections() const
{
    return m_dropped;
}

QTcpSocket *BoundedTcpServer::connectionFrom(const QHostAddress &address, quint16 port) const
{
    for (const ConnectionWatch *watch : m_watches) {
        if (watch->socket()->peerPort() == port && watch->socket()->peerAddress().isEqual(address))
            return watch->socket();
    }
    return nullptr;
}

void BoundedTcpServer::keepStreaming(QTcpSocket *socket)
{
    for (QObject *child : socket->children()) {
        if (auto *watch = dynamic_cast<ConnectionWatch *>(child))
            watch->keepStreaming();
    }
}

void BoundedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (openConnections() >= m_limits.connections && !makeRoom()) {
        ++m_dropped;
        socket->abort();
        delete socket;
        return;
    }
    watch(socket);
    addPendingConnection(socket);
}

void BoundedTcpServer::watch(QTcpSocket *socket)
{
    // The HTTP server deletes a socket it has seen close; one closed before it took it is deleted here.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    // Beyond this the socket leaves the data in the system's buffers until the server has taken what it has.
    socket->setReadBufferSize(2 * m_limits.requestBytes);
    m_watches.push_back(new ConnectionWatch(socket, m_limits, *this));
}

bool BoundedTcpServer::makeRoom()
{
    ConnectionWatch *idlest = nullptr;
    for (ConnectionWatch *watch : m_watches) {
        if (!watch->amidRequest() && (!idlest || watch->givesWayBefore(*idlest)))
            idlest = watch;
    }
    if (!idlest)
        return false;
    idlest->drop();
    return true;
}

void BoundedTcpServer::forget(const ConnectionWatch *watch)
{
    std::erase(m_watches, watch);
}
