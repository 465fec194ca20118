#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QTimer>

#include <memory>
#include <vector>

class QHttpServerResponder;
class QTcpSocket;

// The page's live connections: server-sent events (text/event-stream), each a connection left open after
// its head. An event goes to every stream at once; a stream whose client does not read is dropped once
// BacklogLimit bytes wait for it, so that no client holds the station's memory or its loop.
class EventStreams final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(EventStreams)

public:
    static constexpr int Limit = 32;
    static constexpr qint64 BacklogLimit = 256 * 1024;
    // Well inside the minute after which proxies close a connection that says nothing.
    static constexpr int KeepAliveMs = 15000;

    explicit EventStreams(QObject *parent = nullptr);
    ~EventStreams() override;

    // An event of the stream format: its name, and data on one line.
    static QByteArray event(const char *name, const QByteArray &data);

    bool isFull() const;
    int count() const;
    // Takes the request's responder and its connection; the stream's first event is `first`.
    void open(QHttpServerResponder &responder, QTcpSocket *socket, const QByteArray &first);
    void send(const QByteArray &event);

private:
    struct Stream
    {
        std::unique_ptr<QHttpServerResponder> responder;
        QPointer<QTcpSocket> socket;
    };

    bool write(Stream &stream, const QByteArray &bytes);
    void drop(std::vector<std::unique_ptr<Stream>>::iterator at);
    void forget(const QTcpSocket *socket);

    std::vector<std::unique_ptr<Stream>> m_streams;
    QTimer m_keepAlive;
};
