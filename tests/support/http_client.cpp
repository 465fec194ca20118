#include "http_client.h"

#include <QtNetwork/QNetworkProxy>
#include <QtNetwork/QNetworkReply>
#include <QtTest/QSignalSpy>

HttpClient::HttpClient()
{
    m_network.setProxy(QNetworkProxy::NoProxy);
}

HttpReply HttpClient::request(quint16 port, const QString &path, const QByteArray &method,
                              const QByteArray &header)
{
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    if (!header.isEmpty())
        request.setRawHeader("X-Padding", header);
    std::unique_ptr<QNetworkReply> reply(method == "HEAD" ? m_network.head(request)
                                                          : m_network.sendCustomRequest(request, method));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(5000))
        return {};
    HttpReply answer{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     reply->rawHeader("Content-Type"),
                     reply->rawHeader("Allow"),
                     reply->rawHeader("Content-Length"),
                     reply->readAll(),
                     {}};
    for (const QNetworkReply::RawHeaderPair &pair : reply->rawHeaderPairs())
        answer.headers.insert(pair.first.toLower(), pair.second);
    return answer;
}

std::unique_ptr<QTcpSocket> rawClient(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    QSignalSpy connected(socket.get(), &QTcpSocket::connected);
    if (socket->state() != QAbstractSocket::ConnectedState && !connected.wait(5000))
        qFatal("no connection to the endpoint");
    return socket;
}
