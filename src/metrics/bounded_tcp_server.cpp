#include "bounded_tcp_server.h"

#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>

#include <functional>

namespace {
// Counts what one connection has sent since it was last answered, and how long it has waited.
class ConnectionWatch final : public QObject
{
public:
    ConnectionWatch(QTcpSocket *socket, const ConnectionLimits &limits, std::function<void()> dropped)
        : QObject(socket), m_socket(socket), m_requestBytes(limits.requestBytes),
          m_dropped(std::move(dropped))
    {
        m_idle.setSingleShot(true);
        m_idle.setInterval(limits.idleMs);
        // Connected before the HTTP server's own reader, so that this runs first on every arrival.
        connect(socket, &QIODevice::readyRead, this, &ConnectionWatch::received);
        connect(socket, &QIODevice::bytesWritten, this, &ConnectionWatch::answered);
        connect(&m_idle, &QTimer::timeout, this, &ConnectionWatch::drop);
        m_idle.start();
    }

private:
    void received()
    {
        // The server reads all it is given on each arrival, so what is available now is what just came (a
        // pipelined request it left unread is counted twice: a stricter bound, never a looser one).
        m_unanswered += m_socket->bytesAvailable();
        if (m_unanswered > m_requestBytes)
            drop();
    }

    void answered()
    {
        m_unanswered = 0;
        m_idle.start();
    }

    void drop()
    {
        // The server's reader, still to run on this arrival, is not to see a closed socket.
        disconnect(m_socket, &QIODevice::readyRead, nullptr, nullptr);
        m_idle.stop();
        m_dropped();
        m_socket->abort();
    }

    QTcpSocket *m_socket;
    qint64 m_requestBytes;
    std::function<void()> m_dropped;
    qint64 m_unanswered = 0;
    QTimer m_idle;
};
} // namespace

BoundedTcpServer::BoundedTcpServer(const ConnectionLimits &limits, QObject *parent)
    : QTcpServer(parent), m_limits(limits)
{}

int BoundedTcpServer::openConnections() const
{
    return m_open;
}

qint64 BoundedTcpServer::droppedConnections() const
{
    return m_dropped;
}

void BoundedTcpServer::incomingConnection(qintptr descriptor)
{
    auto *socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    if (m_open >= m_limits.connections) {
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
    ++m_open;
    connect(socket, &QObject::destroyed, this, [this] { --m_open; });
    // The HTTP server deletes a socket it has seen close; one closed before it took it is deleted here.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    // Beyond this the socket leaves the data in the system's buffers until the server has taken what it has.
    socket->setReadBufferSize(2 * m_limits.requestBytes);
    new ConnectionWatch(socket, m_limits, [this] { ++m_dropped; });
}
