#include "event_streams.h"

#include "metrics/bounded_tcp_server.h"
#include "metrics/http_answer.h"

#include <QtHttpServer/QHttpServerResponder>
#include <QtNetwork/QTcpSocket>

#include <algorithm>

EventStreams::EventStreams(QObject *parent) : QObject(parent)
{
    m_keepAlive.setInterval(KeepAliveMs);
    connect(&m_keepAlive, &QTimer::timeout, this, [this] { send(QByteArrayLiteral(":\n\n")); });
}

EventStreams::~EventStreams()
{
    while (!m_streams.empty())
        drop(m_streams.begin());
}

QByteArray EventStreams::event(const char *name, const QByteArray &data)
{
    return QByteArrayLiteral("event: ") + name + QByteArrayLiteral("\ndata: ") + data + "\n\n";
}

bool EventStreams::isFull() const
{
    return int(m_streams.size()) >= Limit;
}

int EventStreams::count() const
{
    return int(m_streams.size());
}

void EventStreams::open(QHttpServerResponder &responder, QTcpSocket *socket, const QByteArray &first)
{
    auto stream = std::make_unique<Stream>();
    stream->responder = std::make_unique<QHttpServerResponder>(std::move(responder));
    stream->socket = socket;
    BoundedTcpServer::keepStreaming(socket);
    connect(socket, &QAbstractSocket::disconnected, this, [this, socket] { forget(socket); });
    writeStreamHead(*stream->responder, QByteArrayLiteral("text/event-stream; charset=utf-8"));
    writeStreamPiece(*stream->responder, first);
    m_streams.push_back(std::move(stream));
    m_keepAlive.start();
}

void EventStreams::send(const QByteArray &event)
{
    std::vector<const QTcpSocket *> stalled;
    for (const auto &stream : m_streams) {
        if (!write(*stream, event))
            stalled.push_back(stream->socket);
    }
    for (const QTcpSocket *socket : stalled)
        forget(socket);
}

bool EventStreams::write(Stream &stream, const QByteArray &bytes)
{
    if (!stream.socket || stream.socket->bytesToWrite() + bytes.size() > BacklogLimit)
        return false;
    writeStreamPiece(*stream.responder, bytes);
    return true;
}

void EventStreams::drop(std::vector<std::unique_ptr<Stream>>::iterator at)
{
    // Out of the list first: closing the socket says so at once, and the stream is not to be found twice.
    std::unique_ptr<Stream> stream = std::move(*at);
    m_streams.erase(at);
    if (stream->socket)
        stream->socket->abort();
    if (m_streams.empty())
        m_keepAlive.stop();
}

void EventStreams::forget(const QTcpSocket *socket)
{
    const auto at = std::find_if(m_streams.begin(), m_streams.end(),
                                 [socket](const auto &stream) { return stream->socket == socket; });
    if (at != m_streams.end())
        drop(at);
}
