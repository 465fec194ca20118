#pragma once

#include <QtNetwork/QTcpServer>

// What one client of a small HTTP service may take. A request, headers and all, is far below
// `requestBytes`; a scraper asks again well within `idleMs`, or opens a new connection.
struct ConnectionLimits
{
    qint64 requestBytes = 16 * 1024; // received on a connection without an answer
    int idleMs = 30000;              // from the connection, or its last answer, to its next answer
    int connections = 32;            // open at once
};

// A TCP server whose connections a slow, silent or flooding client cannot keep or fill: a connection that
// goes past its ConnectionLimits is dropped, and one beyond `connections` is closed as it comes, while the
// others go on. Qt's HTTP server sets no bound on a request's head or body, so the bound is kept here, on
// the sockets it is handed: each reads at most twice `requestBytes` ahead of the server, and the bytes
// received since the last answer are counted before the server parses them.
class BoundedTcpServer final : public QTcpServer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(BoundedTcpServer)

public:
    explicit BoundedTcpServer(const ConnectionLimits &limits, QObject *parent = nullptr);

    int openConnections() const;
    // Connections dropped or refused for going past a limit, since the start.
    qint64 droppedConnections() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    void watch(QTcpSocket *socket);

    ConnectionLimits m_limits;
    int m_open = 0;
    qint64 m_dropped = 0;
};
