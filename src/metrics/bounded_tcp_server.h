#pragma once

#include <QtNetwork/QTcpServer>

#include <vector>

// What one client of a small HTTP service may take. A request, headers and all, is far below
// `requestBytes`; a scraper asks again well within `idleMs`, or opens a new connection, and says what it
// wants within `firstByteMs` of connecting.
struct ConnectionLimits
{
    qint64 requestBytes = 16 * 1024; // received on a connection for requests not yet answered
    int idleMs = 30000;              // from the connection, or its last answer, to its next answer
    int connections = 32;            // open at once
    int firstByteMs = 3000;          // from the connection to its first byte
};

// A TCP server whose connections a slow, silent or flooding client cannot keep or fill: a connection that
// goes past its ConnectionLimits is dropped, while the others go on. When all `connections` are taken, a
// newcomer takes the place of the one that has waited longest without a request under way, one that never
// said anything first; only when each is amid a request is the newcomer closed as it comes. Qt's HTTP
// server sets no bound on a request's head or body, so the bound is kept here, on the sockets it is handed:
// each reads at most twice `requestBytes` ahead of the server, and what it has received for requests not yet
// answered is counted before the server parses it. A request that asks for it (`Connection: close`, or
// HTTP/1.0 without keep-alive) ends its connection once answered.
class BoundedTcpServer final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoundedTcpServer)

public:
    explicit BoundedTcpServer(const ConnectionLimits &limits, QObject *parent = nullptr);

    int openConnections() const;
    // The open connection from `address` and `port`, or null.
    QTcpSocket *connectionFrom(const QHostAddress &address, quint16 port) const;
    // The answer on `socket` goes on after its head, as an event stream does: the connection is neither
    // closed once it has begun nor given up for a newcomer. It is still dropped when it falls silent.
    static void keepStreaming(QTcpSocket *socket);
    // Connections dropped or refused for going past a limit, since the start.
    qint64 droppedConnections() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    class ConnectionWatch;

    void watch(QTcpSocket *socket);
    bool makeRoom();
    void forget(const ConnectionWatch *watch);

    ConnectionLimits m_limits;
    std::vector<ConnectionWatch *> m_watches; // each owned by its socket
    qint64 m_dropped = 0;
};
